/*
 * The ORVA grammar.  No syntax tree is built: every reduction appends its
 * instructions to the program under construction and patches jumps.
 *
 * The order of the token and precedence declarations fixes the symbol
 * numbers, and with them the order in which syntax errors list the tokens
 * they expected; do not reorder them.
 *
 * One source gives the parser of each language level: the lines between
 * the markers of the other level are left out (cmake/grammar_level.cpp).
 * Level 1's expected-token lists are part of its contract, so level 2 adds
 * its rules in its own blocks rather than changing the states of level 1.
 * Both levels declare every token, in the same order, since they share one
 * scanner; level 1 never receives the tokens only level 2 uses.
 */

%define api.pure full
/* level 1 { */
%define api.prefix {orva_yy}
%expect 1
/* } level 1 */
/* level 2 { */
%define api.prefix {orva2_yy}
%expect 1
/* } level 2 */
%define parse.error custom
%define api.value.type {union ORVA_TokenValue}

%param {yyscan_t scanner}
%parse-param {ORVA_LexerInput *lexer} {ORVA_Compiler *compiler} {ORVA_Program *program}

%code requires {
#include "orva.h"
#include "compiler/token_value.h"

class ORVA_Compiler;
class ORVA_LexerInput;

#ifndef YY_TYPEDEF_YY_SCANNER_T
#define YY_TYPEDEF_YY_SCANNER_T
typedef void *yyscan_t;
#endif
}

%code provides {
/* The scanner's entry point, shared by the parsers of both levels. */
int orva_yylex(union ORVA_TokenValue *yylval_param, yyscan_t scanner);
}

%code {
#include "compiler/compiler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

/*
 * Parser stack: 200 entries at first, doubled as needed.  A block's
 * statements stay on the stack until its end, so a long block needs a deep
 * stack: no text can need more entries than it has bytes, and only the heap
 * bounds the stack ("memory exhausted" when it says no).
 */
#define YYINITDEPTH 200
#define YYMAXDEPTH (sizeof(void *) >= 8 ? 0x7FFFFFFF : 0x1000000)

/* Every instruction carries the line the scanner has reached. */
#define LINE (lexer->m_currLine)

static void Emit(ORVA_Program *program, ORVA_Instruction *instruction)
{
   program->AddInstruction(instruction);
}

static void orva_yyerror(yyscan_t, ORVA_LexerInput *, ORVA_Compiler *compiler, ORVA_Program *,
                         const char *message)
{
   compiler->Error(message);
}
/* level 2 { */
#define orva2_yylex orva_yylex
#define orva2_yyerror orva_yyerror
/* } level 2 */
}

%token T_ARRAY T_BREAK T_CASE T_CONTINUE T_DEFAULT T_DO T_ELSE T_EXIT T_FOR T_IF
%token T_NULL T_PRINT T_PRINTLN T_RETURN T_SUB T_SWITCH
%token T_TYPE_INT32 T_TYPE_INT64 T_TYPE_REAL T_TYPE_STRING T_TYPE_UINT32 T_TYPE_UINT64
%token T_USE T_WHILE
%token <str> T_COMPOUND_IDENTIFIER T_IDENTIFIER T_STRING
%token <i32> T_INT32
%token <u32> T_UINT32
%token <i64> T_INT64
%token <u64> T_UINT64
%token <real> T_REAL

/* level 1 { */
%right '='
%right ':' '?'
/* } level 1 */
/* level 2 { */
%right '='
%right ':' '?'
%right T_COALESCE
/* } level 2 */
%left '.'
%left T_OR
%left T_AND
%left '|'
%left '^'
%left '&'
%left T_IMATCH T_MATCH T_ILIKE T_LIKE T_EQ T_NE
%left '<' '>' T_GE T_LE
%left T_RSHIFT T_LSHIFT
%left '+' '-'
%left '*' '/' '%'
%right '!' '~'
%left T_DEC T_INC
%left '[' ']' T_REF
/* level 2 { */
/* "{}" where a statement may start is an empty block, not an empty array. */
%precedence '}'
%precedence EMPTY_BLOCK
/* } level 2 */

/* Level 2's operators: declared at both levels, since the scanner is one,
   with numbers of their own (bytes the scanner never returns as
   characters), so that level 2 may use them earlier without moving the
   numbers of level 1's tokens. */
%token T_COALESCE 240 T_ADD_ASSIGN 241 T_SUB_ASSIGN 242 T_MUL_ASSIGN 243 T_DIV_ASSIGN 244
%token T_REM_ASSIGN 245 T_CONCAT_ASSIGN 246

%type <str> AnyIdentifier FunctionName
%type <value> Constant
%type <count> BuiltinType ParameterList
/* level 2 { */
%type <count> AssignOperator ExpressionList PairList ForCondition
/* } level 2 */
%type <instruction> SimpleStatementKeyword

/* Whatever a failed parse leaves on its stack is released here. */
%destructor { free($$); } <str>
%destructor { delete $$; } <value>
%destructor { delete $$; } <instruction>

%start Script

%%

Script:
     Module
   | Expression
      {
         // AddFunction explains a duplicate name; its only other failure is
         // a table that could not grow.
         char buffer[256] = "memory exhausted";
         Emit(program, new ORVA_Instruction(LINE, OPCODE_RET));
         if (!program->AddFunction("main", 0, buffer))
            compiler->Error(buffer);
      }
   ;

Module:
     ModuleComponent Module
   | ModuleComponent
   ;

ModuleComponent:
     Function
   | UseStatement
   ;

UseStatement:
     T_USE AnyIdentifier ';'
      {
         program->AddPreload($2);
      }
   ;

AnyIdentifier:
     T_IDENTIFIER
   | T_COMPOUND_IDENTIFIER
   ;

Function:
     T_SUB FunctionName
      {
         char buffer[256] = "memory exhausted";
         if (!program->AddFunction($2, INVALID_ADDRESS, buffer))
            compiler->Error(buffer);
         free($2);
         $2 = nullptr;
         compiler->m_idOpcode = OPCODE_BIND;
      }
     ParameterDeclaration Block
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_RET_NULL));
      }
   ;

ParameterDeclaration:
     IdentifierList ')'
   | ')'
   ;

IdentifierList:
     T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, compiler->m_idOpcode, $1));
         $1 = nullptr;
      }
     ',' IdentifierList
   | T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, compiler->m_idOpcode, $1));
      }
   ;

Block:
     '{' StatementList '}'
   ;

StatementList:
     StatementOrBlock StatementList
/* level 1 { */
   | %empty
/* } level 1 */
/* level 2 { */
   | %empty %prec EMPTY_BLOCK
/* } level 2 */
   ;

StatementOrBlock:
     Statement
   | Block
   ;

Statement:
     Expression ';'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_POP, 1));
      }
   | BuiltinStatement
   | ';'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_NOP));
      }
   ;

Expression:
     '(' Expression ')'
   | T_IDENTIFIER '=' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_SET, $1));
      }
   | Expression '[' Expression ']' '=' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, compiler->m_setElement));
      }
   | Expression '[' Expression ']'
      {
         Emit(program, new ORVA_Instruction(LINE, compiler->m_getElement));
         compiler->m_lvalueEnd = program->CodeSize();
      }
/* level 2 { */
   | T_IDENTIFIER AssignOperator
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_VARIABLE, strdup($1)));
      }
     Expression %prec '='
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_UPDATE, $2));
         Emit(program, new ORVA_Instruction(LINE, OPCODE_SET, $1));
      }
   | Expression '[' Expression ']' AssignOperator Expression %prec '='
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_UPDATE_KEYED, $5));
      }
   | Expression '[' Expression ']' T_INC
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_STEP_KEYED, static_cast<int>(OPCODE_INC)));
      }
   | Expression '[' Expression ']' T_DEC
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_STEP_KEYED, static_cast<int>(OPCODE_DEC)));
      }
   | T_INC Expression %prec T_INC
      {
         compiler->StepInPlace(program, OPCODE_INCP, LINE);
      }
   | T_DEC Expression %prec T_INC
      {
         compiler->StepInPlace(program, OPCODE_DECP, LINE);
      }
   | Expression T_COALESCE
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JNN_KEEP, INVALID_ADDRESS));
      }
     Expression
      {
         program->ResolveLastJump(OPCODE_JNN_KEEP);
         compiler->m_lvalueEnd = INVALID_ADDRESS;
      }
   | Expression T_AND
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ_KEEP, INVALID_ADDRESS));
      }
     Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_TRUTH));
         program->ResolveLastJump(OPCODE_JZ_KEEP);
      }
   | Expression T_OR
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JNZ_KEEP, INVALID_ADDRESS));
      }
     Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_TRUTH));
         program->ResolveLastJump(OPCODE_JNZ_KEEP);
      }
/* } level 2 */
   | Expression T_REF T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_REFERENCE, $3));
      }
   | '-' Expression %prec '!'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_NEG));
      }
   | '!' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_NOT));
      }
   | '~' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_BIT_NOT));
      }
/* level 1 { */
   | T_INC T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_INCP, $2));
      }
   | T_DEC T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_DECP, $2));
      }
/* } level 1 */
   | T_IDENTIFIER T_INC
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_INC, $1));
      }
   | T_IDENTIFIER T_DEC
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_DEC, $1));
      }
   | Expression '+' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_ADD));
      }
   | Expression '-' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_SUB));
      }
   | Expression '*' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_MUL));
      }
   | Expression '/' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_DIV));
      }
   | Expression '%' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_REM));
      }
   | Expression T_LIKE Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LIKE));
      }
   | Expression T_ILIKE Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_ILIKE));
      }
   | Expression T_MATCH Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_MATCH));
      }
   | Expression T_IMATCH Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_IMATCH));
      }
   | Expression T_EQ Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_EQ));
      }
   | Expression T_NE Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_NE));
      }
   | Expression '<' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LT));
      }
   | Expression T_LE Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LE));
      }
   | Expression '>' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_GT));
      }
   | Expression T_GE Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_GE));
      }
   | Expression '&' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_BIT_AND));
      }
   | Expression '|' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_BIT_OR));
      }
   | Expression '^' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_BIT_XOR));
      }
/* level 1 { */
   | Expression T_AND Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_AND));
      }
   | Expression T_OR Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_OR));
      }
/* } level 1 */
   | Expression T_LSHIFT Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LSHIFT));
      }
   | Expression T_RSHIFT Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_RSHIFT));
      }
   | Expression '.' Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CONCAT));
      }
   | Expression '?'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ, INVALID_ADDRESS));
      }
     Expression ':'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, INVALID_ADDRESS));
         program->ResolveLastJump(OPCODE_JZ);
      }
     Expression
      {
         program->ResolveLastJump(OPCODE_JMP);
         compiler->m_lvalueEnd = INVALID_ADDRESS;
      }
   | Operand
   ;

/* level 2 { */
AssignOperator:
     T_ADD_ASSIGN     { $$ = OPCODE_ADD; }
   | T_SUB_ASSIGN     { $$ = OPCODE_SUB; }
   | T_MUL_ASSIGN     { $$ = OPCODE_MUL; }
   | T_DIV_ASSIGN     { $$ = OPCODE_DIV; }
   | T_REM_ASSIGN     { $$ = OPCODE_REM; }
   | T_CONCAT_ASSIGN  { $$ = OPCODE_CONCAT; }
   ;

ExpressionList:
     Expression ',' ExpressionList  { $$ = $3 + 1; }
   | Expression                     { $$ = 1; }
   ;

PairList:
     Expression ':' Expression ',' PairList  { $$ = $5 + 1; }
   | Expression ':' Expression               { $$ = 1; }
   ;
/* } level 2 */

Operand:
     FunctionCall
   | TypeCast
   | T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_VARIABLE, $1));
         compiler->m_lvalueEnd = program->CodeSize();
      }
   | Constant
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_CONSTANT, $1));
      }
/* level 2 { */
   | '[' ']'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LIST, 0));
      }
   | '[' ExpressionList ']'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_LIST, $2));
      }
   | '{' '}'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_MAP, 0));
      }
   | '{' PairList '}'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_MAP, 2 * $2));
      }
/* } level 2 */
   ;

TypeCast:
     BuiltinType '(' Expression ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CAST, static_cast<int>($1)));
      }
   ;

BuiltinType:
     T_TYPE_INT32   { $$ = ORVA_DT_INT32; }
   | T_TYPE_INT64   { $$ = ORVA_DT_INT64; }
   | T_TYPE_UINT32  { $$ = ORVA_DT_UINT32; }
   | T_TYPE_UINT64  { $$ = ORVA_DT_UINT64; }
   | T_TYPE_REAL    { $$ = ORVA_DT_REAL; }
   | T_TYPE_STRING  { $$ = ORVA_DT_STRING; }
   ;

BuiltinStatement:
     SimpleStatement ';'
   | PrintlnStatement
   | IfStatement
   | DoStatement
   | WhileStatement
   | SwitchStatement
   | ArrayStatement
/* level 2 { */
   | ForStatement
/* } level 2 */
   | T_BREAK ';'
      {
         if (compiler->m_breakStack->Size() == 0)
         {
            compiler->Error("\"break\" statement can be used only within loops and \"switch\" statements");
         }
         else
         {
            Emit(program, new ORVA_Instruction(LINE, OPCODE_NOP));
            compiler->AddBreakAddress(program->CodeSize() - 1);
         }
      }
   | T_CONTINUE ';'
      {
         if (compiler->m_addrStack->Size() == 0)
         {
            compiler->Error("\"continue\" statement can be used only within loops");
         }
         else
         {
            compiler->EmitContinue(program, LINE);
         }
      }
   ;

SimpleStatement:
     SimpleStatementKeyword Expression
      {
         Emit(program, $1);
      }
   | SimpleStatementKeyword
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_CONSTANT, new ORVA_Value()));
         Emit(program, $1);
      }
   ;

SimpleStatementKeyword:
     T_EXIT    { $$ = new ORVA_Instruction(LINE, OPCODE_EXIT); }
   | T_RETURN  { $$ = new ORVA_Instruction(LINE, OPCODE_RET); }
   | T_PRINT   { $$ = new ORVA_Instruction(LINE, OPCODE_PRINT); }
   ;

PrintlnStatement:
     T_PRINTLN Expression ';'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_CONSTANT, new ORVA_Value("\n")));
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CONCAT));
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PRINT));
      }
   | T_PRINTLN ';'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_CONSTANT, new ORVA_Value("\n")));
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PRINT));
      }
   ;

IfStatement:
     T_IF '(' Expression ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ, INVALID_ADDRESS));
      }
     IfBody
   ;

IfBody:
     StatementOrBlock
      {
         program->ResolveLastJump(OPCODE_JZ);
      }
   | StatementOrBlock ElseStatement
      {
         program->ResolveLastJump(OPCODE_JMP);
      }
   ;

ElseStatement:
     T_ELSE
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, INVALID_ADDRESS));
         program->ResolveLastJump(OPCODE_JZ);
      }
     StatementOrBlock
   ;

WhileStatement:
     T_WHILE
      {
         compiler->OpenLoop(program->CodeSize());
      }
     '(' Expression ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ, INVALID_ADDRESS));
      }
     StatementOrBlock
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, compiler->PopAddress()));
         program->ResolveLastJump(OPCODE_JZ);
         compiler->CloseLoop(program);
      }
   ;

DoStatement:
     T_DO
      {
         compiler->OpenLoop(program->CodeSize());
      }
     StatementOrBlock T_WHILE '(' Expression ')' ';'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JNZ, compiler->PopAddress()));
         compiler->CloseLoop(program);
      }
   ;

/* level 2 { */
/*
 * for (k in a), for (k, v in a): the walk stays on the data stack under the
 * body, as a switch value does, and the POP at the loop's end (where break
 * and the end of the walk both go) drops it.
 */
ForStatement:
     T_FOR '(' T_IDENTIFIER T_IDENTIFIER
      {
         compiler->ExpectIn($4);
         free($4);
         $4 = nullptr;
      }
     Expression ')'
      {
         compiler->OpenWalk(program, $3, nullptr, LINE);
         $3 = nullptr;
      }
     StatementOrBlock
      {
         compiler->CloseWalk(program, LINE);
      }
   | T_FOR '(' T_IDENTIFIER ',' T_IDENTIFIER T_IDENTIFIER
      {
         compiler->ExpectIn($6);
         free($6);
         $6 = nullptr;
      }
     Expression ')'
      {
         compiler->OpenWalk(program, $3, $5, LINE);
         $3 = nullptr;
         $5 = nullptr;
      }
     StatementOrBlock
      {
         compiler->CloseWalk(program, LINE);
      }
   | T_FOR '(' ForInit ';'
      {
         $<u32>$ = program->CodeSize();   // the condition
      }
     ForCondition ';'
      {
         // Past the step to the body; continue goes to the step.
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, INVALID_ADDRESS));
         compiler->OpenLoop(program->CodeSize());
      }
     ForStep ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, $<u32>5));
         program->ResolveLastJump(OPCODE_JMP);
      }
     StatementOrBlock
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, compiler->PopAddress()));
         if ($6)
            program->ResolveLastJump(OPCODE_JZ);
         compiler->CloseLoop(program);
      }
   ;

ForInit:
     Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_POP, 1));
      }
   | %empty
   ;

ForCondition:
     Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ, INVALID_ADDRESS));
         $$ = 1;
      }
   | %empty  { $$ = 0; }
   ;

ForStep:
     Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_POP, 1));
      }
   | %empty
   ;
/* } level 2 */

SwitchStatement:
     T_SWITCH
      {
         compiler->OpenSwitch();
      }
     '(' Expression ')' '{' CaseList Default '}'
      {
         compiler->CloseSwitch(program);
         Emit(program, new ORVA_Instruction(LINE, OPCODE_POP, 1));
      }
   ;

CaseList:
     Case
      {
         // Falling through skips the next label's CASE and JZ.
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JMP, program->CodeSize() + 3));
         program->ResolveLastJump(OPCODE_JZ);
      }
     CaseList
   | Case
      {
         program->ResolveLastJump(OPCODE_JZ);
      }
   ;

Case:
     T_CASE Constant
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CASE, $2));
         $2 = nullptr;
         Emit(program, new ORVA_Instruction(LINE, OPCODE_JZ, INVALID_ADDRESS));
      }
     ':' StatementList
   ;

Default:
     T_DEFAULT ':' StatementList
   | %empty
   ;

ArrayStatement:
     T_ARRAY
      {
         compiler->m_idOpcode = OPCODE_ARRAY;
      }
     IdentifierList ';'
   ;

FunctionCall:
     FunctionName ParameterList ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CALL_EXTERNAL, $1, $2));
      }
   | FunctionName ')'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_CALL_EXTERNAL, $1, 0));
      }
   ;

ParameterList:
     Expression ',' ParameterList  { $$ = $3 + 1; }
   | Expression                    { $$ = 1; }
   ;

FunctionName:
     T_IDENTIFIER '('
   ;

Constant:
     T_STRING
      {
         $$ = new ORVA_Value($1);
         free($1);
      }
   | T_INT32   { $$ = new ORVA_Value($1); }
   | T_UINT32  { $$ = new ORVA_Value($1); }
   | T_INT64   { $$ = new ORVA_Value($1); }
   | T_UINT64  { $$ = new ORVA_Value($1); }
   | T_REAL    { $$ = new ORVA_Value($1); }
   | T_NULL    { $$ = new ORVA_Value(); }
   ;

%%

/* The end of input is called "$end" in messages, every other token by its
   declared name ('x' for single characters). */
static const char *SymbolName(yysymbol_kind_t symbol)
{
   if (symbol == YYSYMBOL_YYEOF)
      return "$end";
   return yysymbol_name(symbol);
}

/* "syntax error, unexpected X", followed by the expected tokens when there
   are at most four of them. */
static int yyreport_syntax_error(const yypcontext_t *context, yyscan_t, ORVA_LexerInput *,
                                 ORVA_Compiler *compiler, ORVA_Program *)
{
   enum { MAX_LISTED = 4 };
   yysymbol_kind_t unexpected = yypcontext_token(context);
   if (unexpected == YYSYMBOL_YYEMPTY)
   {
      compiler->Error("syntax error");
      return 0;
   }

   yysymbol_kind_t expected[MAX_LISTED];
   int count = yypcontext_expected_tokens(context, expected, MAX_LISTED);
   if (count < 0)
      count = 0;

   char message[256];
   int length = snprintf(message, sizeof(message), "syntax error, unexpected %s", SymbolName(unexpected));
   for (int i = 0; i < count && length > 0 && length < static_cast<int>(sizeof(message)); i++)
      length += snprintf(message + length, sizeof(message) - length, i == 0 ? ", expecting %s" : " or %s",
                         SymbolName(expected[i]));
   compiler->Error(message);
   return 0;
}

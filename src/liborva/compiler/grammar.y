/*
 * The ORVA grammar.  No syntax tree is built: every reduction appends its
 * instructions to the program under construction and patches jumps.
 *
 * The order of the token and precedence declarations fixes the symbol
 * numbers, and with them the order in which syntax errors list the tokens
 * they expected; do not reorder them.
 */

%define api.pure full
%define api.prefix {orva_yy}
%define parse.error custom
%expect 1

%param {yyscan_t scanner}
%parse-param {ORVA_LexerInput *lexer} {ORVA_Compiler *compiler} {ORVA_Program *program}

%code requires {
#include "orva.h"

class ORVA_Compiler;
class ORVA_LexerInput;

#ifndef YY_TYPEDEF_YY_SCANNER_T
#define YY_TYPEDEF_YY_SCANNER_T
typedef void *yyscan_t;
#endif
}

%code provides {
/* The scanner's entry point as the parser calls it. */
int orva_yylex(ORVA_YYSTYPE *yylval_param, yyscan_t scanner);
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
}

%union {
   int32 i32;
   uint32 u32;
   int64 i64;
   uint64 u64;
   double real;
   char *str;
   ORVA_Value *value;
   ORVA_Instruction *instruction;
   int count;
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

%right '='
%right ':' '?'
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

%type <str> AnyIdentifier FunctionName
%type <value> Constant
%type <count> BuiltinType ParameterList
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
   | %empty
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
         Emit(program, new ORVA_Instruction(LINE, OPCODE_SET_ELEMENT));
      }
   | Expression '[' Expression ']'
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_GET_ELEMENT));
      }
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
   | T_INC T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_INCP, $2));
      }
   | T_DEC T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_DECP, $2));
      }
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
   | Expression T_AND Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_AND));
      }
   | Expression T_OR Expression
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_OR));
      }
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
      }
   | Operand
   ;

Operand:
     FunctionCall
   | TypeCast
   | T_IDENTIFIER
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_VARIABLE, $1));
      }
   | Constant
      {
         Emit(program, new ORVA_Instruction(LINE, OPCODE_PUSH_CONSTANT, $1));
      }
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

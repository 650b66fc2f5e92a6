" Vim syntax file
" Language: ORVA (the scripting language of liborva)
" Files:    *.orva

if exists("b:current_syntax")
  finish
endif

syn keyword orvaStatement   break continue return exit print println
syn keyword orvaConditional if else switch
syn keyword orvaRepeat      while do
syn keyword orvaLabel       case default
syn keyword orvaStorage     array sub use
syn keyword orvaType        int32 int64 uint32 uint64 real string
syn keyword orvaOperator    like ilike match imatch
syn keyword orvaConstant    NULL
syn keyword orvaError       for

syn keyword orvaBuiltin abs classof d2x gmtime left length localtime lower max min pow right
syn keyword orvaBuiltin strftime substr time typeof upper AddrInRange AddrInSubnet SecondsToUptime
syn keyword orvaBuiltin split join index replace trim ord chr format sqrt floor ceil round exp log
syn keyword orvaBuiltin sin cos tan atan2 count sort readline readfile writefile getenv argc exitstatus

" $1, $2, ... : arguments and the groups of the last match.
syn match   orvaArgument    "\$\d\+"
syn match   orvaFunction    "\(\<sub\s\+\)\@<=\h\w*\(::\h\w*\)*"

syn match   orvaNumber      "-\=\<\d\+\(U\|L\|UL\|LU\)\=\>"
syn match   orvaNumber      "-\=\<0x\x\+\(U\|L\|UL\|LU\)\=\>"
syn match   orvaNumber      "-\=\<\d\+\.\d\+\>"

" A backslash before a quote always escapes it.
syn match   orvaEscape      contained "\\[nrtb0\"]\|\\x\x\{1,2}"
syn region  orvaString      start=+"+ skip=+\\"+ end=+"+ end=+$+ contains=orvaEscape,@Spell

syn keyword orvaTodo        contained TODO FIXME XXX NOTE
syn match   orvaLineComment "//.*$" contains=orvaTodo,@Spell
" Block comments nest.
syn region  orvaComment     start="/\*" end="\*/" contains=orvaComment,orvaTodo,@Spell
syn match   orvaShebang     "\%^#!.*$"

hi def link orvaStatement   Statement
hi def link orvaConditional Conditional
hi def link orvaRepeat      Repeat
hi def link orvaLabel       Label
hi def link orvaStorage     StorageClass
hi def link orvaType        Type
hi def link orvaOperator    Operator
hi def link orvaConstant    Constant
hi def link orvaError       Error
hi def link orvaBuiltin     Function
hi def link orvaFunction    Function
hi def link orvaArgument    Identifier
hi def link orvaNumber      Number
hi def link orvaString      String
hi def link orvaEscape      SpecialChar
hi def link orvaTodo        Todo
hi def link orvaLineComment Comment
hi def link orvaComment     Comment
hi def link orvaShebang     PreProc

let b:current_syntax = "orva"

// Tokens of the tolm language, shared by project files, unit files, the
// registry file and single command-line assignments. The rule order fixes
// the token numbers, so new rules go at the end.
lexer grammar CommonLexer;

WS            : [ \t\r\n]+ -> skip ;
LINE_COMMENT  : '//' ~[\r\n]* -> skip ;
BLOCK_COMMENT : '/*' .*? '*/' -> skip ;

COLON         : ':' ;
DCOLON        : '::' ;
ALIAS         : '=>' ;
MERGE_ALIAS   : '+>' ;
LBRACE        : '{' ;
RBRACE        : '}' ;
LBRACKET      : '(' ;
RBRACKET      : ')' ;
EQUALS        : '=' ;
NEQUALS       : '!=' ;
GREATER       : '>' ;
LESSER        : '<' ;
APPEND        : '+=' ;
ASSIGNEMPTY   : '\u003F=' ;

// No escapes: everything up to the next double quote, line breaks included.
STRING        : '"' ~["]* '"' ;
RAW_STRING    : 'R"(' RAW_CONTENT*? ')"' ;
PATH_STRING   : 'P"(' RAW_CONTENT*? ')"' ;
NUMBER        : '-'? [0-9]+ ;

LSQUARE       : '[' ;
RSQUARE       : ']' ;
PLUS          : '+' ;
AT            : '@' ;
UP            : '^' ;
MUST          : '!' ;
SLASH         : '/' ;
COMMA         : ',' ;
DOT           : '.' ;
SEMICOLON     : ';' ;

UNIT_STR      : 'unit' ;
IF_STR        : 'if' ;
IMPORT_STR    : 'import' ;
UNITS_STR     : 'units' ;
PROFILES_STR  : 'profiles' ;
PROJECTS_STR  : 'projects' ;
TOOLS_STR     : 'tools' ;
NAME_STR      : 'name' ;

IDENTIFIER    : [a-zA-Z_] [a-zA-Z0-9_\-]* ;

// One character of raw content. The loop around it is non-greedy, so a raw
// or path literal ends at the first ')"', also when its content ends in ')'.
fragment RAW_CONTENT : . ;

// Syntax of everything tolm reads in its own language. Four start rules:
// registryFile, unitFile, projFile and assignment (one command-line word or
// one cached assignment). The grammar carries no actions: all meaning comes
// from the visitor. Rule order fixes the rule indexes, so keep it.
parser grammar TolmTopParser;

options { tokenVocab = CommonLexer; }

registryFile : tolmRegistry EOF ;
unitFile     : tolmUnit EOF ;
projFile     : tolmProject EOF ;

path : STRING ;
url  : STRING ;
uri  : path | url ;

tolmRegistry : projects? build_tools? ;
project      : IDENTIFIER uri ;
projects     : 'projects' '{' project* '}' ;

comment : LINE_COMMENT | BLOCK_COMMENT ;

bool_operator : '=' | '!=' | '>' | '<' ;
bool_expr     : identifier (bool_operator valueNode)? ;
condition     : 'if' bool_expr ;
context       : '{' (assignment | comment | cond_context)* '}' ;
cond_context  : condition context ;

identifier : segment ('.' segment)* ;
segment    : IDENTIFIER index* ;
index      : '[' indexExpr ']' ;
regex      : RAW_STRING ;
range      : NUMBER ':' NUMBER ;
indexExpr  : NUMBER | range | regex | identifier ;

valueNode : STRING | RAW_STRING | PATH_STRING | identifier | NUMBER | list | context ;
list      : '[' (valueNode (',' valueNode)*)? ']' ;

assignment          : assignment_modifier? IDENTIFIER (assign_operator valueNode)? ;
assignment_modifier : '^' | '!' ;
assign_operator     : '=' | '+=' | '\u003F=' ;

build_tool  : IDENTIFIER context ;
build_tools : 'tools' '{' build_tool* '}' ;

tolmUnit  : unit_name? (target | comment)* ;
unit_name : 'unit' IDENTIFIER ;
target    : IDENTIFIER ('(' parameter_name (',' parameter_name)* ')')? ':' dependency* context ;

dependency            : dependency_modifier? dependency_identifier ('(' dependency_parameter (',' dependency_parameter)* ')')? (dependency_alias IDENTIFIER)? ;
dependency_modifier   : '+' ;
dependency_alias      : '=>' | '+>' ;
direct_dependency     : ((IDENTIFIER '/')? IDENTIFIER '::')? IDENTIFIER ;
dependency_macro      : '@' identifier ;
dependency_parameter  : identifier | '.' ;
dependency_identifier : direct_dependency | dependency_macro ;
parameter_name        : IDENTIFIER ;

tolmProject         : proj_name? proj_import_section? build_tools? units? profiles? ;
proj_name           : 'name' IDENTIFIER ;
proj_source_profile : IDENTIFIER ':' ;
proj_import_profile : '(' IDENTIFIER ')' ;
proj_path_import    : proj_source_profile? STRING IDENTIFIER? proj_import_profile? ';' ;
proj_registry_import: proj_source_profile? IDENTIFIER proj_import_profile? ';' ;
proj_import         : proj_path_import | proj_registry_import ;
proj_import_section : 'import' '{' proj_import* '}' ;
unit     : IDENTIFIER '{' STRING* '}' ;
units    : 'units' '{' unit* '}' ;
profile  : IDENTIFIER context ;
profiles : 'profiles' '{' profile* '}' ;

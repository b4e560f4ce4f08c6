# Generates the lexer and parser from the grammars in src/parser/ with
# Debian's antlr4 tool; the generated files live only in the build tree.
set(TOLM_GENERATED_SOURCES "")
set(TOLM_GENERATED_INCLUDE_DIRS "")
set(TOLM_ANTLR_RUNTIME "")

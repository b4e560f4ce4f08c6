# Generates the lexer and parser from the grammars in src/parser/ with
# Debian's antlr4 tool; the generated files live only in the build tree.
#
# Sets for the main CMakeLists:
#   TOLM_GENERATED_SOURCES       generated .cpp files, compiled into tolm_lib
#   TOLM_GENERATED_INCLUDE_DIRS  directory holding parser/<generated headers>
#   TOLM_ANTLR_RUNTIME           interface target: runtime library and its
#                                headers, both as SYSTEM includes

find_program(ANTLR4_TOOL NAMES antlr4 REQUIRED)
find_path(ANTLR4_RUNTIME_INCLUDE_DIR antlr4-runtime.h
  PATH_SUFFIXES antlr4-runtime REQUIRED)
# The static runtime where the package has it: resolving the shared one's
# symbols at every start costs a no-op run a few milliseconds.
find_library(ANTLR4_RUNTIME_LIBRARY NAMES libantlr4-runtime.a antlr4-runtime REQUIRED)

set(TOLM_GRAMMAR_DIR ${CMAKE_SOURCE_DIR}/src/parser)
set(TOLM_GENERATED_ROOT ${CMAKE_BINARY_DIR}/generated)
set(TOLM_GENERATED_DIR ${TOLM_GENERATED_ROOT}/parser)

set(TOLM_LEXER_OUTPUTS
  ${TOLM_GENERATED_DIR}/CommonLexer.cpp
  ${TOLM_GENERATED_DIR}/CommonLexer.h
  ${TOLM_GENERATED_DIR}/CommonLexer.tokens)
set(TOLM_PARSER_OUTPUTS
  ${TOLM_GENERATED_DIR}/TolmTopParser.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParser.h
  ${TOLM_GENERATED_DIR}/TolmTopParserVisitor.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParserVisitor.h
  ${TOLM_GENERATED_DIR}/TolmTopParserBaseVisitor.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParserBaseVisitor.h)

# The tool writes the literal name of '?=' as a \u003F escape, which the C++
# compiler would turn back into '?'; doubling the backslash keeps the display
# name the vocabulary promises ('\u003F=') in error messages.
set(TOLM_ESCAPE_FIXUP sed -i "s/\\\\u003F/\\\\\\\\u003F/g")

add_custom_command(
  OUTPUT ${TOLM_LEXER_OUTPUTS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLM_GENERATED_DIR}
  COMMAND ${ANTLR4_TOOL} -Dlanguage=Cpp -visitor -no-listener
          -o ${TOLM_GENERATED_DIR} -Xexact-output-dir
          ${TOLM_GRAMMAR_DIR}/CommonLexer.g4
  COMMAND ${TOLM_ESCAPE_FIXUP} ${TOLM_GENERATED_DIR}/CommonLexer.cpp
  DEPENDS ${TOLM_GRAMMAR_DIR}/CommonLexer.g4
  COMMENT "Generating the tolm lexer"
  VERBATIM)

add_custom_command(
  OUTPUT ${TOLM_PARSER_OUTPUTS}
  COMMAND ${ANTLR4_TOOL} -Dlanguage=Cpp -visitor -no-listener
          -o ${TOLM_GENERATED_DIR} -Xexact-output-dir -lib ${TOLM_GENERATED_DIR}
          ${TOLM_GRAMMAR_DIR}/TolmTopParser.g4
  COMMAND ${TOLM_ESCAPE_FIXUP} ${TOLM_GENERATED_DIR}/TolmTopParser.cpp
  DEPENDS ${TOLM_GRAMMAR_DIR}/TolmTopParser.g4 ${TOLM_GENERATED_DIR}/CommonLexer.tokens
  COMMENT "Generating the tolm parser"
  VERBATIM)

set(TOLM_GENERATED_SOURCES
  ${TOLM_GENERATED_DIR}/CommonLexer.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParser.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParserVisitor.cpp
  ${TOLM_GENERATED_DIR}/TolmTopParserBaseVisitor.cpp)

# The generated code uses u8 literals as std::string (pre-C++20 meaning) and
# is not ours to keep warning-free.
set_source_files_properties(${TOLM_GENERATED_SOURCES} PROPERTIES
  GENERATED TRUE
  COMPILE_OPTIONS "-fno-char8_t;-w")

# Headers of the runtime and the generated parser are SYSTEM includes, so
# their warnings do not drown ours. The same directory also goes into
# TOLM_GENERATED_INCLUDE_DIRS; gcc keeps treating it as a system directory.
add_library(tolm_antlr_runtime INTERFACE)
target_include_directories(tolm_antlr_runtime SYSTEM INTERFACE
  ${ANTLR4_RUNTIME_INCLUDE_DIR} ${TOLM_GENERATED_ROOT})
target_link_libraries(tolm_antlr_runtime INTERFACE ${ANTLR4_RUNTIME_LIBRARY})

set(TOLM_GENERATED_INCLUDE_DIRS ${TOLM_GENERATED_ROOT})
set(TOLM_ANTLR_RUNTIME tolm_antlr_runtime)

# Turns a text file into a C++ source that defines it as a NUL-terminated array.
#   cmake -DIN=file -DOUT=file.cpp -DNAME=kSymbol [-DLEN_NAME=kSymbolLen]
#         [-DHEADER=dir/decl.h] -P cmake/embed_text.cmake
# Defines  extern const char NAME[]  and  extern const size_t LEN_NAME  (the length
# without the NUL; LEN_NAME defaults to NAME followed by "Len"). Every byte is written
# as a hex escape, so no content can end the literal early. HEADER, when given, is
# included so the compiler checks the definitions against their declarations.
foreach(var IN ITEMS IN OUT NAME)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "embed_text: -D${var}=... is required")
  endif()
endforeach()
if(NOT NAME MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
  message(FATAL_ERROR "embed_text: NAME '${NAME}' is not a C++ identifier")
endif()
if(NOT DEFINED LEN_NAME OR LEN_NAME STREQUAL "")
  set(LEN_NAME "${NAME}Len")
endif()
if(NOT LEN_NAME MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
  message(FATAL_ERROR "embed_text: LEN_NAME '${LEN_NAME}' is not a C++ identifier")
endif()
if(NOT EXISTS "${IN}")
  message(FATAL_ERROR "embed_text: cannot read ${IN}")
endif()

file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hexLen)
math(EXPR size "${hexLen} / 2")

# 16 bytes a line: each line one string literal, joined by the compiler.
set(body "")
set(pos 0)
while(pos LESS hexLen)
  string(SUBSTRING "${hex}" ${pos} 32 chunk)
  string(REGEX REPLACE "([0-9a-fA-F][0-9a-fA-F])" "\\\\x\\1" chunk "${chunk}")
  string(APPEND body "    \"${chunk}\"\n")
  math(EXPR pos "${pos} + 32")
endwhile()
if(body STREQUAL "")
  set(body "    \"\"\n")
endif()

get_filename_component(inName "${IN}" NAME)
set(text "// Generated from ${inName} by embed_text.cmake; do not edit.\n")
if(DEFINED HEADER AND NOT HEADER STREQUAL "")
  string(APPEND text "#include \"${HEADER}\"\n")
endif()
string(APPEND text "#include <cstddef>\n\n")
string(APPEND text "extern const char ${NAME}[];\n")
string(APPEND text "extern const size_t ${LEN_NAME};\n\n")
string(APPEND text "const char ${NAME}[${size} + 1] =\n${body};\n")
string(APPEND text "const size_t ${LEN_NAME} = ${size};\n")

file(WRITE "${OUT}" "${text}")

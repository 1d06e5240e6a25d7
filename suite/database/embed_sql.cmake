# Turns a .sql file into a C++ source that defines the text as a raw string.
#   cmake -DIN=<file.sql> -DOUT=<file.cpp> -DSYMBOL=<qualified name> -P embed_sql.cmake
file(READ "${IN}" text)
string(FIND "${text}" ")qvsql\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} contains the raw-string delimiter")
endif()
string(REPLACE "::" ";" parts "${SYMBOL}")
list(POP_BACK parts name)
list(JOIN parts "::" ns)
file(WRITE "${OUT}.tmp"
  "// Generated from ${IN}; edit that file.\n"
  "#include <string_view>\n"
  "namespace ${ns} {\n"
  "extern const std::string_view ${name};\n"
  "const std::string_view ${name} = R\"qvsql(${text})qvsql\";\n"
  "}\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")

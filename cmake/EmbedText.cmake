# Writes a C++ include that defines a character array holding a file's exact bytes.
# Usage: cmake -DINPUT=file -DOUTPUT=file.inc -DNAME=kSymbol -P EmbedText.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\nconstexpr char ${NAME}[] = {${bytes}'\\0'};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")

# Writes OUTPUT, a C++ source that holds the json2 script read from INPUT as a byte array, so
# that the script ships inside the binary without being copied into the source tree.
#
#   cmake -DINPUT=<json2.js> -DOUTPUT=<file.cpp> -P embed_json2.cmake

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
# Sixteen bytes a line, each written as 0xNN.
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n    " hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")

file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT}; do not edit.
#include <string_view>

namespace json_internal {

std::string_view Json2Script();

namespace {
const unsigned char kBytes[] = {
    ${bytes}
};
}  // namespace

std::string_view Json2Script() {
    return std::string_view(reinterpret_cast<const char*>(kBytes), sizeof kBytes);
}

}  // namespace json_internal
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")

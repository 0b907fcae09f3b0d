# Turns a built file into a C++ source holding its bytes as a byte-string
# constant of the program (count 1, length, then the bytes).
#   cmake -DINPUT=file -DOUTPUT=source.cpp -P embed_image.cmake
if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "embed_image.cmake: INPUT and OUTPUT are required")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "embed_image.cmake: ${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.new" "// Generated from the built updater library; do not edit.
#include <cstdint>

#include \"updater/embedded.h\"

namespace {

struct alignas(4) UpdaterImage {
  int32_t dims;
  int32_t length;
  uint8_t data[${size}];
};

const UpdaterImage kUpdaterImage = {1, ${size}, {
    ${bytes}
}};

}  // namespace

namespace cx {

const BytesBlock& updater_library_image() { return *reinterpret_cast<const BytesBlock*>(&kUpdaterImage); }

}  // namespace cx
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")

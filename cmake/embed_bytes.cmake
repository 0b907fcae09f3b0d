# Turns a file into a C++ source that carries its bytes in the program's
# constant data, in one of two forms:
#   MODE=ARRAY        const uint8_t SYMBOL[] and const size_t SYMBOLSize
#   MODE=BYTE_STRING  const BytesBlock& SYMBOL(): the stored byte-string
#                     layout (count 1, length, then the bytes)
# both in namespace cx.
#   cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -DMODE=ARRAY|BYTE_STRING -P embed_bytes.cmake
foreach(arg INPUT OUTPUT SYMBOL MODE)
  if(NOT ${arg})
    message(FATAL_ERROR "embed_bytes.cmake: ${arg} is required")
  endif()
endforeach()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "embed_bytes.cmake: ${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")

if(MODE STREQUAL "ARRAY")
  set(body "#include <cstddef>
#include <cstdint>

namespace cx {

extern const uint8_t ${SYMBOL}[];
extern const size_t ${SYMBOL}Size;
alignas(4) const uint8_t ${SYMBOL}[${size}] = {
    ${bytes}};
const size_t ${SYMBOL}Size = ${size};

}  // namespace cx
")
elseif(MODE STREQUAL "BYTE_STRING")
  set(body "#include <cstdint>

#include \"services/value.h\"

namespace {

struct alignas(4) Image {
  int32_t dims;
  int32_t length;
  uint8_t data[${size}];
};

const Image kImage = {1, ${size}, {
    ${bytes}}};

}  // namespace

namespace cx {

const BytesBlock& ${SYMBOL}() { return *reinterpret_cast<const BytesBlock*>(&kImage); }

}  // namespace cx
")
else()
  message(FATAL_ERROR "embed_bytes.cmake: MODE is ARRAY or BYTE_STRING, not ${MODE}")
endif()

file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT}; do not edit.\n${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")

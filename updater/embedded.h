// The updater library's file image, carried inside the program and written
// out next to it when an update is due.
#pragma once

#include "services/value.h"

namespace cx {

// The image in the stored byte-string layout (count 1, length, the bytes);
// it lives in the program's constant data: Bytes::literal(&updater_library_image()).
const BytesBlock& updater_library_image();

}  // namespace cx

// Whether a downloaded file is a whole Windows program image.
#pragma once

#include <windows.h>

#include <cstdint>

namespace updata {

// True when the size bytes at data are a whole Windows executable image: "MZ",
// a PE header where the DOS header points, the headers, the data of every
// section and an attached certificate table all inside the size.
bool is_complete_image(const void* data, uint64_t size);
// The same for a file (read through its handle, which needs read access).
bool is_complete_image_file(HANDLE file);

}  // namespace updata

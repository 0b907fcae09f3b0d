// The maker's version file: what it announces, and whether that is this
// program's own version. Platform-free; the update check acts on it.
#pragma once

#include "services/value.h"

namespace cx {

// The program's own version, compared byte for byte.
extern const char kCurrentVersion[];

struct VersionFile {
  // A "new=[" with a "]" behind it was found: the file announces a version
  // (which may be empty).
  bool announces_version = false;
  Text newest;    // between the first "new=[" and the first "]" behind it, exactly
  Text download;  // between the first "download=[" and the first "]" behind it
};

VersionFile read_version_file(const Text& file_text);

// Any difference counts: blanks, case, an empty or an older version.
bool is_current_version(const Text& newest);

}  // namespace cx

#include "app/version_file.h"

#include "app/cutting.h"
#include "services/text.h"

namespace cx {

const char kCurrentVersion[] = "V1.0";

namespace {
const char kNewMarker[] = "new=[";
const char kDownloadMarker[] = "download=[";
const char kEndMarker[] = "]";
}  // namespace

VersionFile read_version_file(const Text& file_text) {
  const Text new_marker = Text::literal(kNewMarker);
  const Text end_marker = Text::literal(kEndMarker);
  VersionFile file;
  file.newest = text_between(file_text, new_marker, end_marker);
  file.download = text_between(file_text, Text::literal(kDownloadMarker), end_marker);
  // An empty value and a missing field both cut to the empty text; only the
  // markers tell them apart.
  const int32_t s = find_text(file_text, new_marker);
  file.announces_version = s != -1 && find_text(file_text, end_marker, s + new_marker.length()) != -1;
  return file;
}

bool is_current_version(const Text& newest) { return newest == kCurrentVersion; }

}  // namespace cx

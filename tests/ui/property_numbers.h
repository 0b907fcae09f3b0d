// Kind property numbers the tests use that ui/access.h does not name.
#pragma once

#include <cstdint>

namespace uitest {

// The transparent label (10: the 60-byte font description) and the common
// dialog's switches (15 to 19, each a logical value).
enum KindPropertyNumber : int32_t {
  LABEL_EFFECT = 9, LABEL_FONT = 10, LABEL_TEXT_COLOUR = 11, LABEL_H_ALIGN = 12, LABEL_WORD_WRAP = 13,
  LABEL_V_ALIGN = 14,
  DIALOG_SWITCH_CREATE_PROMPT = 15, DIALOG_SWITCH_FILE_MUST_EXIST = 16, DIALOG_SWITCH_OVERWRITE_PROMPT = 17,
  DIALOG_SWITCH_PATH_MUST_EXIST = 18, DIALOG_SWITCH_KEEP_DIRECTORY = 19,
};

}  // namespace uitest

// Control access for the logic: property reads and writes by number, the list
// operations and the file dialog, each on a control reference. A reference
// that names nothing live is a run-time error (the logic never sees a handle).
#pragma once

#include <cstdint>

#include "services/value.h"

namespace cx {

struct ControlRef {
  uint32_t window;   // window identifier
  uint32_t control;  // control identifier within the window, 0 = the window
  uint32_t kind;     // kind code (TAG_BUTTON, TAG_LABEL, ...)
};

// Common property numbers 0..7; 8 and up belong to the kind.
enum PropertyNumber : int32_t {
  PROP_LEFT = 0, PROP_TOP = 1, PROP_WIDTH = 2, PROP_HEIGHT = 3,
  PROP_TAG = 4, PROP_VISIBLE = 5, PROP_DISABLED = 6, PROP_MOUSE_POINTER = 7,
  BUTTON_CAPTION = 10,
  CHECKBOX_CHECKED = 18,
  EDIT_CONTENT = 8,
  LABEL_CAPTION = 8,
  DIALOG_KIND = 8, DIALOG_TITLE = 9, DIALOG_FILE_NAME = 10, DIALOG_FILTER = 11,
  DIALOG_FILTER_INDEX = 12, DIALOG_INITIAL_DIRECTORY = 13, DIALOG_DEFAULT_EXTENSION = 14,
};

// Cell form: text results are owned by the caller; written texts are copied.
Cell get_property(ControlRef ref, int32_t number);
void set_property(ControlRef ref, int32_t number, const Cell& value);

// Typed conveniences over the two above.
Text get_text_property(ControlRef ref, int32_t number);
void set_text_property(ControlRef ref, int32_t number, const Text& value);
bool get_bool_property(ControlRef ref, int32_t number);
void set_bool_property(ControlRef ref, int32_t number, bool value);
int32_t get_int_property(ControlRef ref, int32_t number);
void set_int_property(ControlRef ref, int32_t number, int32_t value);

// List operations. Cell form of list_insert_row: position, text, image,
// state image, indent, row value (all optional).
int32_t list_insert_row(ControlRef list, int argc, const Cell* args);
int32_t list_insert_row(ControlRef list, int32_t position, const Text& text);
bool list_set_cell(ControlRef list, int32_t row, int32_t column, const Text& text);
Text list_get_cell(ControlRef list, int32_t row, int32_t column);
// Cell forms: (row, [column = 0], [text = empty]) and (row, [column = 0]).
bool list_set_cell(ControlRef list, int argc, const Cell* args);
Text list_get_cell(ControlRef list, int argc, const Cell* args);
int32_t list_row_count(ControlRef list);
void list_delete_all(ControlRef list);

// Shows the file dialog that the common dialog control describes; true when
// the user confirmed (the file-name property then holds the full path).
bool show_common_dialog(ControlRef dialog);

}  // namespace cx

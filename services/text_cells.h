// The text primitives in the uniform calling form (argument cells, one result
// cell). Absent optional arguments take the documented defaults here.
#pragma once

#include "services/value.h"

namespace cx {

void svc_text_length(int argc, const Cell* args, Cell* result);
void svc_text_left(int argc, const Cell* args, Cell* result);
void svc_text_middle(int argc, const Cell* args, Cell* result);
void svc_find_text(int argc, const Cell* args, Cell* result);
void svc_replace_text(int argc, const Cell* args, Cell* result);
void svc_trim_spaces(int argc, const Cell* args, Cell* result);
void svc_to_upper(int argc, const Cell* args, Cell* result);
void svc_to_integer(int argc, const Cell* args, Cell* result);
void svc_to_text(int argc, const Cell* args, Cell* result);
void svc_to_bytes(int argc, const Cell* args, Cell* result);
void svc_bytes_length(int argc, const Cell* args, Cell* result);
void svc_bytes_left(int argc, const Cell* args, Cell* result);
void svc_replace_bytes(int argc, const Cell* args, Cell* result);
void svc_bytes_read_value(int argc, const Cell* args, Cell* result);
void svc_blank_bytes(int argc, const Cell* args, Cell* result);

}  // namespace cx

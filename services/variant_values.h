// Values between the automation bridge's cells and COM's VARIANTs, both
// ways (the bridge's COM side only).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdint>

#include "services/automation.h"

namespace cx::com {

bool is_array_type(VARTYPE vt);
VARIANT empty_variant();
// Moves from into to; from is left empty.
void move_variant(VARIANT* to, VARIANT* from);
// The element type of an array parameter (through one pointer level).
const TYPEDESC* array_element(const TYPEDESC* type);
// Converts one argument cell by its kind, as its parameter is declared; a
// by-reference cell is read through its address. Returns OBJ_BAD_ARG_KIND for
// a kind that cannot be passed.
int32_t cell_to_variant(const Cell& cell, const TYPEDESC* type, VARIANT* v);
// The COM convention for an optional argument left out.
void set_param_not_found(VARIANT* v);
// Clears a VARIANT the call built; record copies are destroyed with their data.
void clear_built(VARIANT* v);
// A value of the kind asked for from a VARIANT, or a status.
int32_t variant_to_cell(const VARIANT* src, uint32_t kind, Cell* out);
// Stores a converted output value into the caller's variable of that kind.
void store_into_variable(Cell* value, void* variable);

}  // namespace cx::com

// The text primitives in the uniform calling form. An optional argument that
// was left out (tag 0, or not passed at all) takes its default; arguments of
// another kind than expected are converted as to_text / to_integer /
// to_bytes would.
#include "services/text_cells.h"

#include <cstring>

#include "services/text.h"
#include "services/text_internal.h"

namespace cx {

namespace {

bool given(int argc, const Cell* args, int i) { return i < argc && !cell_is_absent(args[i]); }

// A text argument, borrowed when it is a text and converted otherwise.
struct TextArg {
  Text owned;
  std::string_view view;
  TextArg(int argc, const Cell* args, int i) {
    if (i >= argc || cell_is_absent(args[i])) return;
    if (args[i].tag == TAG_TEXT) {
      view = std::string_view(cell_as_text(args[i]));
    } else {
      owned = to_text(args[i]);
      view = owned.view();
    }
  }
};

struct BytesArg {
  Bytes owned;
  const uint8_t* data = nullptr;
  int32_t size = 0;
  BytesArg(int argc, const Cell* args, int i) {
    if (i >= argc || cell_is_absent(args[i])) return;
    if (args[i].tag == TAG_BYTES) {
      const BytesBlock* b = cell_as_bytes(args[i]);
      data = b->data;
      size = b->length > 0 ? b->length : 0;
    } else {
      owned = to_bytes(args[i]);
      data = owned.data();
      size = owned.size();
    }
  }
};

int32_t int_arg(int argc, const Cell* args, int i, int32_t fallback) {
  return given(argc, args, i) ? to_integer(args[i]) : fallback;
}

std::optional<int32_t> opt_arg(int argc, const Cell* args, int i) {
  if (!given(argc, args, i)) return std::nullopt;
  return to_integer(args[i]);
}

void put_int(Cell* r, int32_t v) { *r = cell_int(v); }

void put_text(Cell* r, Text t) {
  Cell c{};
  c.tag = TAG_TEXT;
  c.v.ptr = t.release();
  *r = c;
}

void put_bytes(Cell* r, Bytes b) {
  Cell c{};
  c.tag = TAG_BYTES;
  c.v.ptr = b.empty() ? nullptr : b.release();  // an empty byte string is no block
  *r = c;
}

}  // namespace

void svc_text_length(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0);
  put_int(result, int32_t(t.view.size()));
}

void svc_text_left(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0);
  put_text(result, detail::left_of(t.view, int_arg(argc, args, 1, 0)));
}

void svc_text_middle(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0);
  put_text(result, detail::middle_of(t.view, int_arg(argc, args, 1, 0), int_arg(argc, args, 2, 0)));
}

void svc_find_text(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0), q(argc, args, 1);
  // A text argument is zero-terminated (its view ends at the closing zero).
  put_int(result, detail::find_in(t.view.data() ? t.view.data() : "", q.view, opt_arg(argc, args, 2), int_arg(argc, args, 3, 0)));
}

void svc_replace_text(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0), q(argc, args, 1), r(argc, args, 2);
  // The case switch is not optional; a caller that leaves it out gets the
  // exact comparison.
  bool case_sensitive = given(argc, args, 5) ? to_integer(args[5]) != 0 : true;
  put_text(result,
           detail::replace_in(t.view, q.view, r.view, opt_arg(argc, args, 3), opt_arg(argc, args, 4), case_sensitive));
}

void svc_trim_spaces(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0);
  put_text(result, detail::trim_of(t.view));
}

void svc_to_upper(int argc, const Cell* args, Cell* result) {
  TextArg t(argc, args, 0);
  put_text(result, detail::upper_of(t.view));
}

void svc_to_integer(int argc, const Cell* args, Cell* result) {
  put_int(result, argc >= 1 ? to_integer(args[0]) : 0);
}

void svc_to_text(int argc, const Cell* args, Cell* result) {
  put_text(result, argc >= 1 ? to_text(args[0]) : Text());
}

void svc_to_bytes(int argc, const Cell* args, Cell* result) {
  put_bytes(result, argc >= 1 ? to_bytes(args[0]) : Bytes());
}

void svc_bytes_length(int argc, const Cell* args, Cell* result) {
  BytesArg b(argc, args, 0);
  put_int(result, b.size);
}

void svc_bytes_left(int argc, const Cell* args, Cell* result) {
  BytesArg b(argc, args, 0);
  put_bytes(result, detail::bytes_left_of(b.data, b.size, int_arg(argc, args, 1, 0)));
}

void svc_replace_bytes(int argc, const Cell* args, Cell* result) {
  BytesArg b(argc, args, 0), q(argc, args, 1), r(argc, args, 2);
  put_bytes(result, detail::replace_bytes_in(b.data, b.size, q.data, q.size, r.data, r.size, opt_arg(argc, args, 3),
                                             opt_arg(argc, args, 4)));
}

void svc_bytes_read_value(int argc, const Cell* args, Cell* result) {
  BytesArg b(argc, args, 0);
  const Cell* position = given(argc, args, 2) ? &args[2] : nullptr;
  *result = detail::read_value(b.data, b.size, int_arg(argc, args, 1, 0), position);
}

void svc_blank_bytes(int argc, const Cell* args, Cell* result) {
  put_bytes(result, blank_bytes(int_arg(argc, args, 0, 0)));
}

}  // namespace cx

// The value model: texts, byte strings and value cells.
//
// Text         a GBK byte string closed by one zero byte; lengths and positions
//              count bytes, positions are 1-based. The empty text is no block
//              at all (null). A Text may also point at a literal in the program
//              image: releasing it then does nothing (heap_release knows).
// Byte string  one block: int32 dimension count (always 1), int32 length n,
//              then the n bytes, no closing zero. The empty byte string is no
//              block. Literals have the same layout.
// Value cell   three 32-bit words: value low, value high, type tag. Texts and
//              byte strings travel as a reference in the value. Tag 0 marks an
//              optional argument that was left out (all three words zero).
//
// Tag table (the tags whose low byte is 1 are the numeric kinds):
//   0x80000101 byte        unsigned 8 bit
//   0x80000201 short       signed 16 bit
//   0x80000301 integer     signed 32 bit
//   0x80000401 long        signed 64 bit
//   0x80000501 float       IEEE single
//   0x80000601 double      IEEE double
//   0x80000002 logical     32 bit, 0 false, anything else true
//   0x80000003 date-time   IEEE double, days since 1899-12-30
//   0x80000004 text        reference to a text
//   0x80000005 byte string reference to a byte-string block
//   0x80000006 subroutine  code address, as wide as an address (32 bits in
//                          a 32-bit build, both value words in a 64-bit one)
//   0          absent      optional argument left out
//   | 0x20000000           by reference: the value is the address of the
//                          caller's storage (an array block for numeric kinds,
//                          the caller's variable for a position argument)
//   < 0x40000000           window controls and object kinds
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "services/heap.h"

namespace cx {

enum Tag : uint32_t {
  TAG_ABSENT = 0,
  TAG_BYTE = 0x80000101,
  TAG_SHORT = 0x80000201,
  TAG_INT = 0x80000301,
  TAG_LONG = 0x80000401,
  TAG_FLOAT = 0x80000501,
  TAG_DOUBLE = 0x80000601,
  TAG_BOOL = 0x80000002,
  TAG_DATE = 0x80000003,
  TAG_TEXT = 0x80000004,
  TAG_BYTES = 0x80000005,
  TAG_SUB = 0x80000006,
  TAG_BYREF = 0x20000000,
  // Window controls (window id in the low word, control id in the high word).
  TAG_WINDOW = 0x10001,
  TAG_MENU = 0x10003,
  TAG_EDIT = 0x10005,
  TAG_BUTTON = 0x1000B,
  TAG_CHECKBOX = 0x1000C,
  TAG_COMMON_DIALOG = 0x1001F,
  TAG_LISTVIEW = 0x20004,
  TAG_LABEL = 0x20005,
  // Automation kinds, used by the automation object bridge.
  TAG_OBJECT = 0x10030,
  TAG_VARIANT = 0x10031,
};

inline bool tag_is_numeric(uint32_t tag) { return (tag & 0x800000FFu) == 0x80000001u && (tag & TAG_BYREF) == 0; }
inline bool tag_is_byref(uint32_t tag) { return (tag & TAG_BYREF) != 0 && tag >= 0x40000000u; }
inline uint32_t tag_base(uint32_t tag) { return tag >= 0x40000000u ? (tag & ~uint32_t(TAG_BYREF)) : tag; }

// ---------------------------------------------------------------------------
// What texts and byte strings share: each owns one heap block. A copy
// duplicates the block (a literal of the program image is shared, never
// copied), a move hands it over, and the last owner releases it.

template <class Value, class Block>
class HeapBlockValue {
 public:
  HeapBlockValue(const HeapBlockValue& o) : p_(o.p_ && !heap_is_constant(o.p_) ? Value::dup(o.p_) : o.p_) {}
  HeapBlockValue(HeapBlockValue&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  HeapBlockValue& operator=(const HeapBlockValue& o) {
    if (this != &o) { HeapBlockValue t(o); swap_block(t); }
    return *this;
  }
  HeapBlockValue& operator=(HeapBlockValue&& o) noexcept {
    if (this != &o) { heap_release(p_); p_ = o.p_; o.p_ = nullptr; }
    return *this;
  }
  void swap(Value& o) noexcept { swap_block(o); }
  // Hands the block to the caller (for result cells); the value becomes empty.
  Block* release() { Block* p = p_; p_ = nullptr; return p; }

 protected:
  HeapBlockValue() = default;
  ~HeapBlockValue() { heap_release(p_); }
  void swap_block(HeapBlockValue& o) noexcept { Block* t = p_; p_ = o.p_; o.p_ = t; }

  Block* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Text

class Text : public HeapBlockValue<Text, char> {
 public:
  Text() = default;

  // A text that refers to a literal of the program image (never released).
  static Text literal(const char* s) { Text t; t.p_ = (s && *s) ? const_cast<char*>(s) : nullptr; return t; }
  // A new heap copy of n bytes (n = 0 gives the empty text). Stops at no zero:
  // callers that need "up to the first zero" pass that length.
  static Text copy(const char* s, size_t n);
  static Text copy(std::string_view s) { return copy(s.data(), s.size()); }
  // Takes ownership of a heap block holding a zero-terminated text; an empty
  // block is released and the empty text returned.
  static Text adopt(char* block);

  const char* c_str() const { return p_ ? p_ : ""; }
  const char* block() const { return p_; }
  int32_t length() const { return p_ ? int32_t(std::strlen(p_)) : 0; }
  bool empty() const { return p_ == nullptr || *p_ == 0; }
  std::string_view view() const { return p_ ? std::string_view(p_) : std::string_view(); }

  bool operator==(const Text& o) const { return view() == o.view(); }
  bool operator==(const char* s) const { return view() == std::string_view(s ? s : ""); }

 private:
  friend class HeapBlockValue<Text, char>;
  static char* dup(const char* s);
};

Text operator+(const Text& a, const Text& b);
Text operator+(const Text& a, const char* b);
Text operator+(const char* a, const Text& b);

// ---------------------------------------------------------------------------
// Byte string

struct BytesBlock {
  int32_t dims;    // always 1
  int32_t length;  // n
  uint8_t data[1]; // n bytes follow
};

class Bytes : public HeapBlockValue<Bytes, BytesBlock> {
 public:
  Bytes() = default;

  static Bytes copy(const void* data, size_t n);
  static Bytes zeros(size_t n);
  // Refers to a block in the stored layout that lives in the program image.
  static Bytes literal(const BytesBlock* block) { Bytes b; b.p_ = const_cast<BytesBlock*>(block); return b; }
  static Bytes adopt(BytesBlock* block) { Bytes b; b.p_ = block; return b; }

  const uint8_t* data() const { return p_ ? p_->data : nullptr; }
  uint8_t* mutable_data() { return p_ ? p_->data : nullptr; }
  int32_t size() const { return p_ ? p_->length : 0; }
  bool empty() const { return size() <= 0; }
  const BytesBlock* block() const { return p_; }
  std::string_view view() const { return p_ ? std::string_view(reinterpret_cast<const char*>(p_->data), size_t(p_->length)) : std::string_view(); }
  bool operator==(const Bytes& o) const { return view() == o.view(); }

 private:
  friend class HeapBlockValue<Bytes, BytesBlock>;
  static BytesBlock* dup(const BytesBlock* b);
};

// The constant empty byte string and empty text callers pass for "no block".
extern const BytesBlock kEmptyBytesBlock;

// ---------------------------------------------------------------------------
// Value cell

#pragma pack(push, 4)
struct Cell {
  union {
    struct { uint32_t lo, hi; } w;
    int64_t i64;
    double f64;
    float f32;
    void* ptr;
  } v;
  uint32_t tag;
};
#pragma pack(pop)
// Three words on every architecture: a 64-bit reference fills both value words.
static_assert(sizeof(Cell) == 12, "a value cell is three 32-bit words");
static_assert(sizeof(void*) <= 2 * sizeof(uint32_t), "a reference fits the two value words");

inline Cell cell_absent() { Cell c{}; return c; }
inline Cell cell_int(int32_t v) { Cell c{}; c.v.w.lo = uint32_t(v); c.tag = TAG_INT; return c; }
inline Cell cell_byte(uint8_t v) { Cell c{}; c.v.w.lo = v; c.tag = TAG_BYTE; return c; }
inline Cell cell_short(int16_t v) { Cell c{}; c.v.w.lo = uint32_t(int32_t(v)); c.tag = TAG_SHORT; return c; }
inline Cell cell_long(int64_t v) { Cell c{}; c.v.i64 = v; c.tag = TAG_LONG; return c; }
inline Cell cell_float(float v) { Cell c{}; c.v.f32 = v; c.tag = TAG_FLOAT; return c; }
inline Cell cell_double(double v) { Cell c{}; c.v.f64 = v; c.tag = TAG_DOUBLE; return c; }
inline Cell cell_bool(bool v) { Cell c{}; c.v.w.lo = v ? 1u : 0u; c.tag = TAG_BOOL; return c; }
inline Cell cell_date(double days) { Cell c{}; c.v.f64 = days; c.tag = TAG_DATE; return c; }
inline Cell cell_sub(uintptr_t address) { Cell c{}; c.v.i64 = int64_t(uint64_t(address)); c.tag = TAG_SUB; return c; }
// The bytes of a subroutine value: those of a code address.
constexpr int32_t kSubroutineBytes = int32_t(sizeof(void (*)()));
// Borrowed references: the cell does not own what it points at.
inline Cell cell_text(const Text& t) { Cell c{}; c.v.ptr = const_cast<char*>(t.c_str()); c.tag = TAG_TEXT; return c; }
inline Cell cell_text(const char* s) { Cell c{}; c.v.ptr = const_cast<char*>(s ? s : ""); c.tag = TAG_TEXT; return c; }
inline Cell cell_bytes(const Bytes& b) {
  Cell c{}; c.v.ptr = const_cast<BytesBlock*>(b.block() ? b.block() : &kEmptyBytesBlock); c.tag = TAG_BYTES; return c;
}
// A by-reference cell: the value is the address of the caller's storage.
inline Cell cell_ref(uint32_t base_tag, void* storage) { Cell c{}; c.v.ptr = storage; c.tag = base_tag | TAG_BYREF; return c; }

inline bool cell_is_absent(const Cell& c) { return c.tag == TAG_ABSENT; }
inline int32_t cell_as_int(const Cell& c) { return int32_t(c.v.w.lo); }
inline bool cell_as_bool(const Cell& c) { return c.v.w.lo != 0; }
inline const char* cell_as_text(const Cell& c) { return c.v.ptr ? static_cast<const char*>(c.v.ptr) : ""; }
inline const BytesBlock* cell_as_bytes(const Cell& c) { return c.v.ptr ? static_cast<const BytesBlock*>(c.v.ptr) : &kEmptyBytesBlock; }

// A service in the uniform calling form: argument count, argument cells, and
// one result cell that the caller has zeroed. Results of text and byte-string
// kind are new heap blocks owned by the caller (see cell_release).
using Service = void (*)(int argc, const Cell* args, Cell* result);

// Releases the block a result cell owns (texts, byte strings) and zeroes it.
void cell_release(Cell* c);
// Takes the text / byte string out of a result cell (the cell is emptied).
Text cell_take_text(Cell* c);
Bytes cell_take_bytes(Cell* c);

}  // namespace cx

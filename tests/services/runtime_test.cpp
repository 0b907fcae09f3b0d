// Runtime services that behave the same in both builds: the heap and its
// literals, the value handles, the message box rules (observed through the
// box hook), file writing, delay, the program directory and the tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "services/codepage.h"
#include "services/runtime.h"
#include "services/text.h"
#include "tests/services/platform_util.h"
#include "tests/support/gbk_text.h"

using namespace cx;

namespace {

std::string S(const Text& t) { return std::string(t.view()); }

struct BoxRecord {
  std::string text, caption;
  uint32_t style = 0;
  void* owner = nullptr;
  int calls = 0;
};
BoxRecord g_box;
int32_t g_box_answer = 1;

int32_t record_box(const char* text, const char* caption, uint32_t style, void* owner) {
  g_box.text = text;
  g_box.caption = caption;
  g_box.style = style;
  g_box.owner = owner;
  ++g_box.calls;
  return g_box_answer;
}

void* fake_window_handle(uint32_t tag, uint32_t window_id, uint32_t control_id) {
  if (tag == TAG_WINDOW && window_id == 0x52010001u && control_id == 0) return reinterpret_cast<void*>(uintptr_t(0x1234));
  return nullptr;
}

class BoxHook : public testing::Test {
 protected:
  void SetUp() override {
    g_box = BoxRecord();
    g_box_answer = 1;
    runtime_hooks().message_box = record_box;
    runtime_hooks().window_handle = fake_window_handle;
  }
  void TearDown() override {
    runtime_hooks().message_box = nullptr;
    runtime_hooks().window_handle = nullptr;
  }
};

const char kLiteral[] = "a literal of the image";

}  // namespace

// ---------------------------------------------------------------------------

TEST(RuntimeHeap, LiteralsAreNeverReleasedOrResizedInPlace) {
  EXPECT_TRUE(heap_is_constant(kLiteral));
  EXPECT_TRUE(heap_is_constant("another literal"));
  heap_release(kLiteral);  // must do nothing (a real release would corrupt the heap)
  heap_release(nullptr);
  EXPECT_STREQ(kLiteral, "a literal of the image");

  auto* grown = static_cast<char*>(heap_reallocate(const_cast<char*>(kLiteral), sizeof kLiteral + 10));
  EXPECT_NE(grown, kLiteral);
  EXPECT_FALSE(heap_is_constant(grown));
  EXPECT_EQ(std::memcmp(grown, kLiteral, sizeof kLiteral), 0);
  grown[0] = 'A';
  EXPECT_EQ(kLiteral[0], 'a');
  heap_release(grown);

  auto* shrunk = static_cast<char*>(heap_reallocate(const_cast<char*>(kLiteral), 3));
  EXPECT_EQ(std::string(shrunk, 3), "a l");
  heap_release(shrunk);
}

TEST(RuntimeHeap, HeapBlocksKeepTheirContentWhenResized) {
  auto* p = static_cast<char*>(heap_allocate(8));
  EXPECT_FALSE(heap_is_constant(p));
  std::memcpy(p, "12345678", 8);
  p = static_cast<char*>(heap_reallocate(p, 1 << 20));
  EXPECT_EQ(std::string(p, 8), "12345678");
  p = static_cast<char*>(heap_reallocate(p, 4));
  EXPECT_EQ(std::string(p, 4), "1234");
  heap_release(p);
  auto* fresh = static_cast<char*>(heap_reallocate(nullptr, 5));
  ASSERT_NE(fresh, nullptr);
  heap_release(fresh);
  int on_stack = 0;
  EXPECT_FALSE(heap_is_constant(&on_stack));
}

TEST(ValueHandles, CopiesOwnTheirBlocksAndLiteralsAreShared) {
  Text lit = Text::literal("字面");
  EXPECT_TRUE(heap_is_constant(lit.block()));
  Text lit_copy = lit;
  EXPECT_EQ(lit_copy.block(), lit.block()) << "a literal is shared, not copied";
  Text heap = Text::copy("abc");
  Text heap_copy = heap;
  EXPECT_NE(heap_copy.block(), heap.block());
  EXPECT_EQ(heap_copy, heap);
  heap = Text();
  EXPECT_EQ(S(heap_copy), "abc");
  EXPECT_EQ(S(Text::copy("ab") + "cd"), "abcd");
  EXPECT_EQ(S("x" + Text::copy("y")), "xy");
  EXPECT_TRUE((Text() + "").block() == nullptr);
  char* empty = static_cast<char*>(heap_allocate(1));
  empty[0] = 0;
  EXPECT_TRUE(Text::adopt(empty).block() == nullptr) << "an empty block becomes the empty text";
  EXPECT_TRUE(Text::literal("").block() == nullptr);

  Bytes b = Bytes::copy("xyz", 3);
  Bytes b2 = b;
  EXPECT_NE(b2.block(), b.block());
  EXPECT_EQ(b2, b);
  Bytes lit_bytes = Bytes::literal(&kEmptyBytesBlock);
  EXPECT_EQ(lit_bytes.size(), 0);
  EXPECT_TRUE(heap_is_constant(&kEmptyBytesBlock));
}

TEST(ValueHandles, ResultCellsHandOverTheirBlocks) {
  Cell c = cell_text("");
  c.v.ptr = Text::copy("owned").release();
  Text t = cell_take_text(&c);
  EXPECT_EQ(S(t), "owned");
  EXPECT_EQ(c.tag, 0u);
  Cell lit{};
  lit.tag = TAG_TEXT;
  lit.v.ptr = const_cast<char*>(kLiteral);
  Text from_literal = cell_take_text(&lit);
  EXPECT_EQ(from_literal.block(), kLiteral);
  Cell bc{};
  bc.tag = TAG_BYTES;
  bc.v.ptr = Bytes::copy("ab", 2).release();
  Bytes b = cell_take_bytes(&bc);
  EXPECT_EQ(b.view(), "ab");
  Cell other = cell_int(3);
  EXPECT_TRUE(cell_take_text(&other).block() == nullptr);
  Cell rel{};
  rel.tag = TAG_BYTES;
  rel.v.ptr = Bytes::copy("q", 1).release();
  cell_release(&rel);
  EXPECT_EQ(rel.v.ptr, nullptr);
}

// ---------------------------------------------------------------------------

TEST(RuntimeTables, ErrorTextsByIndex) {
  // Each error the program can raise by number, with the text its report shows.
  const std::pair<RuntimeErrorIndex, const char*> named[] = {
      {RTE_INDEX_TOO_LARGE, "数组成员引用下标超出定义范围"},
      {RTE_NOT_NUMERIC, "未得到所需要的数值型数据"},
      {RTE_DIMENSIONS, "引用数组成员时维数不为1且不等于该数组目前所具有的维数"},
      {RTE_INDEX_BELOW_ONE, "数组成员引用下标必须大于等于1"},
      {RTE_TYPE_MISMATCH, "数据或数组类型不匹配"},
      {RTE_DLL_STACK, "调用DLL命令后发现堆栈错误"},
      {RTE_SUB_NO_RESULT, "子语句参数未返回数据或者返回了非系统基本类型或数组型数据"},
      {RTE_COMPARE_EQUAL_ONLY, "被比较数据只能使用等于或不等于命令比较"},
      {RTE_CHOICE_INDEX, "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围"},
      {RTE_REDIM, "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零"},
      {RTE_ARGUMENT_KIND, "所提供参数的数据类型不符合要求"},
  };
  for (const auto& [index, text] : named) EXPECT_STREQ(runtime_error_text(index), text) << index;
  // No text for numbers that name no error.
  for (int none : {0, 12, -1}) EXPECT_STREQ(runtime_error_text(none), "") << none;
}

TEST(RuntimeTables, DeclaredFunctionEntries) {
  const DeclaredEntry* t = declared_function_table();
  struct { const char* lib; const char* fn; } want[] = {
      {"ole32.dll", "CoInitialize"},          {"kernel32.dll", "WideCharToMultiByte"},
      {"kernel32.dll", "WideCharToMultiByte"}, {"ole32.dll", "CoUninitialize"},
      {"Updata.dll", gbktext::kUpdateWindowExport},
  };
  for (int i = 0; i < DECL_COUNT; ++i) {
    EXPECT_STREQ(t[i].library, want[i].lib) << i;
    EXPECT_STREQ(t[i].function, want[i].fn) << i;
  }
}

TEST(DeclaredFunctions, WideToMultiByteEntriesConvertToGbk) {
  const char16_t w[] = u"中a文";
  int size = int(call_declared(DECL_WIDE_TO_MULTI_SIZE, 936, 0x200, w, 3, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(size, 5);
  char out[16];
  std::memset(out, 'x', sizeof out);
  int n = int(call_declared(DECL_WIDE_TO_MULTI, 936, 0x200, w, -1, out, int(sizeof out), nullptr, nullptr));
  EXPECT_EQ(n, 6) << "-1 converts the closing zero too";
  EXPECT_STREQ(out, "中a文");
}

TEST(DeclaredFunctions, HookAnswersInsteadOfThePlatform) {
  static int seen_index = -1, seen_argc = -1;
  static uintptr_t seen_first = 0;
  runtime_hooks().declared_function = [](int32_t index, int argc, const DeclArg* args, uintptr_t* result) {
    seen_index = index;
    seen_argc = argc;
    seen_first = args[0];
    *result = 77;
    return index == DECL_UPDATE_WINDOW;
  };
  Text url = Text::copy("http://x/y.exe");
  EXPECT_EQ(call_declared(DECL_UPDATE_WINDOW, url, Text::copy("C:\\p.exe")), 77u);
  runtime_hooks().declared_function = nullptr;
  EXPECT_EQ(seen_index, DECL_UPDATE_WINDOW);
  EXPECT_EQ(seen_argc, 2);
  EXPECT_EQ(seen_first, reinterpret_cast<uintptr_t>(url.c_str()));
}

// ---------------------------------------------------------------------------

TEST_F(BoxHook, StyleAddsTaskModalUnlessSystemModal) {
  struct Case { int32_t buttons; uint32_t style; } cases[] = {
      {0, 0x2000}, {4, 0x2004}, {0x1000, 0x1000}, {0x1024, 0x1024}, {0x2001, 0x2001}, {0x40, 0x2040},
  };
  for (const auto& c : cases) {
    message_box(Text::copy("x"), c.buttons);
    EXPECT_EQ(g_box.style, c.style) << std::hex << c.buttons;
    EXPECT_EQ(message_box_style(c.buttons), c.style);
  }
}

TEST_F(BoxHook, ButtonPressedMapsToTheResult) {
  struct Case { int32_t id, result; } cases[] = {
      {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {10, 0}, {11, 0}, {0, 0},
  };
  for (const auto& c : cases) {
    g_box_answer = c.id;
    EXPECT_EQ(message_box(Text::copy("q"), 3), c.result) << c.id;
  }
}

TEST_F(BoxHook, ContentCaptionAndOwner) {
  Bytes bytes = Bytes::copy("ab", 2);
  struct Case { Cell content; const char* shown; } cases[] = {
      {cell_text("导出成功"), "导出成功"}, {cell_bool(true), "真"},   {cell_bool(false), "假"},
      {cell_int(-42), "-42"},            {cell_double(2.5), "2.5"}, {cell_date(2.0), "1900年1月1日"},
      {cell_bytes(bytes), ""},           {cell_sub(0x401000), ""},
  };
  for (const auto& c : cases) {
    Cell args[2] = {c.content, cell_int(0)};
    message_box(args, 2);
    EXPECT_EQ(g_box.text, c.shown) << std::hex << c.content.tag;
    EXPECT_EQ(g_box.caption, "信息：");
    EXPECT_EQ(g_box.owner, nullptr);
  }
  Cell three[3] = {cell_text("t"), cell_int(0), cell_text("标题")};
  message_box(three, 3);
  EXPECT_EQ(g_box.caption, "标题");
  Cell absent_caption[3] = {cell_text("t"), cell_int(0), cell_absent()};
  message_box(absent_caption, 3);
  EXPECT_EQ(g_box.caption, "信息：");
  Cell empty_caption[3] = {cell_text("t"), cell_int(0), cell_text("")};
  message_box(empty_caption, 3);
  EXPECT_EQ(g_box.caption, "");

  Cell handle[4] = {cell_text("t"), cell_int(0), cell_absent(), cell_int(0x5678)};
  message_box(handle, 4);
  EXPECT_EQ(g_box.owner, reinterpret_cast<void*>(uintptr_t(0x5678)));
  handle[3] = cell_int(int32_t(0x80012345u));  // a 32-bit handle with the top bit set widens with its sign
  message_box(handle, 4);
  EXPECT_EQ(g_box.owner, reinterpret_cast<void*>(intptr_t(int32_t(0x80012345u))));
  Cell window[4] = {cell_text("t"), cell_int(0), cell_absent(), cell_absent()};
  window[3].tag = TAG_WINDOW;
  window[3].v.w.lo = 0x52010001u;
  message_box(window, 4);
  EXPECT_EQ(g_box.owner, reinterpret_cast<void*>(uintptr_t(0x1234)));
  Cell no_owner[4] = {cell_text("t"), cell_int(0), cell_absent(), cell_absent()};
  message_box(no_owner, 4);
  EXPECT_EQ(g_box.owner, nullptr);
}

TEST_F(BoxHook, CellFormReturnsAnInteger) {
  g_box_answer = 7;
  Cell args[2] = {cell_text("是否继续"), cell_int(4)};
  Cell r{};
  svc_message_box(2, args, &r);
  EXPECT_EQ(r.tag, uint32_t(TAG_INT));
  EXPECT_EQ(cell_as_int(r), 6);
  EXPECT_EQ(g_box.style, 0x2004u);
}

// ---------------------------------------------------------------------------

TEST(WriteFile, CreatesReplacesAndSkipsEmptyParts) {
  std::string path = test_temp_path("cx_write_test.bin");
  std::remove(path.c_str());
  Text name = Text::copy(path);
  Bytes parts[3] = {Bytes::copy("hello ", 6), Bytes(), Bytes::copy("world", 5)};
  EXPECT_TRUE(write_file(name, parts, 3));
  EXPECT_EQ(read_whole_file(path), "hello world");
  EXPECT_TRUE(write_file(name, Bytes::copy("x", 1)));
  EXPECT_EQ(read_whole_file(path), "x") << "an existing file is replaced as a whole";
  Bytes empties[2];
  EXPECT_TRUE(write_file(name, empties, 2));
  EXPECT_TRUE(file_exists(path));
  EXPECT_EQ(read_whole_file(path), "");
  std::remove(path.c_str());
}

TEST(WriteFile, FailuresGiveFalse) {
  EXPECT_FALSE(write_file(Text(), Bytes::copy("x", 1)));
  std::string missing_dir = test_temp_path("cx_no_such_dir") + PATH_SEP + "f.txt";
  EXPECT_FALSE(write_file(Text::copy(missing_dir), Bytes::copy("x", 1)));
  EXPECT_FALSE(file_exists(missing_dir));
}

TEST(WriteFile, CellForm) {
  std::string path = test_temp_path("cx_write_cells.txt");
  Bytes crlf = Bytes::copy("\r\n", 2);
  Cell args[4] = {cell_text(path.c_str()), cell_text("line"), cell_absent(), cell_bytes(crlf)};
  Cell r{};
  svc_write_file(4, args, &r);
  EXPECT_EQ(r.tag, uint32_t(TAG_BOOL));
  EXPECT_TRUE(cell_as_bool(r));
  EXPECT_EQ(read_whole_file(path), "line\r\n");
  Cell none[2] = {cell_text(""), cell_text("x")};
  svc_write_file(2, none, &r);
  EXPECT_FALSE(cell_as_bool(r));
  std::remove(path.c_str());
}

// ---------------------------------------------------------------------------

TEST(Delay, NegativeCountsAsZero) {
  EXPECT_TRUE(finishes_within([] { delay(-5); }, 5000));
  EXPECT_TRUE(finishes_within([] { delay(INT32_MIN); }, 5000));
  EXPECT_TRUE(finishes_within([] { delay(0); }, 5000));
}

TEST(Delay, HooksReplaceTheWaitAndThePump) {
  static int32_t seen = 1;
  static int pumped = 0;
  runtime_hooks().delay = [](int32_t ms) { seen = ms; };
  runtime_hooks().process_events = [] { ++pumped; };
  delay(2000);
  process_events();
  Cell two_s[1] = {cell_int(1500)};
  svc_delay(1, two_s, nullptr);
  runtime_hooks().delay = nullptr;
  runtime_hooks().process_events = nullptr;
  EXPECT_EQ(seen, 1500);
  EXPECT_EQ(pumped, 1);
}

// ---------------------------------------------------------------------------

TEST(ProgramDirectory, PartOfTheModulePathBeforeTheLastSeparator) {
  struct Case { const char* path; const char* dir; } cases[] = {
      {"C:\\Program Files\\Clipdex\\Clipdex.exe", "C:\\Program Files\\Clipdex"},
      {"C:\\Clipdex.exe", "C:"},
      {"Clipdex.exe", ""},
      // 95 5C is one character whose trail byte is a backslash.
      {"C:\\dir\\\x95\\x.exe", "C:\\dir"},
      {"C:\\中文\\a.exe", "C:\\中文"},
      // 0x80 (the euro sign) and 0xFF are single bytes: the separator behind
      // them counts; 0x81 and 0xFE still lead a pair.
      {"C:\\\x80\\Clipdex.exe", "C:\\\x80"},
      {"C:\\a\x80\\b\x80\\x.exe", "C:\\a\x80\\b\x80"},
      {"C:\\\xFF\\x.exe", "C:\\\xFF"},
      {"C:\\d\\\x81\\x.exe", "C:\\d"},
      {"C:\\d\\\xFE\\x.exe", "C:\\d"},
      {"/usr/bin/prog", "/usr/bin"},
  };
  for (const auto& c : cases) EXPECT_EQ(S(directory_of_module_path(c.path)), c.dir) << c.path;
}

TEST(ProgramDirectory, IsTheDirectoryOfThisProgram) {
  std::string exe = own_program_path();
  Text dir = program_directory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(exe.substr(0, size_t(dir.length())), S(dir));
  char sep = exe[size_t(dir.length())];
  EXPECT_TRUE(sep == '\\' || sep == '/');
  EXPECT_EQ(exe.find_first_of("\\/", size_t(dir.length()) + 1), std::string::npos);
  Cell r{};
  svc_program_directory(0, nullptr, &r);
  EXPECT_EQ(std::string(cell_as_text(r)), S(dir));
  cell_release(&r);
}

// ---------------------------------------------------------------------------

namespace {
struct LiteralArray {
  int32_t dims, d1, d2;
  int32_t e[6];
};
const LiteralArray kArray = {2, 2, 3, {1, 2, 3, 4, 5, 6}};
}  // namespace

TEST(ArrayMakeWritable, CopiesLiteralBlocksOnly) {
  void* var = const_cast<LiteralArray*>(&kArray);
  array_make_writable(4, &var);
  ASSERT_NE(var, &kArray);
  EXPECT_FALSE(heap_is_constant(var));
  EXPECT_EQ(std::memcmp(var, &kArray, sizeof kArray), 0);
  static_cast<LiteralArray*>(var)->e[0] = 99;
  EXPECT_EQ(kArray.e[0], 1);
  void* before = var;
  array_make_writable(4, &var);
  EXPECT_EQ(var, before) << "a heap block is already writable";
  heap_release(var);
  void* none = nullptr;
  array_make_writable(4, &none);
  EXPECT_EQ(none, nullptr);
}

// The run-time error report in the native build: the box text (seen through
// the box hook, printed as hex so it can be matched exactly) and the end of
// the process with exit code -1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "services/runtime.h"
#include "services/text.h"
#include "tests/support/gbk_text.h"

using namespace cx;

namespace {

using gbktext::hex;

int32_t print_box(const char* text, const char* caption, uint32_t style, void* owner) {
  std::fprintf(stderr, "BOX[%s|%s|%X|%d]\n", hex(text).c_str(), hex(caption).c_str(), style, owner != nullptr);
  return 1;
}

// What the box must show for a run-time error report.
// Error icon, task-modal: the program takes no input behind the report.
std::string expected_box(const std::string& message, uint32_t style = 0x2010) {
  char tail[32];
  std::snprintf(tail, sizeof tail, "\\|%X\\|0\\]", style);
  return "BOX\\[" + hex(message) + "\\|" + hex("错误") + tail;
}

void call_missing_standard_export() {
  DeclaredEntry e = {"", "NoSuchExport", nullptr, nullptr};
  call_declared_entry(&e, 0, nullptr);
}

void box_with_dead_window() {
  Cell args[4] = {cell_text("t"), cell_int(0), cell_absent(), cell_absent()};
  args[3].tag = TAG_WINDOW;
  args[3].v.w.lo = 0x52010001u;
  message_box(args, 4);
}

class RuntimeErrorExit : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

TEST_F(RuntimeErrorExit, MessageLayoutWithCodeAndText) {
  struct Case { const char* text; int32_t code; std::string message; } cases[] = {
      {"出错了", 7, "运行时出错!\r\n\r\n错误代码：7\r\n\r\n错误信息：出错了\r\n"},
      {"出错了", 0, "运行时出错!\r\n\r\n错误信息：出错了\r\n"},
      {"", -3, "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n"},
      {"", 0, "运行时出错!\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          runtime_hooks().message_box = print_box;
          runtime_error(c.text, c.code);
        },
        testing::ExitedWithCode(255), expected_box(c.message))
        << c.text << " " << c.code;
  }
}

TEST_F(RuntimeErrorExit, ByIndexUsesTheTableTextAndTheIndexAsCode) {
  EXPECT_EXIT(
      {
        runtime_hooks().message_box = print_box;
        runtime_error_by_index(RTE_DLL_STACK);
      },
      testing::ExitedWithCode(255),
      expected_box("运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n"));
}

TEST_F(RuntimeErrorExit, WithoutHookTheReportGoesToStandardError) {
  EXPECT_EXIT(runtime_error("x1y2", 3), testing::ExitedWithCode(255), "x1y2");
}

TEST_F(RuntimeErrorExit, ReadingAKindOutsideOneToTen) {
  for (int kind : {0, 11, -1}) {
    EXPECT_EXIT(
        {
          runtime_hooks().message_box = print_box;
          bytes_read_value(Bytes::copy("abc", 3), kind);
        },
        testing::ExitedWithCode(255), expected_box("运行时出错!\r\n\r\n错误信息：“欲取出数据的类型”参数值无效\r\n"))
        << kind;
  }
}

TEST_F(RuntimeErrorExit, MissingDeclaredFunctions) {
  EXPECT_EXIT(
      {
        runtime_hooks().message_box = print_box;
        call_declared(DECL_UPDATE_WINDOW, Text::copy("a"), Text::copy("b"));
      },
      testing::ExitedWithCode(255),
      expected_box("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“Updata.dll”中的输出命令“更新窗口”\r\n"));
  EXPECT_EXIT(
      {
        runtime_hooks().message_box = print_box;
        call_missing_standard_export();
      },
      testing::ExitedWithCode(255),
      expected_box("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExport”\r\n"));
}

TEST_F(RuntimeErrorExit, WindowReferenceThatNamesNothingLive) {
  EXPECT_EXIT(
      {
        runtime_hooks().message_box = print_box;
        box_with_dead_window();
      },
      testing::ExitedWithCode(255),
      expected_box("运行时出错!\r\n\r\n错误信息：指定窗口或窗口组件不存在或尚未载入\r\n"));
}

// The address sanitizer's allocator refuses such a request itself (g++ and
// clang announce that sanitizer differently).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CX_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(CX_UNDER_ASAN)
#define CX_UNDER_ASAN 1
#endif
TEST_F(RuntimeErrorExit, HeapThatCannotSupplyABlock) {
#if defined(CX_UNDER_ASAN)
  GTEST_SKIP() << "under the address sanitizer its allocator answers such a request before the runtime's heap does";
#else
  // Far beyond any address space; the size shown is the requested size as %d.
  const size_t huge = size_t(0x7FFFFFF0) + (size_t(1) << 50);
  EXPECT_EXIT(
      {
        runtime_hooks().message_box = print_box;
        heap_allocate(huge);
      },
      testing::ExitedWithCode(255), expected_box("运行时出错!\r\n\r\n错误信息：分配 2147483632 字节内存失败!\r\n"));
#endif
}

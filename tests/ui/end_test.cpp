// How the program ends: end_program in its order, closing the window, a call
// from another thread, and each run-time error of the window layer (which
// shows its text and ends with -1). Each case runs in a process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/gbk_text.h"
#include "tests/ui/ui_support.h"

namespace {

uitest::RunResult probe(const std::string& mode) {
  std::string command = uitest::directory_of_module();
  command.insert(0, 1, '"');
  command.append("\\cx_ui_end_probe.exe\" ").append(mode);
  return uitest::run_program(command, 30000);
}

// The ends that print a known sequence: the probe's output and exit code.
struct OrderlyEnd {
  const char* mode;
  DWORD exit_code;
  const char* output;
  const char* why;
};

class ProgramEnd : public ::testing::TestWithParam<OrderlyEnd> {};

TEST_P(ProgramEnd, PrintsItsRoutinesInOrderAndEndsWithItsCode) {
  const OrderlyEnd& e = GetParam();
  uitest::RunResult r = probe(e.mode);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, e.exit_code);
  EXPECT_EQ(r.output, e.output) << e.why;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ProgramEnd,
    ::testing::Values(
        // End routines in order, then the service releases; closing the
        // window raised no further event.
        OrderlyEnd{"end", 7, "first\nsecond\nrelease\n", "closing the window raised no further event"},
        // Closing the window ends from its destroyed handler.
        OrderlyEnd{"close", 0, "destroyed\nfirst\n", "the destroyed handler ends the program"},
        // The URL reader's root handle is closed by the end.
        OrderlyEnd{"program-end", 0, "root opened\nroot closed\n", "the reader's root handle is closed"}),
    [](const ::testing::TestParamInfo<OrderlyEnd>& info) {
      std::string name = info.param.mode;
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

TEST(ProgramEndFromAnotherThread, EndsTheProcessAtOnceWithItsCode) {
  uitest::RunResult r = probe("other-thread");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 5u);
  EXPECT_EQ(r.output.find("still running"), std::string::npos);
}

TEST(RuntimeErrors, EachFailureOfTheWindowLayerShowsItsTextAndEndsWithMinusOne) {
  struct Case {
    const char* mode;
    const char* text;
  } cases[] = {
      {"load-missing", "载入启动窗口失败"},
      {"event-no-window", "未找到引发事件的窗口"},
      {"event-no-item", "未找到引发事件的窗口组件"},
      {"event-invalid", "引发事件的窗口组件无效"},
      {"property-no-window", "未载入欲访问窗口组件所在的窗口"},
      {"property-missing-item", "指定窗口或窗口组件不存在或尚未载入"},
      {"property-not-loaded", "未载入欲访问窗口组件所在的窗口"},
      {"property-common-not-loaded", "未载入欲访问窗口组件所在的窗口"},
      {"property-write-not-loaded", "未载入欲访问窗口组件所在的窗口"},
      {"property-window-not-loaded", "未载入欲访问窗口组件所在的窗口"},
      {"property-after-destroy", "未载入欲访问窗口组件所在的窗口"},
      {"property-hidden-menu-entry", "指定窗口尚未载入"},
      {"list-not-loaded", "指定窗口或窗口组件不存在或尚未载入"},
      {"dialog-not-loaded", "指定窗口或窗口组件不存在或尚未载入"},
      {"list-wrong-kind", "指定窗口或窗口组件不存在或尚未载入"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    uitest::RunResult r = probe(c.mode);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, 0xFFFFFFFFu);
    EXPECT_EQ(r.output.find("still running"), std::string::npos);
    std::string box = std::string("box:") + gbktext::kErrorReportHead;
    EXPECT_EQ(r.output.rfind(box, 0), 0u) << r.output;
    // The whole error text, and no longer one that merely starts the same.
    std::string line = std::string(c.text) + "\r\n\n";
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
  }
}

}  // namespace

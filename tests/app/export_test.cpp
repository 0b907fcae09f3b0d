// Export of the link column through the (stand-in) save dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/export.h"
#include "tests/app/fake_window.h"
#include "ui/main_window.h"

namespace cx {
namespace {

using fake::world;

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    char tmpl[] = "/tmp/cx-export-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  void choose(const std::string& name) {
    world().dialog_file_name = name;
    world().dialog_answer = [] { return true; };
  }
  std::string read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
  std::string last_box() {
    for (auto it = world().journal.rbegin(); it != world().journal.rend(); ++it)
      if (it->rfind("box ", 0) == 0) return it->substr(4);
    return "";
  }
  std::string dir_;
};

TEST_F(Export, WritesTheLinkColumnInListOrderWithCrLfAfterEveryLine) {
  world().rows = {{"0", "a", "https://www.clipdex.com/watch?v=1"},
                  {"1", "中文", "https://www.clipdex.com/watch?v=2"},
                  {"2", "c", "https://www.clipdex.com/watch?v=3"}};
  choose(dir_ + "/links");
  export_list();
  EXPECT_EQ(read(dir_ + "/links.txt"),
            "https://www.clipdex.com/watch?v=1\r\nhttps://www.clipdex.com/watch?v=2\r\nhttps://www.clipdex.com/watch?v=3\r\n");
  EXPECT_EQ(last_box(), "导出成功 | 信息：");
  const auto& dialog = world().at(通用对话框1);
  EXPECT_EQ(dialog.dialog_kind, 1);
  EXPECT_EQ(dialog.dialog_filter, "文本文档/txt");
}

TEST_F(Export, EmptyListGivesAnEmptyFileAndSuccess) {
  choose(dir_ + "/empty");
  export_list();
  ASSERT_TRUE(exists(dir_ + "/empty.txt"));
  EXPECT_EQ(read(dir_ + "/empty.txt"), "");
  EXPECT_EQ(last_box(), "导出成功 | 信息：");
}

TEST_F(Export, TxtIsAppendedEvenWhenTheNameHasIt) {
  world().rows = {{"0", "a", "L"}};
  choose(dir_ + "/links.txt");
  export_list();
  EXPECT_TRUE(exists(dir_ + "/links.txt.txt"));
  EXPECT_FALSE(exists(dir_ + "/links.txt"));
}

TEST_F(Export, CancelWritesNothingAndSaysSo) {
  world().rows = {{"0", "a", "L"}};
  world().dialog_file_name = dir_ + "/kept";
  world().dialog_answer = [] { return false; };
  export_list();
  EXPECT_FALSE(exists(dir_ + "/kept.txt"));
  EXPECT_EQ(last_box(), "账号导出失败 | 信息：");
}

TEST_F(Export, UnwritablePlaceReportsFailure) {
  choose(dir_ + "/no/such/folder/x");
  export_list();
  EXPECT_EQ(last_box(), "导出失败 | 信息：");
}

}  // namespace
}  // namespace cx

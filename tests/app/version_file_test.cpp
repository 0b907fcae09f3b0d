// What the maker's version file announces, and which announcements count as
// another version. Texts are GBK, as the program sees them.
#include <gtest/gtest.h>

#include <string>

#include "app/version_file.h"

namespace {

struct FileCase {
  const char* name;
  const char* file;
  bool announces;
  const char* newest;
  const char* download;
};

class VersionFileFields : public ::testing::TestWithParam<FileCase> {};

TEST_P(VersionFileFields, AreCutBetweenTheFirstMarkerAndTheFirstBracketBehindIt) {
  const FileCase& c = GetParam();
  cx::VersionFile f = cx::read_version_file(cx::Text::copy(c.file));
  EXPECT_EQ(f.announces_version, c.announces);
  EXPECT_EQ(std::string(f.newest.view()), c.newest);
  EXPECT_EQ(std::string(f.download.view()), c.download);
}

INSTANTIATE_TEST_SUITE_P(
    Files, VersionFileFields,
    ::testing::Values(
        FileCase{"two_lines", "new=[V1.1]\r\ndownload=[http://www.clipdexsoft.com/a.exe]\r\n", true, "V1.1",
                 "http://www.clipdexsoft.com/a.exe"},
        FileCase{"one_line", "new=[V1.1]download=[x]", true, "V1.1", "x"},
        FileCase{"download_first", "download=[x]\nnew=[V1.2]\n", true, "V1.2", "x"},
        FileCase{"blanks_are_kept", "new=[ V1.0 ]", true, " V1.0 ", ""},
        FileCase{"first_new_counts", "new=[V1.1]\nnew=[V1.2]\n", true, "V1.1", ""},
        FileCase{"first_download_counts", "download=[a]download=[b]new=[V2]", true, "V2", "a"},
        FileCase{"bracket_before_marker_does_not_count", "]new=[V1.3]", true, "V1.3", ""},
        FileCase{"empty_value_is_an_announcement", "new=[]download=[x]", true, "", "x"},
        FileCase{"no_closing_bracket", "new=[V1.1\ndownload=[x", false, "", ""},
        FileCase{"closing_bracket_only_behind_download", "download=[x]new=[V1.1", false, "", "x"},
        FileCase{"markers_are_exact", "NEW=[V1.1]Download=[x]", false, "", ""},
        FileCase{"empty_file", "", false, "", ""},
        FileCase{"error_page", "<html><body>404 Not Found</body></html>", false, "", ""},
        FileCase{"download_only", "download=[http://x/y.exe]", false, "", "http://x/y.exe"},
        FileCase{"gbk_text_around", "\xCB\xB5\xC3\xF7=[\xB8\xFC\xD0\xC2]\r\nnew=[V2.0\xB0\xE6]\r\n", true,
                 "V2.0\xB0\xE6", ""},
        FileCase{"marker_inside_a_value", "download=[new=[V9]]", true, "V9", "new=[V9"}),
    [](const auto& info) { return std::string(info.param.name); });

struct VersionCase {
  const char* newest;
  bool current;
};

class AnnouncedVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(AnnouncedVersion, IsTheProgramsOwnOnlyWhenEqualByteForByte) {
  EXPECT_EQ(cx::is_current_version(cx::Text::copy(GetParam().newest)), GetParam().current) << GetParam().newest;
}

INSTANTIATE_TEST_SUITE_P(Versions, AnnouncedVersion,
                         ::testing::Values(VersionCase{"V1.0", true}, VersionCase{" V1.0", false},
                                           VersionCase{"V1.0 ", false}, VersionCase{"v1.0", false},
                                           VersionCase{"", false}, VersionCase{"V1.00", false},
                                           VersionCase{"V1.1", false}, VersionCase{"V0.9", false},
                                           VersionCase{"1.0", false}));

}  // namespace

// What the maker's version file announces, and which announcements count as
// another version. Texts are GBK, as the program sees them.
#include <gtest/gtest.h>

#include <string>

#include "app/version_file.h"

namespace {

// What the program reads from one version file.
void expect_read(const char* file, bool announces, const char* newest, const char* download) {
  cx::VersionFile f = cx::read_version_file(cx::Text::copy(file));
  EXPECT_EQ(f.announces_version, announces);
  EXPECT_EQ(std::string(f.newest.view()), newest);
  EXPECT_EQ(std::string(f.download.view()), download);
}

const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

// Files that announce a version: both fields are cut between the first
// marker and the first bracket behind it.
struct Announcing {
  const char* name;
  const char* file;
  const char* newest;
  const char* download;
};

class AnnouncingFile : public ::testing::TestWithParam<Announcing> {};

TEST_P(AnnouncingFile, FieldsAreCutBetweenTheFirstMarkerAndTheFirstBracketBehindIt) {
  expect_read(GetParam().file, true, GetParam().newest, GetParam().download);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AnnouncingFile,
    ::testing::Values(
        Announcing{"two_lines", "new=[V1.1]\r\ndownload=[http://www.clipdexsoft.com/a.exe]\r\n", "V1.1",
                   "http://www.clipdexsoft.com/a.exe"},
        Announcing{"one_line", "new=[V1.1]download=[x]", "V1.1", "x"},
        Announcing{"download_first", "download=[x]\nnew=[V1.2]\n", "V1.2", "x"},
        Announcing{"blanks_are_kept", "new=[ V1.0 ]", " V1.0 ", ""},
        Announcing{"first_new_counts", "new=[V1.1]\nnew=[V1.2]\n", "V1.1", ""},
        Announcing{"first_download_counts", "download=[a]download=[b]new=[V2]", "V2", "a"},
        Announcing{"bracket_before_marker_does_not_count", "]new=[V1.3]", "V1.3", ""},
        Announcing{"empty_value_is_an_announcement", "new=[]download=[x]", "", "x"},
        Announcing{"gbk_text_around", "\xCB\xB5\xC3\xF7=[\xB8\xFC\xD0\xC2]\r\nnew=[V2.0\xB0\xE6]\r\n",
                   "V2.0\xB0\xE6", ""},
        Announcing{"marker_inside_a_value", "download=[new=[V9]]", "V9", "new=[V9"}),
    kCaseName);

// Files without a whole "new=[...]": no version, and no text for it; the
// download field is still read as it stands.
struct Silent {
  const char* name;
  const char* file;
  const char* download;
};

class FileWithoutAnnouncement : public ::testing::TestWithParam<Silent> {};

TEST_P(FileWithoutAnnouncement, AnnouncesNothing) { expect_read(GetParam().file, false, "", GetParam().download); }

const Silent kSilentFiles[] = {
    {"no_closing_bracket", "new=[V1.1\ndownload=[x", ""},
    {"closing_bracket_only_behind_download", "download=[x]new=[V1.1", "x"},
    {"markers_are_exact", "NEW=[V1.1]Download=[x]", ""},
    {"empty_file", "", ""},
    {"error_page", "<html><body>404 Not Found</body></html>", ""},
    {"download_only", "download=[http://x/y.exe]", "http://x/y.exe"},
};

INSTANTIATE_TEST_SUITE_P(Files, FileWithoutAnnouncement, ::testing::ValuesIn(kSilentFiles), kCaseName);

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

// The update check and the link to the maker's web site (menu items 检查更新
// and 官方网站; the check also runs at every start).
#pragma once

namespace cx {

// Reads the maker's version file; when it announces another version, writes
// the updater library next to the program and opens its window; then tells
// the announced version. A file that cannot be read or announces nothing
// changes nothing and is reported as a failed check.
void check_for_update();

// Removes what earlier updates left beside the program: the updater's aside
// copies of the old program file and its temporary download files, nothing
// else; those still in use (another instance running) stay.
void remove_updater_leftovers();

// Opens the maker's web site in the browser.
void open_maker_site();

// The addresses the two use (constants of the program).
extern const char kVersionFileAddress[];
extern const char kMakerSiteLink[];

}  // namespace cx

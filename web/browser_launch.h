// Opening an address in the browser for plain zero-terminated texts. The
// updater library links this routine as well as the program: it carries none
// of the program's runtime, so the routine needs nothing but the system.
#pragma once

// The maker's server and web site root (no trailing slash), for every address
// of the maker's the programs use.
#define CX_MAKER_SITE_ROOT "http://www.clipdexsoft.com"

namespace cx::web {

inline constexpr char kMakerSiteRoot[] = CX_MAKER_SITE_ROOT;

// Hands `address` to the shell's "open" verb, owned by an open window titled
// "Microsoft Internet Explorer" when there is one. Nothing is reported.
void open_in_browser(const char* address);

// Test seam: when set, called with the owner window (or null) and the
// address just before the shell is asked. The programs never set it.
using BrowserLaunchObserver = void (*)(void* owner, const char* address);
void set_browser_launch_observer(BrowserLaunchObserver observer);

}  // namespace cx::web

namespace cx {

class Text;
// The same for a text of the program; without an address, the maker's site
// root is opened.
void open_in_browser(const Text* address = nullptr);
void open_in_browser(const Text& address);

}  // namespace cx

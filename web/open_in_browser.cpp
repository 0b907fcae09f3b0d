// Opening an address of the program's texts in the browser.
#include "services/value.h"
#include "web/browser_launch.h"

namespace cx {

void open_in_browser(const Text* address) {
  web::open_in_browser((address && !address->empty()) ? address->c_str() : web::kMakerSiteRoot);
}

void open_in_browser(const Text& address) { open_in_browser(&address); }

}  // namespace cx

// An in-memory stand-in for the window, the page request and the waits, so
// the harvesting logic can be driven and observed natively.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "services/value.h"
#include "ui/access.h"

namespace cx::fake {

struct Control {
  std::string text;  // caption or content
  bool visible = true;
  bool disabled = false;
  bool checked = false;
  int32_t dialog_kind = 0;
  std::string dialog_directory, dialog_filter;
};

struct Response {
  int status = 200;  // 0: no status line came back
  std::string body;  // what arrived of the body
  bool whole = true;  // false: the answer was cut short (body is the part that came)
};

struct World {
  std::map<uint32_t, Control> controls;
  std::vector<std::vector<std::string>> rows;
  // Everything the logic did that a user could see, in order:
  // "caption <control> <text>", "visible <control> 0|1", "wait <ms>", "request <address>".
  std::vector<std::string> journal;
  std::vector<std::string> requests;
  std::map<std::string, std::deque<Response>> answers;  // consumed front first; last one repeats
  std::function<void(const std::string& address)> during_request;
  std::function<void()> during_events;
  std::function<bool()> dialog_answer;  // true: confirmed
  std::string dialog_file_name;

  Control& at(ControlRef r) { return controls[r.control]; }
  std::vector<std::string> captions_of(ControlRef r) const;  // texts written to r, in order
};

World& world();
// Fresh world: the main window's controls as they are at start.
void reset();
std::string name_of(uint32_t control);

}  // namespace cx::fake

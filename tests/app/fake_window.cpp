#include "tests/app/fake_window.h"

#include "services/runtime.h"
#include "ui/main_window.h"
#include "web/page_request.h"

namespace cx::fake {

namespace {
World* g_world = nullptr;

void journal(const std::string& line) { world().journal.push_back(line); }
}  // namespace

World& world() {
  if (!g_world) reset();
  return *g_world;
}

std::string name_of(uint32_t control) {
  switch (control) {
    case ID_FETCH_BUTTON: return "button";
    case ID_PROGRESS_LABEL: return "progress";
    case ID_STOP_LABEL: return "stop";
    case ID_NAME_EDIT: return "edit";
    case ID_OPTION_USER: return "user";
    case ID_OPTION_CHANNEL: return "channel";
    case ID_OPTION_URL: return "url";
    case ID_DIALOG: return "dialog";
    default: return std::to_string(control);
  }
}

std::vector<std::string> World::captions_of(ControlRef r) const {
  std::vector<std::string> out;
  const std::string prefix = "caption " + name_of(r.control) + " ";
  for (const auto& line : journal)
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

void reset() {
  delete g_world;
  g_world = new World();
  World& w = *g_world;
  w.controls[ID_FETCH_BUTTON].text = "获取";
  w.controls[ID_STOP_LABEL].visible = false;
  w.controls[ID_OPTION_USER].checked = true;
  runtime_hooks().delay = [](int32_t ms) { journal("wait " + std::to_string(ms)); };
  runtime_hooks().process_events = [] {
    if (world().during_events) world().during_events();
  };
  runtime_hooks().message_box = [](const char* text, const char* caption, uint32_t, void*) -> int32_t {
    journal(std::string("box ") + text + " | " + (caption ? caption : ""));
    return 1;  // OK
  };
}

}  // namespace cx::fake

// ---------------------------------------------------------------------------
// The interfaces the logic calls, answered by the fake world.

namespace cx {
using fake::world;

Cell get_property(ControlRef ref, int32_t number) {
  fake::Control& c = world().at(ref);
  switch (number) {
    case PROP_VISIBLE: return cell_bool(c.visible);
    case PROP_DISABLED: return cell_bool(c.disabled);
    case CHECKBOX_CHECKED:
      if (ref.kind == TAG_CHECKBOX) return cell_bool(c.checked);
      break;
    default: break;
  }
  Text t = Text::copy(number == DIALOG_FILE_NAME && ref.kind == TAG_COMMON_DIALOG ? world().dialog_file_name : c.text);
  Cell r = cell_text(t);
  r.v.ptr = t.release();
  return r;
}

void set_property(ControlRef ref, int32_t number, const Cell& value) {
  fake::Control& c = world().at(ref);
  const std::string name = fake::name_of(ref.control);
  if (number == PROP_VISIBLE) {
    c.visible = cell_as_bool(value);
    world().journal.push_back("visible " + name + " " + (c.visible ? "1" : "0"));
  } else if (number == PROP_DISABLED) {
    c.disabled = cell_as_bool(value);
    world().journal.push_back("disabled " + name + " " + (c.disabled ? "1" : "0"));
  } else if (ref.kind == TAG_CHECKBOX && number == CHECKBOX_CHECKED) {
    c.checked = cell_as_bool(value);
    world().journal.push_back("checked " + name + " " + (c.checked ? "1" : "0"));
  } else if (ref.kind == TAG_COMMON_DIALOG) {
    if (number == DIALOG_KIND) c.dialog_kind = cell_as_int(value);
    if (number == DIALOG_INITIAL_DIRECTORY) c.dialog_directory = cell_as_text(value);
    if (number == DIALOG_FILTER) c.dialog_filter = cell_as_text(value);
    if (number == DIALOG_FILE_NAME) world().dialog_file_name = cell_as_text(value);
  } else {
    c.text = cell_as_text(value);
    world().journal.push_back("caption " + name + " " + c.text);
  }
}

Text get_text_property(ControlRef ref, int32_t number) {
  Cell c = get_property(ref, number);
  return cell_take_text(&c);
}
void set_text_property(ControlRef ref, int32_t number, const Text& value) { set_property(ref, number, cell_text(value)); }
bool get_bool_property(ControlRef ref, int32_t number) { return cell_as_bool(get_property(ref, number)); }
void set_bool_property(ControlRef ref, int32_t number, bool value) { set_property(ref, number, cell_bool(value)); }
int32_t get_int_property(ControlRef ref, int32_t number) { return cell_as_int(get_property(ref, number)); }
void set_int_property(ControlRef ref, int32_t number, int32_t value) { set_property(ref, number, cell_int(value)); }

int32_t list_insert_row(ControlRef, int32_t position, const Text& text) {
  auto& rows = world().rows;
  if (position < 0 || size_t(position) > rows.size()) position = int32_t(rows.size());
  rows.insert(rows.begin() + position, std::vector<std::string>{std::string(text.view()), "", ""});
  return position;
}
int32_t list_insert_row(ControlRef list, int argc, const Cell* args) {
  const int32_t pos = argc > 0 && !cell_is_absent(args[0]) ? cell_as_int(args[0]) : -1;
  return list_insert_row(list, pos, argc > 1 ? Text::copy(cell_as_text(args[1]), strlen(cell_as_text(args[1]))) : Text());
}
bool list_set_cell(ControlRef, int32_t row, int32_t column, const Text& text) {
  auto& rows = world().rows;
  if (row < 0 || size_t(row) >= rows.size() || column < 0 || column > 2) return false;
  rows[size_t(row)][size_t(column)] = std::string(text.view());
  return true;
}
Text list_get_cell(ControlRef, int32_t row, int32_t column) {
  auto& rows = world().rows;
  if (row < 0 || size_t(row) >= rows.size() || column < 0 || column > 2) return Text();
  return Text::copy(rows[size_t(row)][size_t(column)]);
}
int32_t list_row_count(ControlRef) { return int32_t(world().rows.size()); }
void list_delete_all(ControlRef) {
  world().rows.clear();
  world().journal.push_back("list cleared");
}
bool show_common_dialog(ControlRef) { return world().dialog_answer ? world().dialog_answer() : false; }

PageAnswer request_page(const Text& address) {
  auto& w = world();
  const std::string a(address.view());
  w.requests.push_back(a);
  w.journal.push_back("request " + a);
  if (w.during_request) w.during_request(a);
  fake::Response r{0, ""};
  auto it = w.answers.find(a);
  if (it != w.answers.end() && !it->second.empty()) {
    r = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
  }
  PageAnswer answer;
  answer.status_code = r.status;
  answer.whole = r.status != 0 && r.whole;
  // As the page request gives it: nothing of an answer that is not whole.
  if (answer.whole) answer.text = Text::copy(r.body);
  return answer;
}
Text page_request(const Text& address) { return request_page(address).text; }

}  // namespace cx

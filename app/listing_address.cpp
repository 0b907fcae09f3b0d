#include "app/listing_address.h"

#include "app/state.h"
#include "ui/main_window.h"

namespace cx {

const char* const kSiteBaseAddress = "https://www.clipdex.com";

Text build_listing_address(ListingMode mode, const Text& name) {
  switch (mode) {
    case ListingMode::User: return site_base_address + "/user/" + name + "/videos";
    case ListingMode::Channel: return site_base_address + "/channel/" + name + "/videos";
    case ListingMode::Url: return name;
  }
  return Text();
}

void set_up_listing_address() {
  site_base_address = Text::literal(kSiteBaseAddress);
  // The edit box is still empty here: the address holds "/user//videos".
  listing_address = build_listing_address(ListingMode::User, get_text_property(编辑框_用户名, EDIT_CONTENT));
}

namespace {

// Acts only when the click has just checked the box; then the other two are
// cleared in the given order, so the three behave like a radio group.
void on_option_clicked(ControlRef box, ListingMode mode, ControlRef first_other, ControlRef second_other) {
  if (!get_bool_property(box, CHECKBOX_CHECKED)) return;
  listing_address = build_listing_address(mode, get_text_property(编辑框_用户名, EDIT_CONTENT));
  set_bool_property(first_other, CHECKBOX_CHECKED, false);
  set_bool_property(second_other, CHECKBOX_CHECKED, false);
}

}  // namespace

void on_option_user_clicked() { on_option_clicked(选择框_User, ListingMode::User, 选择框_Channel, 选择框_Url); }
void on_option_channel_clicked() { on_option_clicked(选择框_Channel, ListingMode::Channel, 选择框_User, 选择框_Url); }
void on_option_url_clicked() { on_option_clicked(选择框_Url, ListingMode::Url, 选择框_User, 选择框_Channel); }

}  // namespace cx

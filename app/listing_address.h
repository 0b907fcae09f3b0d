// The listing address: built from the typed name and the chosen option box.
#pragma once

#include "services/value.h"

namespace cx {

// The video site's base address (https, www host, no trailing slash).
extern const char* const kSiteBaseAddress;

enum class ListingMode { User, Channel, Url };

Text build_listing_address(ListingMode mode, const Text& name);

// Window created: base address set once, then the User build.
void set_up_listing_address();

void on_option_user_clicked();
void on_option_channel_clicked();
void on_option_url_clicked();

}  // namespace cx

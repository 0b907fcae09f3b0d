// Whether a page read without a length of its own shows that it ended.
#pragma once

#include <string_view>

namespace cx {

// A body without a Content-Length ends where the connection ends, and a
// connection that closes early looks just the same (a chunked answer cut
// before its closing chunk reads, on some transports, as an answer that
// ended). The page itself can still tell: markup that opened "<html" closes
// it with "</html>", and an answer that opens an object ("{") closes it.
// False when the text opens either and does not close it; true for a text
// that shows neither (nothing to judge it by).
bool page_shows_its_end(std::string_view text);

}  // namespace cx

// Plain texts inside Pango markup.
#pragma once

#include <string>

namespace gtk {

// `text` with "&", "<", ">", quotes and control characters escaped, so that it shows as it is
// inside markup and cannot end a tag or blank the label ("A&B <1>" stays "A&B <1>"); bytes that
// are not UTF-8 show as U+FFFD (valid_utf8).
std::string escape_markup(const std::string& text);

} // namespace gtk

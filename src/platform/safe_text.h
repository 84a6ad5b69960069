// Text from outside (server replies, driver messages) made harmless before it is
// shown, logged or mailed: no control character can move a terminal's cursor,
// colour a line or hide the text in front of it.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::platform {

// Replaces each control character of the UTF-8 text by "?": C0 other than TAB,
// CR and LF (the message's own line breaks), DEL and U+0080-U+009F. Every other
// byte stays as it is.
std::string ReplaceControlCharacters(std::string_view text);

}  // namespace vornetta::platform

// Text from outside (server replies, driver messages) made harmless before it is
// shown, logged or mailed: no control character can move a terminal's cursor,
// colour a line or hide the text in front of it.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::platform {

// Replaces each control character by "?": C0 other than TAB, CR and LF (the
// message's own line breaks), DEL, and the C1 characters of the system code page
// (0x80-0x9F in the Latin one; the double-byte code pages have none). Every other
// byte stays as it is.
std::string ReplaceControlCharacters(std::string_view text);
// The same for UTF-8 text: C0 other than TAB, CR and LF, DEL and U+0080-U+009F.
std::string ReplaceControlCharactersUtf8(std::string_view utf8);

}  // namespace vornetta::platform

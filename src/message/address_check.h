// Checks of the address settings before a mail is sent: the parser of the
// address lists accepts any text and makes something of it, so a text it would
// turn into a wrong address (a cut domain, an empty address, a command carrying
// a line break) is refused here, before any connection is made.
#pragma once

#include <string>
#include <string_view>

#include "message/address.h"

namespace vornetta::message {

// Throws EIdEmailParseError naming the setting, when `text` holds a control
// character (a TAB excepted, which separates like a blank), or an entry whose
// angle bracket, comment or quotes are not closed, whose domain ends in ".", or
// that holds text but gives no address. Entries are separated by commas and
// semicolons in a list setting; a single setting (the sender) is one address.
// A blank text passes; so does a bare local name.
enum class TAddressSetting { List, Single };
void CheckAddressSetting(std::string_view setting, std::string_view text, TAddressSetting kind);

// How a message names an address setting: the field of the window and the key,
// "(Empfänger, Einstellung empfaenger)"; "(Einstellung <key>)" for a key without a field.
std::string AddressSettingNote(std::string_view setting);

}  // namespace vornetta::message

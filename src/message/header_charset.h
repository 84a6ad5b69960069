// The charset label of one header's encoded words. The label chosen from the
// system language names ISO-8859-1 on Latin systems while the bytes are the
// system code page ISO-8859-15; the two differ in eight characters only, so a
// header holding one of them is labelled with the code page itself.
#pragma once

#include <string_view>

#include "message/address.h"
#include "message/header_encoding.h"

namespace vornetta::message {

// True when the text holds one of the bytes at which ISO-8859-15 differs from
// ISO-8859-1 (euro sign, S/s/Z/z with caron, OE/oe ligatures, Y with diaeresis).
bool HoldsLatin9OnlyCharacter(std::string_view text);

// `how` for a header whose encoded words carry `text`: with the Latin label
// "ISO-8859-1" on an ISO-8859-15 system and a Latin-9-only character in the
// text, the label "ISO-8859-15"; otherwise `how` unchanged.
THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, std::string_view text);
// The same for an address header: the display names of the items are its words.
THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, const TIdEMailAddressItem& item);
THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, const TIdEMailAddressList& list);

}  // namespace vornetta::message

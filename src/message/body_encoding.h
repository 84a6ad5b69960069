// The quoted-printable body: servers refuse or cut lines longer than 998
// octets (RFC 5322), so a body holding such a line goes out quoted-printable
// (RFC 2045). Every other body keeps its bytes and no transfer encoding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "message/line_writer.h"
#include "message/message.h"

namespace vornetta::message {

inline constexpr std::string_view kQuotedPrintable = "quoted-printable";

// The body charset of a text the system code page cannot hold.
inline constexpr std::string_view kUtf8CharSet = "UTF-8";

// True when the body lines go out converted to ISO-2022-JP: on a Japanese
// system, unless the body is declared UTF-8 (then its bytes go as they are).
bool BodyInIso2022JP(const TIdMessage& msg);

// Longest line a message may hold, CR LF not counted.
inline constexpr std::size_t kMaxLineOctets = 998;

// True when a line of the body, as it goes out (converted to ISO-2022-JP when
// `iso2022jp`, a leading "." doubled), is longer than kMaxLineOctets.
bool NeedsQuotedPrintable(const std::vector<std::string>& body, bool iso2022jp);
// The same for a body text whose lines end in CR LF, CR or LF.
bool NeedsQuotedPrintable(std::string_view body, bool iso2022jp);

// Sends one body line quoted-printable: lines of at most 76 characters joined by
// soft breaks, every byte outside printable ASCII, "=" and a blank at the end as
// "=XX"; a CR or LF inside the line is a hard break. Lines are dot-stuffed.
void SendQuotedPrintable(TIdLineWriter& out, std::string_view line);

}  // namespace vornetta::message

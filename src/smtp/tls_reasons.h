// OpenSSL's reasons for a failed handshake or certificate check, told in
// German with the library's own words kept in parentheses (so that an
// administrator can still search them), and the setting to look at.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::smtp {

// The reason for the message: "Zertifikat abgelaufen (certificate has expired)"
// for a reason the table knows, the library's text as it is for any other,
// and `unknown` for an empty one. Then " – Server <peer>" and what to check
// with the window's field and the setting, e.g. " – Port und Verschlüsselung
// prüfen (SMTP Server und Verschlüsselung, Einstellungen smtpserver und verschluesselung)".
// Throws nothing but std::bad_alloc.
std::string TlsReasonText(std::string_view reason, std::string_view peer, std::string_view unknown);

}  // namespace vornetta::smtp

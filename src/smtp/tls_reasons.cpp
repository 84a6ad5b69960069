#include "smtp/tls_reasons.h"

#include "platform/text.h"

namespace vornetta::smtp {
namespace {

// What the administrator should look at, by what the reason points to.
enum class TCheck { Encryption, PortAndEncryption, Trust, Validity, ServerName };

struct TReason {
  std::string_view library;  // lower case, "-" written as a blank
  const char* german;
  TCheck check;
};

// The reasons administrators meet: a plain port, an old or strict server, and
// the outcomes of the certificate check (X509_verify_cert_error_string's texts).
constexpr TReason kReasons[] = {
    {"wrong version number", "falsche Versionsnummer, der Server spricht hier kein TLS", TCheck::PortAndEncryption},
    {"packet length too long", "ungültige Paketlänge, der Server spricht hier kein TLS", TCheck::PortAndEncryption},
    {"unexpected eof while reading", "der Server hat die Verbindung unerwartet beendet", TCheck::PortAndEncryption},
    {"unsupported protocol", "Protokollversion nicht unterstützt, der Server kann kein TLS 1.2 oder neuer",
     TCheck::Encryption},
    {"tlsv1 alert protocol version", "der Server lehnt die Protokollversion ab", TCheck::Encryption},
    {"no protocols available", "keine gemeinsame Protokollversion", TCheck::Encryption},
    {"handshake failure", "der Server lehnt die Aushandlung ab, keine gemeinsamen Verfahren", TCheck::Encryption},
    {"sslv3 alert handshake failure", "der Server lehnt die Aushandlung ab, keine gemeinsamen Verfahren",
     TCheck::Encryption},
    {"tlsv1 alert internal error", "interner Fehler des Servers", TCheck::Encryption},
    {"unsafe legacy renegotiation disabled", "der Server beherrscht keine sichere Neuverhandlung", TCheck::Encryption},
    {"dh key too small", "Schlüssel des Servers zu kurz", TCheck::Encryption},
    {"tlsv1 alert unknown ca", "unbekannte Zertifizierungsstelle", TCheck::Trust},
    {"unable to get local issuer certificate", "Aussteller des Zertifikats unbekannt", TCheck::Trust},
    {"unable to get issuer certificate", "Aussteller des Zertifikats unbekannt", TCheck::Trust},
    {"unable to verify the first certificate", "Zertifikat nicht prüfbar, die Kette ist unvollständig", TCheck::Trust},
    {"self signed certificate in certificate chain", "selbst signiertes Zertifikat in der Kette", TCheck::Trust},
    {"self signed certificate", "selbst signiertes Zertifikat", TCheck::Trust},
    {"certificate verify failed", "Zertifikatsprüfung fehlgeschlagen", TCheck::Trust},
    {"unspecified certificate verification error", "kein prüfbares Zertifikat", TCheck::Trust},
    {"certificate has expired", "Zertifikat abgelaufen", TCheck::Validity},
    {"certificate is not yet valid", "Zertifikat noch nicht gültig", TCheck::Validity},
    {"hostname mismatch", "Zertifikat gilt nicht für diesen Namen", TCheck::ServerName},
    {"ip address mismatch", "Zertifikat gilt nicht für diese Adresse", TCheck::ServerName},
};

// OpenSSL wrote "self signed" before 3.0 and "self-signed" since, and capitalised some texts.
std::string Normalised(std::string_view reason) {
  std::string text = platform::LowerAscii(reason);
  for (char& c : text)
    if (c == '-') c = ' ';
  return text;
}

const char* CheckText(TCheck check) {
  switch (check) {
    case TCheck::PortAndEncryption:
      return " – Port und Verschlüsselung prüfen "
             "(SMTP Server und Verschlüsselung, Einstellungen smtpserver und verschluesselung)";
    case TCheck::Trust:
      return " – Zertifikat nicht vertrauenswürdig (Zertifikate, Einstellung zertifikate)";
    case TCheck::Validity:
      return " – Gültigkeit des Zertifikats und Uhrzeit dieses Rechners prüfen (Zertifikate, Einstellung zertifikate)";
    case TCheck::ServerName:
      return " – Servernamen prüfen (SMTP Server, Einstellung smtpserver)";
    case TCheck::Encryption:
      break;
  }
  return " (Verschlüsselung, Einstellung verschluesselung)";
}

}  // namespace

std::string TlsReasonText(std::string_view reason, std::string_view peer, std::string_view unknown) {
  std::string text;
  TCheck check = TCheck::Encryption;
  const std::string key = Normalised(reason);
  for (const TReason& known : kReasons) {
    if (known.library != key) continue;
    text = std::string(known.german) + " (" + std::string(reason) + ")";
    check = known.check;
    break;
  }
  if (text.empty()) text = reason.empty() ? std::string(unknown) : std::string(reason);
  return text + " – Server " + std::string(peer) + CheckText(check);
}

}  // namespace vornetta::smtp

#include "smtp/login_advice.h"

#include <openssl/evp.h>

#include "platform/text.h"

namespace vornetta::smtp {
namespace {

struct TAdvice {
  int code;
  std::string_view enhanced;  // the enhanced status code of the first text line
  std::string_view words;     // lower case; empty: any text
  const char* advice;
};

// One place for every advice; unknown replies keep the server's text alone.
constexpr TAdvice kAdvice[] = {
    {535, "5.7.139", "",
     "Der Server hat die Anmeldung für dieses Postfach abgeschaltet (Microsoft 365: SMTP AUTH). Der Administrator "
     "muss für das Postfach \"Authenticated SMTP\" einschalten, oder die Anmeldung läuft über OAuth2 (Token-Befehl, "
     "Einstellung smtptokenbefehl)."},
    {550, "5.7.30", "",
     "Der Server lässt die Anmeldung mit Passwort nicht mehr zu (Basic Authentication abgeschaltet): Anmeldung "
     "über OAuth2 einrichten (Token-Befehl, Einstellung smtptokenbefehl)."},
    {535, "5.7.3", "basic authentication is disabled",
     "Der Server lässt die Anmeldung mit Passwort nicht mehr zu (Basic Authentication abgeschaltet): Anmeldung "
     "über OAuth2 einrichten (Token-Befehl, Einstellung smtptokenbefehl)."},
    {534, "5.7.9", "",
     "Der Server verlangt ein App-Passwort: in den Kontoeinstellungen ein App-Passwort erzeugen und als Passwort "
     "eintragen (SMTP Passwort, Einstellung smtppass oder smtppassbefehl), oder OAuth2 verwenden (Token-Befehl, "
     "Einstellung smtptokenbefehl)."},
    {535, "5.7.8", "",
     "Benutzername, Passwort oder Token wurden abgelehnt (SMTP Benutzer, SMTP Passwort und Token-Befehl, "
     "Einstellungen smtpuser, smtppass, smtppassbefehl und smtptokenbefehl)."},
    {530, "5.7.0", "",
     "Der Server verlangt zuerst eine verschlüsselte Verbindung (STARTTLS): Automatisch oder STARTTLS wählen "
     "(Verschlüsselung, Einstellung verschluesselung)."},
    {454, "4.7.0", "",
     "Die Anmeldung ist vorübergehend nicht möglich; ein späterer Versuch kann gelingen (Einstellung "
     "wiederholen im Abschnitt email)."},
};

// The value of "name": "value" in a flat JSON object, printable ASCII only.
std::string JsonText(std::string_view json, std::string_view name) {
  const std::string key = "\"" + std::string(name) + "\"";
  std::size_t at = json.find(key);
  if (at == std::string_view::npos) return {};
  at = json.find_first_not_of(" \t\r\n", at + key.size());
  if (at == std::string_view::npos || json[at] != ':') return {};
  at = json.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos) return {};
  std::string value;
  const bool quoted = json[at] == '"';
  for (std::size_t i = at + (quoted ? 1 : 0); i < json.size() && value.size() < 200; ++i) {
    const char c = json[i];
    if (quoted ? c == '"' : (c == ',' || c == '}' || platform::IsControlOrSpace(c))) break;
    if (c >= ' ' && c < 127) value += c;
  }
  return value;
}

}  // namespace

std::string LoginAdvice(int code, const std::vector<std::string>& text) {
  if (text.empty()) return {};
  const std::string_view first = platform::TrimLeft(text.front());
  const std::string_view enhanced = first.substr(0, first.find(' '));
  std::string all;
  for (const std::string& line : text) all += platform::LowerAscii(line) + ' ';
  for (const TAdvice& entry : kAdvice) {
    if (entry.code == code && entry.enhanced == enhanced &&
        (entry.words.empty() || all.find(entry.words) != std::string::npos))
      return entry.advice;
  }
  return {};
}

std::string OAuthRefusalDetails(std::string_view base64Json) {
  const std::string_view encoded = platform::Trim(base64Json);
  if (encoded.empty() || encoded.size() > 65536) return {};
  std::string json(encoded.size() / 4 * 3 + 3, '\0');
  const int size = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(json.data()),
                                   reinterpret_cast<const unsigned char*>(encoded.data()), static_cast<int>(encoded.size()));
  if (size < 0) return {};
  json.resize(static_cast<std::size_t>(size));
  const std::string status = JsonText(json, "status");
  const std::string scope = JsonText(json, "scope");
  std::string details;
  if (!status.empty()) details = "status " + status;
  if (!scope.empty()) details += (details.empty() ? "scope " : ", scope ") + scope;
  return details;
}

}  // namespace vornetta::smtp

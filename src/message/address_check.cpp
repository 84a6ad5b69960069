// The entries are found the way the list parser finds them: commas and
// semicolons outside double quotes and comments end an entry, a ":" outside them
// ends a group's name. Each entry is then parsed alone to see what it gives.
#include "message/address_check.h"

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

using platform::Trim;

bool IsForbiddenControl(unsigned char c) { return (c < ' ' && c != '\t') || c == 0x7F; }

// `reason` is UTF-8 like the other texts of this file; `entry` is in the system
// code page, or UTF-8 when the setting is (a code-page name is never well-formed UTF-8 but in ASCII).
[[noreturn]] void Refuse(std::string_view setting, std::string_view entry, std::string_view reason) {
  std::string message = "Ungültige Adresse ";
  message += platform::AsUtf8(entry);
  message += ": ";
  message.append(reason);
  message += ' ';
  message += AddressSettingNote(setting);
  throw EIdEmailParseError(message);
}

// What is open at the end of a walk.
struct TOpen {
  bool quote = false;
  int comments = 0;
};

// Walks the text like the parsers do and calls plain(i, c) for every character
// outside double quotes and comments; a backslash takes the next character along.
template <typename Plain>
TOpen Walk(std::string_view text, Plain plain) {
  TOpen open;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (open.quote) {
      open.quote = c != '"';
    } else if (c == '(') {
      ++open.comments;
    } else if (open.comments > 0) {
      if (c == ')') --open.comments;
    } else if (c == '"') {
      open.quote = true;
    } else {
      plain(i, c);
    }
  }
  return open;
}

// The entries of a list text, blank ones left out.
std::vector<std::string_view> Entries(std::string_view text) {
  std::vector<std::string_view> entries;
  std::size_t start = 0;
  auto close = [&](std::size_t end) {
    if (!Trim(text.substr(start, end - start)).empty()) entries.push_back(text.substr(start, end - start));
    start = end + 1;
  };
  Walk(text, [&](std::size_t i, char c) {
    if (c == ',' || c == ';') close(i);
    if (c == ':') start = i + 1;  // a group's name is no address
  });
  if (start < text.size()) close(text.size());
  return entries;
}

// What is left open at the end of one entry, or empty.
std::string_view Unclosed(std::string_view entry) {
  bool inAngle = false;
  const TOpen open = Walk(entry, [&](std::size_t, char c) {
    if (c == '<') inAngle = true;
    if (c == '>') inAngle = false;
  });
  if (open.quote) return "Anführungszeichen nicht geschlossen";
  if (open.comments > 0) return "Kommentar nicht mit \")\" geschlossen";
  if (inAngle) return "spitze Klammer nicht mit \">\" geschlossen";
  return {};
}

void CheckEntry(std::string_view setting, std::string_view entry) {
  const std::string_view shown = Trim(entry);
  if (std::string_view open = Unclosed(entry); !open.empty()) Refuse(setting, shown, open);
  if (shown == "<>") return;  // the list parser drops it; nothing is sent
  TIdEMailAddressItem item;
  try {
    item.SetText(entry);
  } catch (const EIdEmailParseError&) {
    return;  // the parse of the mail job reports it with its own message
  }
  if (item.Address.empty()) Refuse(setting, shown, "keine Adresse");
  if (item.Address.back() == '.') Refuse(setting, shown, "endet mit \".\"");
}

}  // namespace

void CheckAddressSetting(std::string_view setting, std::string_view text, TAddressSetting kind) {
  for (unsigned char c : text) {
    if (!IsForbiddenControl(c)) continue;
    throw EIdEmailParseError("Die Adresse enthält ein Steuerzeichen (etwa einen Zeilenumbruch); bitte entfernen " +
                             AddressSettingNote(setting) + ".");
  }
  if (kind == TAddressSetting::Single) {
    if (!Trim(text).empty()) CheckEntry(setting, text);
    return;
  }
  for (std::string_view entry : Entries(text)) CheckEntry(setting, entry);
}

std::string AddressSettingNote(std::string_view setting) {
  struct TField {
    std::string_view key;
    std::string_view label;
  };
  static constexpr TField kFields[] = {
      {"empfaenger", "Empfänger"}, {"cc", "CC"}, {"bcc", "BCC"}, {"absender", "Absender"}};
  for (const TField& field : kFields)
    if (field.key == setting)
      return "(" + std::string(field.label) + ", Einstellung " + std::string(setting) + ")";
  return "(Einstellung " + std::string(setting) + ")";
}

}  // namespace vornetta::message

// The address parsers are walks over the remaining text: each step finds the
// first character of the delimiter set that the current state allows, handles
// it and cuts the handled part off the front. Every step cuts at least one
// character, so a walk ends after at most as many steps as the text is long.
#include "message/address.h"

#include <array>

#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

constexpr std::string_view kOutsideAddress = "@ Outside-Adresse";

using platform::IsControlOrSpace;
using platform::Trim;
using platform::TrimLeft;

bool IsBlank(std::string_view s) { return Trim(s).empty(); }

// Trims in place; the common case (nothing to remove at the front)
// costs nothing, so repeated calls on a growing name stay linear.
void TrimInPlace(std::string& s) {
  std::size_t front = 0;
  while (front < s.size() && IsControlOrSpace(s[front])) ++front;
  if (front > 0) s.erase(0, front);
  while (!s.empty() && IsControlOrSpace(s.back())) s.pop_back();
}

constexpr std::array<bool, 256> MakeAtext() {
  std::array<bool, 256> set{};
  for (int c = 'a'; c <= 'z'; ++c) set[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) set[c] = true;
  for (int c = '0'; c <= '9'; ++c) set[c] = true;
  for (char c : std::string_view("!#$%&'*+-/=?_{}|~`")) set[static_cast<unsigned char>(c)] = true;
  return set;
}
constexpr std::array<bool, 256> kAtext = MakeAtext();

bool IsAtext(char c) { return kAtext[static_cast<unsigned char>(c)]; }

// Double quote, backslash escapes and closing quote.
std::string Quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Text form of an item reduced to what the empty-entry test of the list parser needs.
bool IsEmptyEntry(const TIdEMailAddressItem& item) {
  const std::string text = item.Text();
  const std::string_view trimmed = Trim(text);
  return trimmed.empty() || trimmed == "<>";
}

// The walk of one address (TIdEMailAddressItem::SetText). Each state stops at
// its own delimiters; the text between two stops goes to the name or the address.
//
//   state          stops at         entered by                 left by
//   Name           ( " < SP TAB @   the start; ">"             "<" to LocalPart, "@" to Domain
//   LocalPart      " ( @ >          "<"                        "@" to Domain, ">" to Name
//   Domain         . ( SP           "@" with no "<" before     the end of the text
//   DomainInAngle  . > (            "@" after "<"              ">" to Name
//   Quoted         " \              '"' in Name or LocalPart   the next unescaped '"'
//   Comment        ( ) \            "(" outside Quoted         the ")" that closes the first "("
//
// Quoted and Comment stand over the part they interrupt and return to it. "@"
// in Name once a "<" was closed is an error: an address outside the brackets.
enum class TAddressState { Name, LocalPart, Domain, DomainInAngle, Quoted, Comment };
constexpr std::string_view kAddressStops[] = {"(\"< @\t", "\"(@>", ".( ", ".>(", "\"\\", "()\\"};

// The walk of an address list (TIdEMailAddressList::SetListText) cuts entries:
//
//   state    stops at              entered by          left by
//   Entry    : ; ( " , SP TAB      the start           "(" to Comment, '"' to Quoted
//   Quoted   " \                   '"' in Entry        the next unescaped '"'
//   Comment  ( ) \                 "(" in Entry        the ")" that closes the first "("
//
// In Entry "," ends an entry (an empty one is dropped), ";" ends one (a blank
// one is skipped) and ":" discards what came before (a group's name).
enum class TListState { Entry, Quoted, Comment };
constexpr std::string_view kListStops[] = {":;(\", \t", "\"\\", "(\\)"};
// Whether an entry whose text is empty or "<>" is dropped again.
enum class TEmptyEntry { Keep, Drop };

}  // namespace

std::string TIdEMailAddressItem::Text() const {
  std::string addressPart;
  if (Address.empty()) {
    if (!Name.empty()) addressPart = "<>";
  } else {
    const std::size_t at = Address.rfind('@');
    const std::string_view whole = Address;
    const std::string_view local = at == std::string::npos ? std::string_view() : whole.substr(0, at);
    const std::string_view domain = at == std::string::npos ? std::string_view() : whole.substr(at);
    std::size_t bad = 0;
    while (bad < local.size() && IsAtext(local[bad])) ++bad;
    if (bad < local.size() && local[bad] != '.') {
      addressPart = "<" + Quoted(local);
      addressPart.append(domain);
      addressPart += '>';
    } else {
      if (!Name.empty()) addressPart += '<';
      addressPart.append(local);
      addressPart.append(domain);
      if (!Name.empty()) addressPart += '>';
    }
  }

  if (Name.empty() || Name == platform::UpperAscii(Address)) return addressPart;
  bool plainName = true;
  for (char c : Name) plainName = plainName && (IsAtext(c) || c == ' ');
  std::string text = plainName ? Name : Quoted(Name);
  text += ' ';
  text += addressPart;
  return text;
}

void TIdEMailAddressItem::SetText(std::string_view input) {
  Name.clear();
  Address.clear();
  std::string_view rest = Trim(input);
  if (rest.empty()) return;
  if (rest.find_first_of("(\"< @\t") == std::string_view::npos) {
    Address = rest;
    return;
  }

  // Where the walk stands in the address: Name, LocalPart or Domain; a comment
  // (depth > 0) or a quoted string stands over it for a while. `angle` records
  // that the address was opened by "<" (then only ">" closes it).
  TAddressState part = TAddressState::Name;
  int depth = 0;
  bool inQuote = false, angle = false;
  auto state = [&] {
    if (depth > 0) return TAddressState::Comment;
    if (inQuote) return TAddressState::Quoted;
    if (part == TAddressState::Domain && angle) return TAddressState::DomainInAngle;
    return part;
  };

  for (std::size_t p; (p = rest.find_first_of(kAddressStops[static_cast<int>(state())])) != std::string_view::npos;) {
    const char d = rest[p];
    const std::string_view before = rest.substr(0, p);
    std::size_t cut = p + 1;
    switch (d) {
      case ' ':
      case '\t':
        if (p == 0) break;
        if (part == TAddressState::Domain) {
          Address.append(Trim(before));
        } else {
          Name.append(before);
          Name += d;
        }
        break;
      case '(':
        ++depth;
        if (p == 0) break;
        if (part != TAddressState::Name)
          Address.append(Trim(before));
        else if (depth == 1)
          Name.append(before);
        break;
      case ')':
        if (depth > 0) --depth;
        break;
      case '"':
        if (!inQuote) {
          // A quote inside a word: the text before it goes where the walk stands.
          (part != TAddressState::Name ? Address : Name).append(before);
          inQuote = true;
        } else {
          (angle ? Address : Name).append(Trim(before));
          inQuote = false;
        }
        break;
      case '<':
        Name.append(before);
        TrimInPlace(Name);
        angle = true;
        part = TAddressState::LocalPart;
        break;
      case '>':
        part = TAddressState::Name;
        Address.append(Trim(before));
        break;
      case '@':
        if (part == TAddressState::Name && angle) throw EIdEmailParseError(std::string(kOutsideAddress));
        part = TAddressState::Domain;
        Address.append(before);
        Address += '@';
        break;
      case '.':
        if (angle) {
          Address.append(Trim(before));
          Address += '.';
          rest = TrimLeft(rest.substr(cut));
          cut = 0;
        } else {
          Address.append(before);
          Address += '.';
        }
        break;
      case '\\':
        if (inQuote) {
          std::string& target = part != TAddressState::Name ? Address : Name;
          target.append(before);
          if (p + 1 < rest.size()) target += rest[p + 1];
        }
        cut = std::min(p + 2, rest.size());
        break;
    }
    rest = rest.substr(cut);
  }
  if (part != TAddressState::Name && !angle) Address.append(Trim(rest));
}

TIdEMailAddressItem& TIdEMailAddressList::Add() { return items_.emplace_back(); }

std::string TIdEMailAddressList::ListText() const {
  std::string out;
  for (const TIdEMailAddressItem& item : items_) {
    if (!out.empty()) out += ", ";
    out += item.Text();
  }
  return out;
}

void TIdEMailAddressList::SetListText(std::string_view text) {
  items_.clear();
  if (IsBlank(text)) return;
  if (text.find_first_of(":;(\", \t") == std::string_view::npos) {
    Add().SetText(TrimLeft(text));
    return;
  }

  // The entry is parsed where it is stored, so a parse failure leaves the
  // faulty entry in the list as far as it was parsed.
  auto addEntry = [this](std::string_view entry, TEmptyEntry empty) {
    Add().SetText(entry);
    if (empty == TEmptyEntry::Drop && IsEmptyEntry(items_.back())) items_.pop_back();
  };

  std::string buffer;
  int depth = 0;
  bool inQuote = false;
  std::string_view rest = text;
  auto state = [&] { return depth > 0 ? TListState::Comment : inQuote ? TListState::Quoted : TListState::Entry; };
  for (std::size_t p; (p = rest.find_first_of(kListStops[static_cast<int>(state())])) != std::string_view::npos;) {
    const char d = rest[p];
    const std::string_view before = rest.substr(0, p);
    std::size_t cut = p + 1;
    switch (d) {
      case ':':
        buffer.clear();
        break;
      case ';':
        buffer.append(before);
        // A blank buffer is cleared too: the entry parser trims it away anyway,
        // and keeping it would make runs of " ;" quadratic.
        if (!IsBlank(buffer)) addEntry(TrimLeft(buffer), TEmptyEntry::Keep);
        buffer.clear();
        break;
      case ',':
        buffer.append(before);
        addEntry(buffer, TEmptyEntry::Drop);
        buffer.clear();
        break;
      case '\\':
        buffer.append(before);
        buffer += '\\';
        if (p + 1 < rest.size()) buffer += rest[p + 1];
        cut = std::min(p + 2, rest.size());
        break;
      default:  // space, TAB, parentheses and double quote stay in the entry
        buffer.append(before);
        buffer += d;
        if (d == '(') ++depth;
        if (d == ')' && depth > 0) --depth;
        if (d == '"') inQuote = !inQuote;
        break;
    }
    rest = rest.substr(cut);
  }
  if (!IsBlank(buffer) || !IsBlank(rest)) {
    buffer.append(rest);
    addEntry(TrimLeft(buffer), TEmptyEntry::Drop);
  }
}

std::string EncodeAddressForHeader(const TIdEMailAddressItem& item, const THeaderEncoding& how) {
  return EncodeAddressForHeader(item, how.Encoding, how.Transfer, how.CharSet);
}

std::string EncodeAddressForHeader(const TIdEMailAddressItem& item, char encoding, TTransfer transfer,
                                   std::string_view charset) {
  std::string address;
  if (!platform::FromUtf8Exact(item.Address, address)) address = item.Address;
  if (item.Name.empty()) return address;
  std::string name;
  std::string out;
  if (!platform::FromUtf8Exact(item.Name, name)) {
    out = EncodeHeaderWords(item.Name, kAddressSpecials, Utf8HeaderEncoding({transfer, encoding, std::string(charset)}));
  } else {
    bool needsWords = false;
    for (unsigned char c : name) needsWords = needsWords || c < 32 || c >= 127;
    out = needsWords ? EncodeHeaderWords(name, kAddressSpecials, encoding, transfer, charset) : Quoted(name);
  }
  out += " <";
  out += address;
  out += '>';
  return out;
}

std::string EncodeAddressListForHeader(const TIdEMailAddressList& list, const THeaderEncoding& how) {
  return EncodeAddressListForHeader(list, how.Encoding, how.Transfer, how.CharSet);
}

std::string EncodeAddressListForHeader(const TIdEMailAddressList& list, char encoding, TTransfer transfer,
                                       std::string_view charset) {
  std::string out;
  for (const TIdEMailAddressItem& item : list) {
    if (!out.empty()) out += ", ";
    out += EncodeAddressForHeader(item, encoding, transfer, charset);
  }
  return out;
}

}  // namespace vornetta::message

// Conversions go straight through a table for the Latin code page, which is the
// hot path (every database value passes here); double-byte code pages use iconv.
#include "platform/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <optional>

namespace vornetta::platform {
namespace {

std::optional<Language> chosenLanguage;

// The eight places where ISO-8859-15 differs from ISO-8859-1.
constexpr std::array<std::pair<unsigned char, char16_t>, 8> kLatin9Differences{{
    {0xA4, u'\u20AC'}, {0xA6, u'\u0160'}, {0xA8, u'\u0161'}, {0xB4, u'\u017D'},
    {0xB8, u'\u017E'}, {0xBC, u'\u0152'}, {0xBD, u'\u0153'}, {0xBE, u'\u0178'},
}};

char16_t Latin9ToUnicode(unsigned char b) {
  for (auto [byte, ch] : kLatin9Differences)
    if (byte == b) return ch;
  return b;
}

char UnicodeToLatin9(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  for (auto [byte, ch] : kLatin9Differences) {
    if (ch == c) return static_cast<char>(byte);
    if (byte == c) return '?';  // the Latin-1 character this byte stood for is gone
  }
  return c <= 0xFF ? static_cast<char>(c) : '?';
}

bool IsLatin9() { return SystemLanguage() == Language::Other; }

// Runs iconv over the input; on a sequence it cannot convert, writes `replacement`
// (in the target encoding) and skips `skipUnit` input bytes.
std::string Iconv(const char* from, const char* to, std::string_view input,
                  std::string_view replacement, size_t skipUnit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  std::string out;
  out.resize(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  size_t used = 0;
  while (inLeft > 0) {
    char* dst = out.data() + used;
    size_t outLeft = out.size() - used;
    size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    used = out.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {  // EILSEQ or EINVAL: an unconvertible or cut-off sequence
      size_t skip = skipUnit;
      if (skipUnit == 2 && inLeft >= 4) {  // UTF-16LE: a surrogate pair is one character
        unsigned hi = static_cast<unsigned char>(in[1]);
        if (hi >= 0xD8 && hi <= 0xDB) skip = 4;
      }
      skip = std::min(skip, inLeft);
      in += skip;
      inLeft -= skip;
      if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
      std::memcpy(out.data() + used, replacement.data(), replacement.size());
      used += replacement.size();
    }
  }
  iconv_close(cd);
  out.resize(used);
  return out;
}

std::u16string BytesToU16(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

std::string_view U16Bytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * 2};
}

// Decodes one code point of UTF-8 at i; invalid bytes decode as U+FFFD.
char32_t NextUtf8(std::string_view s, size_t& i) {
  unsigned char c = s[i++];
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0 || c > 0xF4) return 0xFFFD;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  // An overlong form ("\xC1\xAA" for "j"), a surrogate or a value beyond
  // Unicode is no character: read as one, it would slip past every check of the shorter form.
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// iconv without replacements: false at the first sequence it cannot convert.
bool IconvExact(const char* from, const char* to, std::string_view input, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.resize(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  size_t used = 0;
  bool exact = true;
  while (inLeft > 0) {
    char* dst = out.data() + used;
    size_t outLeft = out.size() - used;
    size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    used = out.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) {
      exact = rc == 0;  // a positive count is of irreversible (approximated) conversions
      break;
    }
    if (errno != E2BIG) {
      exact = false;
      break;
    }
    out.resize(out.size() * 2);
  }
  iconv_close(cd);
  out.resize(used);
  return exact;
}

}  // namespace

std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return {};
}

Language LanguageOf(std::string_view name) {
  std::string_view lang = name.substr(0, name.find_first_of("_.@"));
  if (lang == "ja") return Language::Japanese;
  if (lang == "ko") return Language::Korean;
  if (lang == "zh") {
    std::string_view territory = name.size() > 3 && name[2] == '_' ? name.substr(3, 2) : "";
    return territory == "CN" || territory == "SG" ? Language::ChineseSimplified
                                                 : Language::ChineseTraditional;
  }
  return Language::Other;
}

Language SystemLanguage() {
  if (!chosenLanguage) chosenLanguage = LanguageOf(LocaleName());
  return *chosenLanguage;
}

void UseSystemLanguage(Language language) { chosenLanguage = language; }

const char* CodePageOf(Language language) {
  switch (language) {
    case Language::Japanese: return "CP932";
    case Language::ChineseSimplified: return "CP936";
    case Language::ChineseTraditional: return "CP950";
    case Language::Korean: return "CP949";
    case Language::Other: break;
  }
  return "ISO-8859-15";
}

const char* SystemCodePage() { return CodePageOf(SystemLanguage()); }

bool IsDbcsLeadByte(unsigned char b) {
  switch (SystemLanguage()) {
    case Language::Japanese: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case Language::ChineseSimplified:
    case Language::ChineseTraditional:
    case Language::Korean: return b >= 0x81 && b <= 0xFE;
    case Language::Other: break;
  }
  return false;
}

std::u16string ToUtf16(std::string_view text) {
  if (IsLatin9()) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = Latin9ToUnicode(static_cast<unsigned char>(text[i]));
    return out;
  }
  return BytesToU16(Iconv(SystemCodePage(), "UTF-16LE", text, U16Bytes(u"?"), 1));
}

std::string FromUtf16(std::u16string_view text) {
  if (IsLatin9()) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
        ++i;  // a surrogate pair is one character outside the code page
      out += c >= 0xD800 && c <= 0xDFFF ? '?' : UnicodeToLatin9(c);
    }
    return out;
  }
  return Iconv("UTF-16LE", SystemCodePage(), U16Bytes(text), "?", 2);
}

std::string ToUtf8(std::string_view text) {
  if (IsLatin9()) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (unsigned char b : text) AppendCodePoint(out, Latin9ToUnicode(b));
    return out;
  }
  return Iconv(SystemCodePage(), "UTF-8", text, "?", 1);
}

std::string FromUtf8(std::string_view utf8) {
  if (IsLatin9()) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) out += UnicodeToLatin9(NextUtf8(utf8, i));
    return out;
  }
  return FromUtf16(Utf8ToUtf16(utf8));
}

bool FromUtf16Exact(std::u16string_view text, std::string& out) {
  if (IsLatin9()) {
    out.clear();
    out.reserve(text.size());
    for (char16_t c : text) {
      if (c >= 0xD800 && c <= 0xDFFF) return false;
      const char b = UnicodeToLatin9(c);
      if (b == '?' && c != u'?') return false;
      out += b;
    }
    return true;
  }
  return IconvExact("UTF-16LE", SystemCodePage(), U16Bytes(text), out);
}

std::string AsUtf8(std::string_view bytes) { return IsUtf8(bytes) ? std::string(bytes) : ToUtf8(bytes); }

std::string WellFormedUtf8(std::string_view text) {
  if (IsUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const char32_t cp = NextUtf8(text, i);
    if (cp == 0xFFFD && text.substr(start, i - start) != "\xEF\xBF\xBD")
      out += '?';
    else
      out.append(text.substr(start, i - start));
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();)
    if (NextUtf8(text, i) == 0xFFFD) return false;
  return true;
}

bool FromUtf8Exact(std::string_view utf8, std::string& out) {
  if (IsLatin9()) {
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
      const char32_t c = NextUtf8(utf8, i);
      const char b = UnicodeToLatin9(c);
      if (c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF) || (b == '?' && c != U'?')) return false;
      out += b;
    }
    return true;
  }
  if (!IsUtf8(utf8)) return false;  // not UTF-8 at all
  return FromUtf16Exact(Utf8ToUtf16(utf8), out);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string wide;
  wide.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = NextUtf8(utf8, i);
    if (cp >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(cp);
    }
  }
  return wide;
}


std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendCodePoint(out, c);
  }
  return out;
}

}  // namespace vornetta::platform

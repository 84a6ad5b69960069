// The system code page: the 8-bit (or double-byte) character set of the files,
// documents and peers that are not UTF-8. It is chosen once from the locale's
// language. Inside the program every text is UTF-8; these conversions serve the
// edges where bytes leave or enter in the code page.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::platform {

// The languages whose code page or header charset differs from the Latin default.
enum class Language { Other, ChineseSimplified, ChineseTraditional, Japanese, Korean };

// The locale name in force: LC_ALL, else LC_CTYPE, else LANG; empty when none is set.
std::string LocaleName();

// Language of a locale name such as "de_DE.UTF-8" or "zh_CN"; "C", "POSIX" and "" are Other.
Language LanguageOf(std::string_view localeName);

// Language of this process: from LocaleName() unless a test chose one.
Language SystemLanguage();

// Makes the code page and the header charset follow the given language; for tests
// and for tools that must not depend on the caller's environment.
void UseSystemLanguage(Language language);

// iconv name of the code page of a language ("ISO-8859-15", "CP932", ...).
const char* CodePageOf(Language language);

// iconv name of the system code page.
const char* SystemCodePage();

// True when b starts a two-byte character in the system code page (always
// false for the single-byte Latin code page).
bool IsDbcsLeadByte(unsigned char b);

// Conversions between the system code page and Unicode. A character the target
// cannot hold becomes "?"; an invalid byte sequence in the source becomes "?" too.
std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view text);
std::string ToUtf8(std::string_view text);
std::string FromUtf8(std::string_view utf8);

// Exact conversions into the system code page: false when a character of the
// text has no place in it (out is then unspecified); the edge then writes UTF-8.
bool FromUtf16Exact(std::u16string_view text, std::string& out);
bool FromUtf8Exact(std::string_view utf8, std::string& out);
// True when the text is well-formed UTF-8.
bool IsUtf8(std::string_view text);
// The text with every byte that is not part of well-formed UTF-8 replaced by "?".
std::string WellFormedUtf8(std::string_view text);
// Bytes whose encoding nobody declared (a server's reply, a host name, a text
// of the C library) as UTF-8: as they are when they read as UTF-8, else read
// in the code page.
std::string AsUtf8(std::string_view bytes);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace vornetta::platform

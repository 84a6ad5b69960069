// Header charset choice, encoded words ("Q" and "B"), the Japanese ISO-2022-JP
// conversion, header folding and base64. Pure functions of their arguments and
// the system language; none of them fails on any input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vornetta::message {

// The header transfer; this system produces bit8 and iso2022jp only.
enum class TTransfer { bit7, bit8, iso2022jp };

// What a header is encoded with: transfer, encoding letter ('Q', 'B', or '8'
// for "leave unencoded") and the charset name written into every encoded word.
struct THeaderEncoding {
  TTransfer Transfer = TTransfer::bit8;
  char Encoding = 'Q';
  std::string CharSet = "ISO-8859-1";
};

// The address specials, passed as extra specials when a display name is encoded.
inline constexpr std::string_view kAddressSpecials = "\"(),.:;<>@[\\]";

// The width header entries are folded at.
inline constexpr std::size_t kFoldWidth = 78;

// Chooses the header encoding from the system language (platform::SystemLanguage).
THeaderEncoding ChooseHeaderEncoding();

// The encoding of a header text the code page cannot hold: UTF-8 encoded words
// with the encoding letter of `how` ("B" where `how` leaves text unencoded).
THeaderEncoding Utf8HeaderEncoding(const THeaderEncoding& how);

// Replaces the words of `value` that hold control or 8-bit characters (or one of
// `specials`) by encoded words of at most 75 characters, each holding whole
// characters, consecutive ones joined by CR LF TAB. Under the iso2022jp transfer
// the value is converted first. With the charset "UTF-8" the value is UTF-8 and
// a word holds whole UTF-8 sequences.
std::string EncodeHeaderWords(std::string_view value, std::string_view specials, char encoding,
                              TTransfer transfer, std::string_view charset);
std::string EncodeHeaderWords(std::string_view value, std::string_view specials,
                              const THeaderEncoding& how);

// Shift_JIS (CP932) to ISO-2022-JP; bytes it cannot carry are dropped.
std::string ConvertToIso2022JP(std::string_view text);

// Folds one header entry ("Name: value") after spaces, TABs and commas at the
// given width, never inside double quotes or an encoded word, keeping existing
// CR LF + space/TAB breaks. Returns the lines of the entry, the first one holding
// the name; continuation lines begin with a space or a TAB and are never empty.
std::vector<std::string> FoldHeaderLine(std::string_view line, std::size_t width = kFoldWidth);

// Base64 (standard alphabet, "=" fill, no line breaks).
class TIdEncoderMIME {
 public:
  static std::string EncodeText(std::string_view text);
};

}  // namespace vornetta::message

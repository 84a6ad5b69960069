// Header encodings. Everything here walks its input once; nothing is quadratic
// in the length of a value.
#include "message/header_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/code_page.h"

namespace vornetta::message {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kHex = "0123456789ABCDEF";
constexpr std::size_t kEncodedWordBudget = 75;
constexpr std::string_view kUtf8Label = "UTF-8";

// Bytes of the UTF-8 sequence starting at i: the lead byte and the continuation
// bytes after it (a stray byte counts alone).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  std::size_t n = 1;
  if (static_cast<unsigned char>(s[i]) >= 0xC0)
    while (i + n < s.size() && n < 4 && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

bool IsWordSeparator(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool IsControlOr8Bit(unsigned char c) { return c < 32 || c >= 127; }

class SpecialSet {
 public:
  explicit SpecialSet(std::string_view specials) {
    for (unsigned char c : specials) set_[c] = true;
  }
  bool NeedsEncoding(unsigned char c) const { return IsControlOr8Bit(c) || set_[c]; }
  bool IsEscaped(unsigned char c) const {
    return NeedsEncoding(c) || c == '=' || c == '?' || c == '_' || c == ' ';
  }

 private:
  std::array<bool, 256> set_{};
};

void AppendBase64Group(std::string& out, const unsigned char* p, std::size_t n) {
  const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (n > 1 ? std::uint32_t{p[1]} << 8 : 0) |
                          (n > 2 ? std::uint32_t{p[2]} : 0);
  out += kBase64Alphabet[(v >> 18) & 63];
  out += kBase64Alphabet[(v >> 12) & 63];
  out += n > 1 ? kBase64Alphabet[(v >> 6) & 63] : '=';
  out += n > 2 ? kBase64Alphabet[v & 63] : '=';
}

constexpr std::string_view kEnterJis = "\x1b$B";
constexpr std::string_view kLeaveJis = "\x1b(B";

// Writes one encoded run as encoded words of at most 75 characters. A word
// holds whole characters only: a double-byte character is never split, and
// under ISO-2022-JP every word starts and ends in ASCII, so each word decodes
// on its own. A base64 word is padded on its own.
class EncodedRunWriter {
 public:
  EncodedRunWriter(std::string& out, bool base64, std::string_view charset, const SpecialSet& specials)
      : out_(out), base64_(base64), utf8_(charset == kUtf8Label), specials_(specials) {
    opening_ = "=?";
    opening_.append(charset);
    opening_ += '?';
    opening_ += base64 ? 'B' : 'Q';
    opening_ += '?';
  }

  void Write(std::string_view run, bool iso2022jp) {
    words_ = 0;
    bytes_.clear();
    qLength_ = 0;
    inJis_ = false;
    if (iso2022jp)
      WriteJisUnits(run);
    else
      WriteCodePageUnits(run);
    Flush();
  }

 private:
  // Characters of the system code page: a lead byte and its trail byte together.
  void WriteCodePageUnits(std::string_view run) {
    for (std::size_t i = 0; i < run.size();) {
      const auto lead = static_cast<unsigned char>(run[i]);
      std::size_t n = utf8_ ? Utf8SequenceLength(run, i) : platform::IsDbcsLeadByte(lead) && i + 1 < run.size() ? 2 : 1;
      AddUnit(run.substr(i, n), false);
      i += n;
    }
  }

  // ISO-2022-JP text: the escape sequences are written anew per word, the
  // characters in between are single ASCII bytes or JIS X 0208 pairs.
  void WriteJisUnits(std::string_view run) {
    bool jis = false;
    for (std::size_t i = 0; i < run.size();) {
      const std::string_view rest = run.substr(i);
      if (rest.starts_with(kEnterJis) || rest.starts_with(kLeaveJis)) {
        jis = rest.starts_with(kEnterJis);
        i += 3;
        continue;
      }
      const std::size_t n = jis && i + 1 < run.size() ? 2 : 1;
      AddUnit(run.substr(i, n), jis);
      i += n;
    }
  }

  std::size_t QLength(std::string_view bytes) const {
    std::size_t n = 0;
    for (unsigned char c : bytes) n += c != ' ' && specials_.IsEscaped(c) ? 3 : 1;
    return n;
  }

  // Encoded length of the current word with these bytes appended.
  std::size_t LengthWith(std::string_view prefix, std::string_view unit, std::string_view suffix) const {
    if (base64_) return (bytes_.size() + prefix.size() + unit.size() + suffix.size() + 2) / 3 * 4;
    return qLength_ + QLength(prefix) + QLength(unit) + QLength(suffix);
  }

  void AddUnit(std::string_view unit, bool jis) {
    std::string_view prefix = jis == inJis_ ? std::string_view() : jis ? kEnterJis : kLeaveJis;
    const std::string_view suffix = jis ? kLeaveJis : std::string_view();
    // An empty word always takes the unit, so a long charset name cannot loop.
    if (!bytes_.empty() && opening_.size() + 2 + LengthWith(prefix, unit, suffix) > kEncodedWordBudget) {
      Flush();
      prefix = jis ? kEnterJis : std::string_view();
    }
    Append(prefix);
    Append(unit);
    inJis_ = jis;
  }

  void Append(std::string_view bytes) {
    bytes_.append(bytes);
    if (!base64_) qLength_ += QLength(bytes);
  }

  void Flush() {
    if (inJis_) Append(kLeaveJis);
    if (words_++ > 0) out_ += "\r\n\t";
    out_ += opening_;
    if (base64_) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data());
      for (std::size_t i = 0; i < bytes_.size(); i += 3)
        AppendBase64Group(out_, p + i, std::min<std::size_t>(3, bytes_.size() - i));
    } else {
      AppendQ(bytes_);
    }
    out_ += "?=";
    bytes_.clear();
    qLength_ = 0;
    inJis_ = false;
  }

  void AppendQ(std::string_view bytes) {
    for (unsigned char c : bytes) {
      if (c == ' ') {
        out_ += '_';
      } else if (specials_.IsEscaped(c)) {
        out_ += '=';
        out_ += kHex[c >> 4];
        out_ += kHex[c & 15];
      } else {
        out_ += static_cast<char>(c);
      }
    }
  }

  std::string& out_;
  const bool base64_;
  const bool utf8_;
  const SpecialSet& specials_;
  std::string opening_;
  std::string bytes_;        // the current word's bytes, not yet encoded
  std::size_t qLength_ = 0;  // their length in the "Q" form
  std::size_t words_ = 0;
  bool inJis_ = false;
};

// JIS X 0208 codes of the half-width katakana 0xA1..0xDF (JIS X 0201).
constexpr std::array<std::uint16_t, 63> kHalfWidthKana{
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529,
    0x2563, 0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B,
    0x252D, 0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541,
    0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555,
    0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

// The JIS code of a half-width kana combined with the mark that follows it, or 0.
std::uint16_t CombinedKana(unsigned char kana, unsigned char mark) {
  if (mark == kVoicedMark) {
    if (kana == 0xB3) return 0x2574;                                  // u -> vu
    if ((kana >= 0xB6 && kana <= 0xC4) || (kana >= 0xCA && kana <= 0xCE))  // k, s, t, h rows
      return kHalfWidthKana[kana - 0xA1] + 1;
  } else if (mark == kSemiVoicedMark && kana >= 0xCA && kana <= 0xCE) {
    return kHalfWidthKana[kana - 0xA1] + 2;
  }
  return 0;
}

bool IsSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsSjisTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// A complete RFC 2047 encoded word "=?charset?X?text?=" starting at `start`
// (which holds "=?"): returns the index just after it, or `start` when the text
// there is not one. Looks at most a bounded distance ahead.
std::size_t EncodedWordEnd(std::string_view s, std::size_t start) {
  constexpr std::size_t kMaxLength = 128;
  const std::size_t limit = std::min(s.size(), start + kMaxLength);
  auto plain = [](unsigned char c) { return c > 32 && c < 127; };
  std::size_t i = start + 2;
  while (i < limit && s[i] != '?' && plain(s[i])) ++i;  // charset
  if (i == start + 2 || i >= limit || s[i] != '?') return start;
  if (i + 2 >= limit || !plain(s[i + 1]) || s[i + 1] == '?' || s[i + 2] != '?') return start;
  i += 3;
  while (i < limit && s[i] != '?' && plain(s[i])) ++i;  // encoded text
  if (i + 1 >= limit || s[i] != '?' || s[i + 1] != '=') return start;
  return i + 2;
}

// Copies the text with every CR or LF that does not start a "CR LF space/TAB"
// continuation replaced by a blank: a header value cannot begin a line of its own.
std::string NeutraliseBareBreaks(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] != '\r' && out[i] != '\n') continue;
    if (out[i] == '\r' && i + 2 < out.size() && out[i + 1] == '\n' &&
        (out[i + 2] == ' ' || out[i + 2] == '\t')) {
      i += 2;
      continue;
    }
    out[i] = ' ';
  }
  return out;
}

bool IsFoldPointOrBreak(char c) { return c == '\t' || c == ' ' || c == ',' || c == '\r' || c == '\n'; }

// The folding walk reads the value byte by byte in one of three states:
//
//   state        fold points                  entered by                left by
//   Text         SP, TAB, ",", CR LF SP/TAB   the start                 "=?" of a valid word, '"'
//   Quoted       none                         '"' in Text               the next '"'
//   EncodedWord  none (printable bytes only)  "=?" of a valid encoded   the byte after its "?="
//                                             word in Text
//
// In every state a double-byte lead byte takes its trail byte with it, so the
// trail is never read as one of the characters above. Outside Quoted a line
// longer than the width breaks at its last fold point, and a CR LF SP/TAB the
// value already holds always ends a line.
enum class FoldState { Text, Quoted, EncodedWord };

}  // namespace

THeaderEncoding ChooseHeaderEncoding() {
  switch (platform::SystemLanguage()) {
    case platform::Language::ChineseSimplified: return {TTransfer::bit8, 'B', "GB2312"};
    case platform::Language::ChineseTraditional: return {TTransfer::bit8, 'B', "Big5"};
    case platform::Language::Japanese: return {TTransfer::iso2022jp, 'B', "ISO-2022-JP"};
    case platform::Language::Korean: return {TTransfer::bit8, 'B', "EUC-KR"};
    case platform::Language::Other: break;
  }
  return {TTransfer::bit8, 'Q', "ISO-8859-1"};
}

THeaderEncoding Utf8HeaderEncoding(const THeaderEncoding& how) {
  return {TTransfer::bit8, how.Encoding == '8' ? 'B' : how.Encoding, std::string(kUtf8Label)};
}

std::string EncodeHeaderWords(std::string_view value, std::string_view specials,
                              const THeaderEncoding& how) {
  return EncodeHeaderWords(value, specials, how.Encoding, how.Transfer, how.CharSet);
}

std::string EncodeHeaderWords(std::string_view value, std::string_view specials, char encoding,
                              TTransfer transfer, std::string_view charset) {
  std::string converted;
  if (transfer == TTransfer::iso2022jp) {
    converted = ConvertToIso2022JP(value);
    value = converted;
  }
  if (encoding == '8') return std::string(value);
  const bool base64 = encoding == 'B' || encoding == 'b';
  const SpecialSet special(specials);

  std::string out;
  out.reserve(value.size() + value.size() / 4);
  EncodedRunWriter words(out, base64, charset, special);
  std::size_t runStart = 0, runEnd = 0;
  bool runOpen = false;
  auto closeRun = [&] {
    words.Write(value.substr(runStart, runEnd - runStart), transfer == TTransfer::iso2022jp);
    runOpen = false;
  };

  std::size_t pos = 0;
  while (pos < value.size()) {
    const std::size_t pieceStart = pos;
    while (pos < value.size() && IsWordSeparator(value[pos])) ++pos;
    const std::size_t wordStart = pos;
    bool needs = false;
    while (pos < value.size() && !IsWordSeparator(value[pos])) {
      needs = needs || special.NeedsEncoding(static_cast<unsigned char>(value[pos]));
      ++pos;
    }
    if (needs) {
      if (!runOpen) {
        out.append(value.substr(pieceStart, wordStart - pieceStart));
        runStart = wordStart;
        runOpen = true;
      }
      runEnd = pos;
    } else {
      if (runOpen) closeRun();
      out.append(value.substr(pieceStart, pos - pieceStart));
    }
  }
  if (runOpen) closeRun();
  return out;
}

std::string ConvertToIso2022JP(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2 + 8);
  bool doubleByte = false;
  auto emitJis = [&](std::uint16_t code) {
    if (!doubleByte) {
      out += "\x1b$B";
      doubleByte = true;
    }
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  };

  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (doubleByte) {
        out += "\x1b(B";
        doubleByte = false;
      }
      out += static_cast<char>(c);
    } else if (c >= 0xA1 && c <= 0xDF) {
      const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
      if (std::uint16_t combined = CombinedKana(c, next)) {
        emitJis(combined);
        ++i;
      } else {
        emitJis(kHalfWidthKana[c - 0xA1]);
      }
    } else if (IsSjisLead(c)) {
      if (i + 1 >= text.size()) break;  // a lead byte standing last
      const auto t = static_cast<unsigned char>(text[++i]);
      if (c >= 0xF0 || !IsSjisTrail(t)) continue;  // user-defined or broken pair
      const bool lowBlock = c <= 0x9F;
      unsigned j1, j2;
      if (t < 0x9F) {
        j1 = (c << 1) - (lowBlock ? 0xE1u : 0x161u);
        j2 = t - (t >= 0x80 ? 0x20u : 0x1Fu);
      } else {
        j1 = (c << 1) - (lowBlock ? 0xE0u : 0x160u);
        j2 = t - 0x7Eu;
      }
      emitJis(static_cast<std::uint16_t>((j1 << 8) | j2));
    }
    // 0x80, 0xA0 and 0xFD..0xFF are dropped.
  }
  if (doubleByte) out += "\x1b(B";
  return out;
}

std::vector<std::string> FoldHeaderLine(std::string_view line, std::size_t width) {
  const std::string text = NeutraliseBareBreaks(line);
  const std::string_view s = text;
  const std::size_t n = s.size();
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::string folded;
  folded.reserve(n + n / 32 + 4);
  std::size_t col = 1, lineStart = 0, lastFold = kNone, wordEnd = 0;
  FoldState state = FoldState::Text;
  bool existingBreak = false;
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (state == FoldState::EncodedWord && i >= wordEnd) state = FoldState::Text;
    if (state == FoldState::Text && c == '=' && i + 1 < n && s[i + 1] == '?') {
      wordEnd = EncodedWordEnd(s, i);  // i itself when the word is not valid
      if (wordEnd > i) state = FoldState::EncodedWord;
    } else if (platform::IsDbcsLeadByte(c)) {
      if (i + 1 < n) ++i;
    } else if (c == '\r' && state != FoldState::Quoted && i + 2 < n && s[i + 1] == '\n' &&
               (s[i + 2] == ' ' || s[i + 2] == '\t')) {
      i += 2;
      lastFold = i;
      existingBreak = true;
    } else if ((c == '\t' || c == ' ' || c == ',') && state == FoldState::Text) {
      lastFold = i;
    } else if (c == '"' && state != FoldState::EncodedWord) {
      state = state == FoldState::Quoted ? FoldState::Text : FoldState::Quoted;
    }
    ++i;
    ++col;
    if (state == FoldState::Quoted) continue;
    if (existingBreak || (col > width && lastFold != kNone && lastFold > lineStart)) {
      folded.append(s.substr(lineStart, lastFold + 1 - lineStart));
      col = i - lastFold;
      while (i < n && IsFoldPointOrBreak(s[i])) ++i;
      if (!existingBreak && i + 1 < n) folded += "\r\n ";
      lineStart = lastFold + 1;
      existingBreak = false;
    }
  }
  if (lineStart < n) folded.append(s.substr(lineStart));

  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= folded.size()) {
    std::size_t end = folded.find("\r\n", start);
    if (end == std::string::npos) end = folded.size();
    std::size_t last = end;
    while (last > start && static_cast<unsigned char>(folded[last - 1]) <= 32) --last;
    if (lines.empty() || last > start) lines.emplace_back(folded, start, last - start);
    if (end == folded.size()) break;
    start = end + 2;
  }
  return lines;
}

std::string TIdEncoderMIME::EncodeText(std::string_view text) {
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size(); i += 3)
    AppendBase64Group(out, p + i, std::min<std::size_t>(3, text.size() - i));
  return out;
}

}  // namespace vornetta::message

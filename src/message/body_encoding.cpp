#include "message/body_encoding.h"

#include <string.h>

#include <algorithm>

#include "message/header_encoding.h"
#include "message/message_writer.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

constexpr std::size_t kMaxEncodedLine = 76;
constexpr std::string_view kHex = "0123456789ABCDEF";

bool IsLiteral(unsigned char c) { return (c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t'; }

// One line without breaks.
void SendEncodedLine(TIdLineWriter& out, std::string_view line) {
  std::string encoded;
  encoded.reserve(kMaxEncodedLine + 1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    char token[3] = {static_cast<char>(c), 0, 0};
    std::size_t length = 1;
    if (!IsLiteral(c) || (last && (c == ' ' || c == '\t'))) {
      token[0] = '=';
      token[1] = kHex[c >> 4];
      token[2] = kHex[c & 15];
      length = 3;
    }
    // A soft break "=" ends every line but the last, so it needs room too.
    const std::size_t limit = last ? kMaxEncodedLine : kMaxEncodedLine - 1;
    if (encoded.size() + length > limit) {
      encoded += '=';
      SendDotStuffed(out, encoded);
      encoded.clear();
    }
    encoded.append(token, length);
  }
  SendDotStuffed(out, encoded);
}

// Whether a line (ended by CR or LF) is longer than kMaxLineOctets once a
// leading "." is doubled. From each line's start it jumps to the last break
// within the longest line allowed: a report of short lines costs two scans per
// kilobyte instead of two calls per line. Every line passed over ends before
// that break, so it is shorter than the limit even with a doubled dot.
bool HasOverlongLine(std::string_view text) {
  for (std::size_t start = 0;;) {
    const std::size_t limit = kMaxLineOctets - (start < text.size() && text[start] == '.' ? 1 : 0);
    if (text.size() - start <= limit) return false;
    const char* window = text.data() + start;
    std::size_t next = 0;  // just behind the last break in the window, 0: none
    for (const char brk : {'\n', '\r'}) {
      if (const void* at = memrchr(window, brk, limit + 1))
        next = std::max(next, static_cast<std::size_t>(static_cast<const char*>(at) - window) + 1);
    }
    if (next == 0) return true;
    start += next;
  }
}

}  // namespace

bool BodyInIso2022JP(const TIdMessage& msg) {
  return msg.HeaderEncoding().Transfer == TTransfer::iso2022jp && msg.CharSet != kUtf8CharSet;
}

bool NeedsQuotedPrintable(const std::vector<std::string>& body, bool iso2022jp) {
  for (const std::string& line : body)
    if (NeedsQuotedPrintable(std::string_view(line), iso2022jp)) return true;
  return false;
}

bool NeedsQuotedPrintable(std::string_view body, bool iso2022jp) {
  std::string converted;
  std::string_view text = body;
  if (iso2022jp) {  // line breaks stay as they are in the conversion
    converted = ConvertToIso2022JP(body);
    text = converted;
  }
  return HasOverlongLine(text);
}

void SendQuotedPrintable(TIdLineWriter& out, std::string_view line) {
  platform::ForEachLine(
      line, [&out](std::string_view piece) { SendEncodedLine(out, piece); }, platform::FinalBreak::StartsEmptyLine);
}

}  // namespace vornetta::message

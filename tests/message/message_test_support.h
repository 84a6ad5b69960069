// Shared pieces of the message tests: a line collector, a language guard and an
// RFC 2047 decoder written apart from the encoder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <string>
#include <string_view>
#include <vector>

#include "message/line_writer.h"
#include "platform/code_page.h"

namespace vornetta::message::test {

class LineCollector : public TIdLineWriter {
 public:
  void SendLine(std::string_view line) override { lines.emplace_back(line); }
  // What the server would receive.
  std::string Wire() const {
    std::string out;
    for (const std::string& line : lines) out.append(line).append("\r\n");
    return out;
  }
  std::vector<std::string> lines;
};

// Sets the system language for one test and restores the Latin default after it.
class LanguageScope {
 public:
  explicit LanguageScope(platform::Language language) { platform::UseSystemLanguage(language); }
  ~LanguageScope() { platform::UseSystemLanguage(platform::Language::Other); }
};

// Decodes a header value: continuation breaks removed, encoded words replaced by
// their bytes, whitespace between two adjacent encoded words dropped. The
// charsets are returned in `charsets` (one per encoded word).
inline std::string DecodeEncodedWords(std::string_view value, std::vector<std::string>* charsets = nullptr) {
  std::string unfolded;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      ++i;
      continue;
    }
    unfolded += value[i];
  }
  auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  auto b64 = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
  };
  std::string out, pendingSpace;
  bool lastWasEncoded = false;
  std::size_t i = 0;
  while (i < unfolded.size()) {
    if (unfolded.compare(i, 2, "=?") == 0) {
      const std::size_t q1 = unfolded.find('?', i + 2);
      const std::size_t q2 = q1 == std::string::npos ? q1 : unfolded.find('?', q1 + 1);
      const std::size_t end = q2 == std::string::npos ? q2 : unfolded.find("?=", q2 + 1);
      if (end != std::string::npos && q2 == q1 + 2) {
        if (charsets) charsets->push_back(unfolded.substr(i + 2, q1 - i - 2));
        const char letter = unfolded[q1 + 1];
        const std::string text = unfolded.substr(q2 + 1, end - q2 - 1);
        if (!lastWasEncoded) out += pendingSpace;
        pendingSpace.clear();
        if (letter == 'Q') {
          for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] == '_') out += ' ';
            else if (text[k] == '=' && k + 2 < text.size()) {
              out += static_cast<char>(hex(text[k + 1]) * 16 + hex(text[k + 2]));
              k += 2;
            } else out += text[k];
          }
        } else {
          unsigned bits = 0;
          int count = 0;
          for (char c : text) {
            const int v = b64(c);
            if (v < 0) continue;
            bits = (bits << 6) | static_cast<unsigned>(v);
            count += 6;
            if (count >= 8) {
              count -= 8;
              out += static_cast<char>((bits >> count) & 0xFF);
            }
          }
        }
        lastWasEncoded = true;
        i = end + 2;
        continue;
      }
    }
    if (unfolded[i] == ' ' || unfolded[i] == '\t') {
      pendingSpace += unfolded[i++];
      continue;
    }
    out += pendingSpace;
    pendingSpace.clear();
    out += unfolded[i++];
    lastWasEncoded = false;
  }
  return out + pendingSpace;
}

// Runs Python's own header decoder over `headerLines` (the lines of one
// header entry) and returns the decoded value as UTF-8.
inline std::string PythonDecodeHeader(const std::vector<std::string>& headerLines) {
  char path[] = "/tmp/vornetta_header_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "<no temporary file>";
  {
    std::ofstream file(path, std::ios::binary);
    for (const std::string& line : headerLines) file << line << "\r\n";
  }
  const std::string script =
      "import sys, email, email.header, email.policy\n"
      "raw = open(sys.argv[1], 'rb').read()\n"
      "msg = email.message_from_bytes(raw + b'\\r\\n')\n"
      "name = list(msg.keys())[0]\n"
      "value = msg.get(name)\n"
      "text = str(email.header.make_header(email.header.decode_header(value)))\n"
      "sys.stdout.buffer.write(text.encode('utf-8'))\n";
  const std::string command = "/usr/bin/python3 -c \"$VORNETTA_DECODE\" " + std::string(path);
  setenv("VORNETTA_DECODE", script.c_str(), 1);
  std::string result;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.append(buf, n);
    if (pclose(pipe) != 0) result = "<python failed>";
  }
  ::close(fd);
  std::remove(path);
  return result;
}

}  // namespace vornetta::message::test

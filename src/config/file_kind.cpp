#include "config/file_kind.h"

#include <sys/stat.h>

#include <array>
#include <fstream>
#include <iterator>

namespace vornetta::config {
namespace {

constexpr std::size_t kProbedBytes = 4096;
constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";

// Beginnings of files that are surely no text: a NUL is not needed to see them.
constexpr std::array<std::string_view, 8> kBinarySignatures = {
    "\x7f" "ELF", "SQLite format 3", "%PDF-", "PK\x03\x04", "\x1f\x8b", "\x89PNG", "\xff\xd8\xff", "\xfd" "7zXZ"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool IsIniLine(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (line.empty()) return false;
  if (line.front() == '[') return line.find(']') != std::string_view::npos;
  if (line.front() == ';') return true;
  const std::size_t equals = line.find('=');
  return equals != std::string_view::npos && equals > 0;
}

bool IsBinary(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  const std::string_view head = bytes.substr(0, kProbedBytes);
  if (head.find('\0') != std::string_view::npos) return true;
  for (std::string_view signature : kBinarySignatures)
    if (head.starts_with(signature)) return true;
  return false;
}

bool HasIniLine(std::string_view bytes) {
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = bytes.find('\n', start);
    if (IsIniLine(bytes.substr(start, end - start))) return true;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool LooksLikeConfiguration(std::string_view bytes) {
  if (IsBinary(bytes)) return false;
  if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  return HasIniLine(bytes) || bytes.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

void RefuseForeignFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  std::ifstream file(path, std::ios::binary);
  std::string bytes(kProbedBytes, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  // A large file is read whole only when its beginning shows no binary and no INI line.
  if (bytes.size() == kProbedBytes && !IsBinary(bytes) && !HasIniLine(bytes)) bytes.append(std::istreambuf_iterator<char>(file), {});
  if (!file.bad() && !LooksLikeConfiguration(bytes))
    throw ENotConfigurationFile(path + " ist keine Konfigurationsdatei – nichts wurde geändert.");
}

}  // namespace vornetta::config

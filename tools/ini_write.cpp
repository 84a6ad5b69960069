// Stores values in a configuration file the way the program does (escaped line
// breaks and tabs, quoting, code page, CR LF line ends), for scripts that prepare one:
//   ini_write <file.ini> <section> <key> <value>
//   ini_write <file.ini> <section> <key> --file <text file>   line breaks kept as CR LF
//   ini_write <file.ini> <section> --text <text file>         the lines as keys 0, 1, ...
// Arguments and text files are UTF-8; the file gets the code page of the locale in
// force, the one the program reads it with under the same locale. Every write is read
// back, so a value the file cannot hold fails here instead of in the program.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/my_ini_file.h"
#include "platform/code_page.h"

namespace {

using vornetta::config::TMyIniFile;
namespace platform = vornetta::platform;

constexpr const char* kUsage =
    "usage: ini_write <file.ini> <section> <key> <value>\n"
    "       ini_write <file.ini> <section> <key> --file <text file>\n"
    "       ini_write <file.ini> <section> --text <text file>\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text with every line break (CR LF, CR or LF) as CR LF and without a final one,
// as the window stores a multi-line value.
std::string WithCrLfBreaks(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      result += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    result += "\r\n";
  }
  if (result.ends_with("\r\n")) result.resize(result.size() - 2);
  return result;
}

// The text as it is, when the code page holds every character of it: the file
// stays in the code page. A character the code page lacks is an error.
std::string InCodePage(const std::string& utf8, const std::string& what) {
  std::string text;
  if (!platform::FromUtf8Exact(utf8, text)) {
    throw std::runtime_error(what + " holds a character that " + platform::SystemCodePage() +
                             " cannot hold");
  }
  return utf8;
}

void WriteValue(TMyIniFile& ini, const std::string& section, const std::string& key,
                const std::string& utf8) {
  const std::string where = "[" + section + "] " + key;
  const std::string value = InCodePage(utf8, where);
  ini.WriteValue(section, key, value);
  if (!ini.HasKey(section, key) || ini.ReadValue(section, key, "") != value) {
    throw std::runtime_error("cannot store " + where + " in " + ini.FileName());
  }
}

void WriteText(TMyIniFile& ini, const std::string& section, const std::string& utf8) {
  const std::string text = WithCrLfBreaks(InCodePage(utf8, "[" + section + "]"));
  ini.WriteText(section, text);
  if (ini.ReadText(section) != (text.empty() ? text : text + "\r\n")) {
    throw std::runtime_error("cannot store [" + section + "] in " + ini.FileName());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[2] == "--text") {
      TMyIniFile ini(args[0]);
      WriteText(ini, args[1], ReadFile(args[3]));
    } else if (args.size() == 5 && args[3] == "--file") {
      TMyIniFile ini(args[0]);
      WriteValue(ini, args[1], args[2], WithCrLfBreaks(ReadFile(args[4])));
    } else if (args.size() == 4) {
      TMyIniFile ini(args[0]);
      WriteValue(ini, args[1], args[2], args[3]);
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ini_write: %s\n", error.what());
    return 1;
  }
  return 0;
}

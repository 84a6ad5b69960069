// The configuration file as stored and read back: any file content, then one
// value written under plain names. Checks that the value reads back exactly and
// that another value of the file is not changed by the write.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/my_ini_file.h"
#include "platform/code_page.h"

using vornetta::config::TMyIniFile;

namespace {

std::string scratchFolder;

void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchFolder, ignored);
}

// One file per process, in memory where the system offers it; removed at exit.
const std::string& ScratchFile() {
  static const std::string path = [] {
    scratchFolder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/vornetta-fuzz.XXXXXX" : "/tmp/vornetta-fuzz.XXXXXX";
    if (mkdtemp(scratchFolder.data()) == nullptr) std::abort();
    std::atexit(RemoveScratchFolder);
    return scratchFolder + "/fuzz.ini";
  }();
  return path;
}

// Names the file format can hold: letters, digits and a few marks, never blank at the ends.
std::string PlainName(FuzzedDataProvider& input) {
  static constexpr char kAlphabet[] = "abcXYZ019_-.";
  std::string name;
  const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(1, 6);
  for (std::size_t i = 0; i < length; ++i) name += kAlphabet[input.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 2)];
  return name;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = PlainName(input), key = PlainName(input);
  const std::string otherSection = PlainName(input), otherKey = PlainName(input);
  const std::string value = input.ConsumeRandomLengthString(256);
  const std::string file = input.ConsumeRemainingBytesAsString();
  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out << file;
  }

  TMyIniFile ini(ScratchFile());
  const std::string otherBefore = ini.ReadValue(otherSection, otherKey, "\x01-");
  ini.WriteValue(section, key, value);
  // "##13", "##10" and "##09" are the stored forms of CR, LF and TAB: such text reads back as them.
  // Values are UTF-8; bytes that are none read back as "?".
  if (value.find("##") == std::string::npos &&
      ini.ReadValue(section, key, "\x01-") != vornetta::platform::WellFormedUtf8(value))
    std::abort();
  const bool sameKey = EqualNoCase(section, otherSection) && EqualNoCase(key, otherKey);
  if (!sameKey && ini.ReadValue(otherSection, otherKey, "\x01-") != otherBefore) std::abort();

  // The other operations on what was written: nothing may crash.
  ini.WriteText(otherSection, value);
  (void)ini.ReadText(otherSection);
  ini.RemoveKey(section, key);
  if (ini.HasKey(section, key)) std::abort();
  ini.MigrateLegacy();
  (void)ini.KeyNames(section);
  return 0;
}

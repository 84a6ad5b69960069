// The temporary folder of the tests and small whole-file helpers.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_folder.h"

namespace vornetta::config::testing {

using TempFolder = vornetta::test::TTempFolder;

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline unsigned ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

inline std::string Fixture(const std::string& name) {
  return ReadBytes(std::string(VORNETTA_CONFIG_FIXTURES) + "/" + name);
}

}  // namespace vornetta::config::testing

#include "config/command_line.h"

#include "config/file_kind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::config {

std::optional<std::string> ConfigFileParameter(const std::vector<std::string>& params) {
  for (const std::string& param : params) {
    if (param.empty() || param.front() == '-') continue;
    return param;
  }
  return std::nullopt;
}

bool HasUnattendSwitch(const std::vector<std::string>& params) {
  for (const std::string& param : params) {
    if (param.empty() || (param.front() != '-' && param.front() != '/')) continue;
    if (platform::EqualsNoCase(std::string_view(param).substr(1), "unattend")) return true;
  }
  return false;
}

std::string FullPath(const std::string& name) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(name, error);
  if (error) return name;
  return full.lexically_normal().string();
}

std::string ShownPath(const std::string& path) { return platform::WellFormedUtf8(path); }

std::string ProgramIniPath(const std::string& programPath) {
  std::filesystem::path path(FullPath(programPath));
  return path.replace_extension(".ini").string();
}

std::string ChooseConfigFile(const std::vector<std::string>& params, const std::string& programPath) {
  std::optional<std::string> name = ConfigFileParameter(params);
  std::string path = name ? FullPath(*name) : ProgramIniPath(programPath);
  RefuseForeignFile(path);
  if (!name) return path;

  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return path;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    // Someone else may have created it in between.
    if (!(errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))) {
      throw EConfigFileError("Fehler beim Erstellen der Konfigurationsdatei \"" + ShownPath(path) + "\"");
    }
  } else {
    ::close(fd);
  }
  return path;
}

}  // namespace vornetta::config

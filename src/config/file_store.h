// Whole-file reads and crash-safe whole-file replacement for the configuration
// file. The file holds a password: a file created here is readable by its owner only.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::config::detail {

enum class ReadOutcome { Read, Missing, Failed };

// Reads the whole file into bytes. Missing: no file at the path (bytes empty);
// Failed: the path exists but cannot be read as a file.
ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes);

// Writes bytes to a new file in the same folder and renames it over path, so the
// old content stays whole when anything fails. An existing file keeps its mode
// (and, where allowed, its owner); a new one gets mode 0600. A symbolic link is
// followed, the link itself stays. A file the caller may not write is left alone.
// Returns false when nothing was stored.
bool ReplaceWholeFile(const std::string& path, std::string_view bytes);

}  // namespace vornetta::config::detail

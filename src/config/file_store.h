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

// Writes bytes to a new file in the same folder (mode 0600 until the moment it
// becomes the file) and renames it over path, so the old content stays whole when
// anything fails. An existing file keeps its mode and owner: when the folder takes
// no new file, or the new one could not be given the old owner, the file is
// rewritten in place instead (RewriteInPlace). A new file gets mode 0600. A symbolic link is followed, the
// link itself stays. A file the caller may not write is left alone.
// Returns false when nothing was stored.
bool ReplaceWholeFile(const std::string& path, std::string_view bytes);

// Writes bytes over the file itself (a link followed), keeping owner, mode and
// inode. A kill at any moment leaves the old or the new content whole: the new
// content is first stored, synced, in a private copy in the user's state folder
// ($XDG_STATE_HOME/vornetta, else ~/.local/state/vornetta) from which
// RecoverInterruptedRewrite finishes a write that was cut off. Without that
// folder nothing is written. Returns false when the file keeps its old content.
bool RewriteInPlace(const std::string& path, std::string_view bytes);

// Finishes the rewrite in place of the file that a killed process left cut
// off, and removes its copy once the file is whole. Never fails.
void RecoverInterruptedRewrite(const std::string& path);

// Removes temporaries of the file left by writes that were killed: those of this
// user that no living process holds. Never fails.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace vornetta::config::detail

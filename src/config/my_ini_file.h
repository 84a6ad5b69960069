// The configuration file: an INI file whose values escape line breaks and tabs,
// whose reads can store their default, and which keeps multi-line texts as
// sections of numbered keys. Every operation works on the file itself: a read
// sees the file's current content, a write stores at once.
//
// Names, values and texts go in and come out as UTF-8. A file that begins with
// the UTF-8 byte-order mark holds UTF-8, any other file the system code page;
// the first write of a text the code page cannot hold rewrites such a file as
// UTF-8 with the byte-order mark, every value converted.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vornetta::config {

// A configuration file that cannot be found or created; what() is the message shown.
class EConfigFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TMyIniFile {
 public:
  // Opens the file at path. Nothing is created here; a rewrite that a kill cut
  // off is finished, and copies of the file left behind by killed writes are removed.
  explicit TMyIniFile(std::string path);

  // The default location: parameter 1 (params[0]) when it is not empty, begins
  // with neither "-" nor "/" and ends in ".ini" (any case), expanded against the
  // current directory; otherwise programPath with its extension replaced by ".ini".
  // Throws EConfigFileError "Konfigurationsdatei \"<path>\" nicht gefunden" when
  // the named ".ini" file does not exist.
  static std::string DefaultPath(const std::vector<std::string>& params,
                                 const std::string& programPath);
  static TMyIniFile OpenDefault(const std::vector<std::string>& params,
                                const std::string& programPath);

  const std::string& FileName() const { return path_; }

  // Reads never fail: a missing or unreadable file, section or key gives the default.
  // Writes that cannot be stored are dropped silently; the file is never left
  // half-written (the new content replaces the old one in a single rename, or,
  // where the folder takes no new file, is written over it and put back on failure).

  // Values: CR, LF and TAB are stored as "##13", "##10" and "##09". A read drops
  // blanks at both ends and one pair of matching surrounding quotes, so a value
  // that would lose something that way is written inside one more pair of
  // double quotes. Of two entries of one key the first is read and written;
  // sections of one name count as one section.
  std::string ReadValue(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  void WriteValue(const std::string& section, const std::string& key, const std::string& value);

  // Integers: written in decimal; read as decimal or "0x" hexadecimal, else the default.
  int ReadNumber(const std::string& section, const std::string& key, int defaultValue) const;
  void WriteNumber(const std::string& section, const std::string& key, int value);

  // Yes/no: written as "1" or "0"; any number other than 0 reads as yes.
  bool ReadFlag(const std::string& section, const std::string& key, bool defaultValue) const;
  void WriteFlag(const std::string& section, const std::string& key, bool value);

  // Removes every line of the key (duplicates too); the section line stays.
  void RemoveKey(const std::string& section, const std::string& key);

  // Key names of the section in file order, each name once.
  std::vector<std::string> KeyNames(const std::string& section) const;
  // A section exists when it holds at least one key.
  bool HasSection(const std::string& section) const;
  bool HasKey(const std::string& section, const std::string& key) const;

  void WriteValueIfMissing(const std::string& section, const std::string& key,
                           const std::string& value);
  void WriteFlagIfMissing(const std::string& section, const std::string& key, bool value);

  // Reads that first store the default when the key is missing (an empty default too).
  std::string ReadValueDefault(const std::string& section, const std::string& key,
                               const std::string& defaultValue);
  bool ReadFlagDefault(const std::string& section, const std::string& key, bool defaultValue);

  // A multi-line text as a section of keys "0", "1", ...: every old key of the
  // section goes, lines split at CR LF, CR or LF (no extra line for a final break).
  void WriteText(const std::string& section, const std::string& text);
  // The section's values in key order, each followed by CR LF; empty when no keys.
  std::string ReadText(const std::string& section) const;

  // Brings files of older versions up to date; run once at every start. All its
  // changes are stored in one rewrite, and values keep every byte except that
  // "|||" in the three HTML blocks becomes a stored line break.
  void MigrateLegacy();

 private:
  std::string path_;
};

}  // namespace vornetta::config

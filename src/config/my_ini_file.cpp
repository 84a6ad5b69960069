#include "config/my_ini_file.h"

#include <climits>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

#include "config/command_line.h"
#include "config/file_store.h"
#include "config/ini_document.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::config {

using detail::IniDocument;

namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool HasSurroundingQuotes(std::string_view raw) {
  return raw.size() >= 2 && IsQuote(raw.front()) && raw.back() == raw.front();
}

std::string_view WithoutQuotes(std::string_view raw) {
  return HasSurroundingQuotes(raw) ? raw.substr(1, raw.size() - 2) : raw;
}

// CR, LF and TAB become "##13", "##10" and "##09". One pass gives the same text
// as the three replacements in that order, because none of them makes another match.
std::string Escape(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size() + 16);
  for (char c : value) {
    switch (c) {
      case '\r': escaped += "##13"; break;
      case '\n': escaped += "##10"; break;
      case '\t': escaped += "##09"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// "##13", "##10" and "##09" back to CR, LF and TAB. The three patterns cannot
// overlap and a replacement cannot complete a pattern, so one pass equals the
// three replacements in order.
std::string Unescape(std::string_view stored) {
  std::string value;
  value.reserve(stored.size());
  std::size_t i = 0;
  while (i < stored.size()) {
    if (stored[i] == '#' && i + 3 < stored.size() && stored[i + 1] == '#') {
      std::string_view code = stored.substr(i + 2, 2);
      char c = code == "13" ? '\r' : code == "10" ? '\n' : code == "09" ? '\t' : '\0';
      if (c != '\0') {
        value += c;
        i += 4;
        continue;
      }
    }
    value += stored[i++];
  }
  return value;
}

// The value as stored in a line. A value the reader would change (blanks at an
// end, or one pair of surrounding quotes) gets one more pair of double quotes,
// which every reader of the format removes again.
std::string StoredForm(std::string_view value) {
  std::string stored = Escape(value);
  bool blankEnd = !stored.empty() && (stored.front() == ' ' || stored.back() == ' ');
  if (blankEnd || HasSurroundingQuotes(stored)) stored = '"' + stored + '"';
  return stored;
}

// A file that begins with the UTF-8 byte-order mark holds UTF-8; every other
// file holds the system code page. Texts go in and come out as UTF-8.
std::string FromFile(const IniDocument& document, std::string_view bytes) {
  return document.HasByteOrderMark() ? platform::WellFormedUtf8(bytes) : platform::ToUtf8(bytes);
}

std::string ValueOf(const IniDocument& document, std::string_view raw) {
  return FromFile(document, Unescape(WithoutQuotes(raw)));
}

// A name (section or key) as the file spells it.
std::string NameInFile(const IniDocument& document, std::string_view name) {
  return document.HasByteOrderMark() ? std::string(name) : platform::FromUtf8(name);
}

// A stored text in the file's encoding: a text the code page cannot hold turns
// a code-page file into UTF-8 with the byte-order mark first.
std::string InFileEncoding(IniDocument& document, std::string utf8) {
  if (document.HasByteOrderMark()) return utf8;
  std::string codePage;
  if (platform::FromUtf8Exact(utf8, codePage)) return codePage;
  document.ConvertToUtf8();
  return utf8;
}

std::vector<std::pair<std::string, std::string>> InFileEncoding(
    IniDocument& document, std::vector<std::pair<std::string, std::string>> entries) {
  std::string joined;
  for (const auto& entry : entries) joined += entry.second;
  InFileEncoding(document, joined);  // one decision for the whole text
  for (auto& entry : entries) entry.second = InFileEncoding(document, std::move(entry.second));
  return entries;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int ParseNumber(std::string_view text, int defaultValue) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    if (!IsHexDigit(text.front())) return defaultValue;
    base = 16;
  } else if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  return platform::ParseInteger<int>(text, base).value_or(defaultValue);
}

// A text's lines as the entries "0", "1", ... in stored form.
std::vector<std::pair<std::string, std::string>> NumberedEntries(std::string_view text) {
  std::vector<std::string_view> lines = platform::SplitLines(text);
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    entries.emplace_back(platform::DecimalText(i), StoredForm(lines[i]));
  }
  return entries;
}

// The file's current content; an unreadable file reads as empty.
IniDocument Load(const std::string& path) {
  std::string bytes;
  detail::ReadWholeFile(path, bytes);
  return IniDocument(std::move(bytes));
}

// Loads the file, lets edit change the document and stores the result when it
// differs. A file that exists but cannot be read is never overwritten. Returns
// false when the change was not stored.
template <typename Edit>
bool Modify(const std::string& path, Edit edit) {
  std::string original;
  detail::ReadOutcome outcome = detail::ReadWholeFile(path, original);
  if (outcome == detail::ReadOutcome::Failed) return false;
  IniDocument document(std::move(original));
  if (!edit(document)) return false;
  if (!document.Modified()) return true;
  return detail::ReplaceWholeFile(path, document.Serialize());
}

}  // namespace

TMyIniFile::TMyIniFile(std::string path) : path_(std::move(path)) {
  detail::RecoverInterruptedRewrite(path_);
  detail::RemoveStaleTemporaries(path_);
}

std::string TMyIniFile::DefaultPath(const std::vector<std::string>& params,
                                    const std::string& programPath) {
  if (!params.empty()) {
    const std::string& name = params.front();
    bool iniName = name.size() >= 4 && platform::EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".ini");
    if (!name.empty() && name.front() != '-' && name.front() != '/' && iniName) {
      std::string path = FullPath(name);
      struct stat st {};
      if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        throw EConfigFileError("Konfigurationsdatei \"" + ShownPath(path) + "\" nicht gefunden");
      }
      return path;
    }
  }
  return ProgramIniPath(programPath);
}

TMyIniFile TMyIniFile::OpenDefault(const std::vector<std::string>& params,
                                   const std::string& programPath) {
  return TMyIniFile(DefaultPath(params, programPath));
}

std::string TMyIniFile::ReadValue(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) const {
  IniDocument document = Load(path_);
  std::optional<std::string_view> raw =
      document.RawValue(NameInFile(document, section), NameInFile(document, key));
  return raw ? ValueOf(document, *raw) : defaultValue;
}

void TMyIniFile::WriteValue(const std::string& section, const std::string& key, const std::string& value) {
  std::string stored = StoredForm(value);
  Modify(path_, [&](IniDocument& document) {
    std::string inFile = InFileEncoding(document, stored);
    return document.Set(NameInFile(document, section), NameInFile(document, key), inFile);
  });
}

int TMyIniFile::ReadNumber(const std::string& section, const std::string& key, int defaultValue) const {
  IniDocument document = Load(path_);
  std::optional<std::string_view> raw = document.RawValue(section, key);
  return raw ? ParseNumber(ValueOf(document, *raw), defaultValue) : defaultValue;
}

void TMyIniFile::WriteNumber(const std::string& section, const std::string& key, int value) {
  WriteValue(section, key, platform::DecimalText(value));
}

bool TMyIniFile::ReadFlag(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadNumber(section, key, defaultValue ? 1 : 0) != 0;
}

void TMyIniFile::WriteFlag(const std::string& section, const std::string& key, bool value) {
  WriteValue(section, key, value ? "1" : "0");
}

void TMyIniFile::RemoveKey(const std::string& section, const std::string& key) {
  Modify(path_, [&](IniDocument& document) {
    return document.Remove(NameInFile(document, section), NameInFile(document, key));
  });
}

std::vector<std::string> TMyIniFile::KeyNames(const std::string& section) const {
  IniDocument document = Load(path_);
  std::vector<std::string> names;
  for (const auto& [name, raw] : document.Entries(NameInFile(document, section)))
    names.push_back(FromFile(document, name));
  return names;
}

bool TMyIniFile::HasSection(const std::string& section) const {
  IniDocument document = Load(path_);
  return !document.Entries(NameInFile(document, section)).empty();
}

bool TMyIniFile::HasKey(const std::string& section, const std::string& key) const {
  IniDocument document = Load(path_);
  return document.RawValue(NameInFile(document, section), NameInFile(document, key)).has_value();
}

void TMyIniFile::WriteValueIfMissing(const std::string& section, const std::string& key,
                                     const std::string& value) {
  std::string stored = StoredForm(value);
  Modify(path_, [&](IniDocument& document) {
    return document.RawValue(section, key) || document.Set(section, key, InFileEncoding(document, stored));
  });
}

void TMyIniFile::WriteFlagIfMissing(const std::string& section, const std::string& key, bool value) {
  WriteValueIfMissing(section, key, value ? "1" : "0");
}

std::string TMyIniFile::ReadValueDefault(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
  std::string value = defaultValue;
  std::string stored = StoredForm(defaultValue);
  bool found = false;
  bool storedOk = Modify(path_, [&](IniDocument& document) {
    const std::string sectionName = NameInFile(document, section);
    const std::string keyName = NameInFile(document, key);
    if (std::optional<std::string_view> raw = document.RawValue(sectionName, keyName)) {
      value = ValueOf(document, *raw);
      found = true;
      return true;
    }
    std::string inFile = InFileEncoding(document, stored);
    if (!document.Set(sectionName, keyName, inFile)) return false;
    // What a read of the file now returns.
    value = ValueOf(document, *document.RawValue(sectionName, keyName));
    return true;
  });
  return found || storedOk ? value : defaultValue;
}

bool TMyIniFile::ReadFlagDefault(const std::string& section, const std::string& key, bool defaultValue) {
  WriteFlagIfMissing(section, key, defaultValue);
  return ReadFlag(section, key, defaultValue);
}

void TMyIniFile::WriteText(const std::string& section, const std::string& text) {
  std::vector<std::pair<std::string, std::string>> entries = NumberedEntries(text);
  // One rewrite that gives the file the single writes would give it.
  Modify(path_, [&](IniDocument& document) {
    entries = InFileEncoding(document, std::move(entries));
    document.Clear(section);
    return document.Append(section, entries);
  });
}

std::string TMyIniFile::ReadText(const std::string& section) const {
  IniDocument document = Load(path_);
  std::string text;
  for (const auto& [name, raw] : document.Entries(section)) text.append(Unescape(WithoutQuotes(raw))).append("\r\n");
  return FromFile(document, text);
}

void TMyIniFile::MigrateLegacy() {
  // One rewrite for all steps: the old script is never gone before its new section is stored.
  Modify(path_, [](IniDocument& document) {
    if (std::optional<std::string_view> oldScript = document.RawValue("datenbank", "sql")) {
      if (document.Entries("sql").empty()) {
        std::string script = platform::ReplaceAll(ValueOf(document, *oldScript), "|||", "\r\n");
        document.Clear("sql");
        if (!document.Append("sql", InFileEncoding(document, NumberedEntries(script)))) return false;
      }
      document.Remove("datenbank", "sql");
    }
    document.Remove("datenbank", "summierung");

    // "|||" becomes an escaped line break in the stored text itself, so the
    // rewrite keeps every other byte (quotes and blanks included) as it was.
    for (const char* key : {"kopfzeile", "fusszeile", "css"}) {
      std::optional<std::string_view> raw = document.RawValue("email", key);
      std::string updated = raw ? platform::ReplaceAll(*raw, "|||", "##13##10") : std::string();
      if (!raw || updated != *raw) document.Set("email", key, updated);
    }
    return true;
  });
}

}  // namespace vornetta::config

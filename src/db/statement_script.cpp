#include "db/statement_script.h"

#include "platform/text.h"

namespace vornetta::db {
namespace {

// Separators are line breaks by the time the text is trimmed, so they go with the blanks.
bool IsTrimmed(char c) { return platform::IsControlOrSpace(c) || c == ';'; }

}  // namespace

// Every line of the script ends in a blank (its line break), then each ";" ends a
// line; the whole text is trimmed once, so only the outer statements lose blanks.
std::vector<std::string> SplitStatements(std::string_view script) {
  std::string joined = platform::LineBreaksToSpaces(script);
  if (!script.empty() && script.back() != '\r' && script.back() != '\n') joined += ' ';

  const std::string_view text = platform::TrimIf(joined, IsTrimmed);

  std::vector<std::string> statements;
  if (text.empty()) return statements;
  // After trimming, no ";" can stand at either end of the text, so every
  // separator lies between two statements.
  size_t start = 0;
  for (;;) {
    size_t end = text.find(';', start);
    statements.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return statements;
}

}  // namespace vornetta::db

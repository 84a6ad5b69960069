// Cutting the statement script into statements: every ";" separates, line breaks
// become blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"

namespace vornetta::db {

// Throws nothing.
std::vector<std::string> SplitStatements(std::string_view script);

// A statement and how its bytes are to be read.
struct TStatementText {
  std::string text;
  platform::TextEncoding encoding = platform::TextEncoding::CodePage;
};

// The statements of a script in the given encoding. Of a UTF-8 script, every
// statement the code page can hold is given in the code page, so only the
// statements that need it travel as UTF-8.
std::vector<TStatementText> SplitStatements(std::string_view script, platform::TextEncoding encoding);

}  // namespace vornetta::db

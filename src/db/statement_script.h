// Cutting the statement script into statements: every ";" separates, line breaks
// become blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornetta::db {

// Throws nothing.
std::vector<std::string> SplitStatements(std::string_view script);

}  // namespace vornetta::db

// The statement script cut into statements: any bytes. Checks that no statement
// holds a separator or a line break and that no other character is lost.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "db/statement_script.h"

namespace {

// Characters that carry the statements: everything but blanks, control characters and ";".
std::size_t Carried(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += static_cast<unsigned char>(c) > ' ' && c != ';';
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view script(reinterpret_cast<const char*>(data), size);
  std::size_t carried = 0;
  for (const std::string& statement : vornetta::db::SplitStatements(script)) {
    if (statement.find_first_of(";\r\n") != std::string::npos) std::abort();
    carried += Carried(statement);
  }
  if (carried != Carried(script)) std::abort();
  return 0;
}

// Translation of the stored connection string for the driver manager. Any text
// must translate without a crash; in the two translated forms, user, password,
// server and database values of any content must arrive as exactly those values
// and can never add or replace another key.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "db/connection_string.h"

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

// An ODBC connection string read as the driver manager reads it: "key=value;",
// a value in braces may hold anything, "}}" standing for "}". A key given twice aborts.
std::map<std::string, std::string> OdbcPairs(std::string_view text) {
  std::map<std::string, std::string> pairs;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t eq = text.find_first_of("=;", i);
    if (eq == std::string_view::npos) {
      if (!TrimBlanks(text.substr(i)).empty()) std::abort();  // a rest that is no pair
      break;
    }
    if (text[eq] == ';') {
      if (!TrimBlanks(text.substr(i, eq - i)).empty()) std::abort();
      i = eq + 1;
      continue;
    }
    const std::string key = Lower(TrimBlanks(text.substr(i, eq - i)));
    std::string value;
    std::size_t v = eq + 1;
    if (v < text.size() && text[v] == '{') {
      for (++v;; ++v) {
        if (v >= text.size()) std::abort();  // an open brace
        if (text[v] == '}') {
          if (v + 1 < text.size() && text[v + 1] == '}') {
            value += '}';
            ++v;
            continue;
          }
          ++v;
          break;
        }
        value += text[v];
      }
      if (v < text.size() && text[v] != ';') std::abort();  // text after the closing brace
    } else {
      const std::size_t end = text.find(';', v);
      value = std::string(text.substr(v, end == std::string_view::npos ? std::string_view::npos : end - v));
      v = end == std::string_view::npos ? text.size() : end;
    }
    if (!pairs.emplace(key, value).second) std::abort();
    i = v + 1;
  }
  return pairs;
}

// A value in the stored form: in double quotes, a quote doubled inside.
std::string Quoted(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Text the driver manager gets as a C string: no NUL inside.
std::string Value(FuzzedDataProvider& input) {
  std::string value = input.ConsumeRandomLengthString(64);
  for (char& c : value) {
    if (c == '\0') c = '0';
  }
  return value;
}

void Expect(const std::map<std::string, std::string>& pairs, const std::string& key, const std::string& value) {
  auto found = pairs.find(key);
  if (found == pairs.end() || found->second != value) std::abort();
}

// A value that names a database type ("sqlite", "postgres", ...) makes the string
// one of that type, and the translation adds that type's driver options with their
// fixed values. Those are the only keys besides the expected ones.
void DropTypeOptions(std::map<std::string, std::string>& pairs) {
  const std::map<std::string, std::string> added = {{"stepapi", "1"},         {"nocreat", "1"},
                                                    {"usedeclarefetch", "1"}, {"fetch", "1000"},
                                                    {"boolsaschar", "0"}};
  for (const auto& [key, value] : added) {
    auto found = pairs.find(key);
    if (found == pairs.end()) continue;
    if (found->second != value) std::abort();
    pairs.erase(found);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int form = input.ConsumeIntegralInRange(0, 2);
  const std::string user = Value(input), password = Value(input), database = Value(input);
  if (form == 0) {
    const std::string stored = "Provider=MSDASQL.1;Extended Properties=\"DRIVER=MariaDB;SERVER=db\";User ID=" +
                               Quoted(user) + ";Password=" + Quoted(password);
    auto pairs = OdbcPairs(vornetta::db::OdbcConnectionString(stored));
    DropTypeOptions(pairs);
    if (pairs.size() != 4) std::abort();
    Expect(pairs, "driver", "MariaDB");
    Expect(pairs, "server", "db");
    Expect(pairs, "uid", user);
    Expect(pairs, "pwd", password);
  } else if (form == 1) {
    // No comma in the server: it would name the port.
    std::string server = std::string(TrimBlanks(Value(input)));
    for (char& c : server) {
      if (c == ',') c = '.';
    }
    const std::string stored = "Provider=SQLOLEDB.1;Data Source=" + Quoted(server) + ";Initial Catalog=" +
                               Quoted(database) + ";User ID=" + Quoted(user) + ";Password=" + Quoted(password);
    auto pairs = OdbcPairs(vornetta::db::OdbcConnectionString(stored));
    DropTypeOptions(pairs);
    if (pairs.size() != 5) std::abort();
    Expect(pairs, "driver", "FreeTDS");
    Expect(pairs, "server", server);
    Expect(pairs, "database", database);
    Expect(pairs, "uid", user);
    Expect(pairs, "pwd", password);
  } else {
    (void)vornetta::db::OdbcConnectionString(input.ConsumeRemainingBytesAsString());
  }
  return 0;
}

#include "db/connection_string.h"

#include "db/database_type.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vornetta::db {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

using platform::Trim;
using platform::LowerAscii;

struct TValue {
  std::string text;
  size_t after;  // the position after the value; its piece ends at the next ";" from there
};

// The "key=value" pieces of a connection string, separated by ";", keys trimmed
// and lower-cased; a piece without "=" carries nothing. `readValue(text, v)`
// reads the value that starts at v, after the blanks that lead it.
template <typename ReadValue>
Pairs SplitPairs(std::string_view text, std::string_view blanks, ReadValue readValue) {
  Pairs pairs;
  size_t i = 0;
  while (i < text.size()) {
    const size_t eq = text.find_first_of("=;", i);
    if (eq == std::string_view::npos) break;
    if (text[eq] == ';') {
      i = eq + 1;
      continue;
    }
    std::string key = LowerAscii(Trim(text.substr(i, eq - i)));
    const size_t v = std::min(text.find_first_not_of(blanks, eq + 1), text.size());
    TValue value = readValue(text, v);
    const size_t end = text.find(';', value.after);
    pairs.emplace_back(std::move(key), std::move(value.text));
    i = end == std::string_view::npos ? text.size() : end + 1;
  }
  return pairs;
}

// A plain value: everything up to the next ";", trimmed.
TValue PlainValue(std::string_view text, size_t v) {
  const size_t end = std::min(text.find(';', v), text.size());
  return {std::string(Trim(text.substr(v, end - v))), v};
}

// A value between `open` and `close`, where a doubled `close` stands for itself.
TValue EnclosedValue(std::string_view text, size_t v, char close) {
  std::string value;
  for (++v; v < text.size(); ++v) {
    if (text[v] == close) {
      if (v + 1 < text.size() && text[v + 1] == close) {
        value += close;
        ++v;
        continue;
      }
      ++v;
      break;
    }
    value += text[v];
  }
  return {std::move(value), v};
}

// Pairs of an OLE DB connection string: a value may stand in double or single
// quotes, a quote doubled inside stands for itself.
Pairs ParseOleDb(std::string_view text) {
  return SplitPairs(text, " \t", [](std::string_view t, size_t v) {
    return v < t.size() && (t[v] == '"' || t[v] == '\'') ? EnclosedValue(t, v, t[v]) : PlainValue(t, v);
  });
}

std::optional<std::string> Find(const Pairs& pairs, std::string_view key) {
  for (const auto& [k, v] : pairs)
    if (k == key) return v;
  return std::nullopt;
}

// Pairs of an ODBC connection string: a value may stand in braces, with "}}"
// inside for "}".
Pairs OdbcPairs(std::string_view text) {
  return SplitPairs(text, " ", [](std::string_view t, size_t v) {
    return v < t.size() && t[v] == '{' ? EnclosedValue(t, v, '}') : PlainValue(t, v);
  });
}

std::vector<std::string> OdbcKeys(std::string_view text) {
  std::vector<std::string> keys;
  for (auto& [key, value] : OdbcPairs(text)) keys.push_back(std::move(key));
  return keys;
}

std::string OdbcValue(std::string_view value) {
  bool plain = value.find_first_of(";{}") == std::string_view::npos && Trim(value).size() == value.size();
  if (plain) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

void AppendPair(std::string& odbc, std::string_view key, std::string_view value) {
  if (!odbc.empty() && odbc.back() != ';') odbc += ';';
  odbc += key;
  odbc += '=';
  odbc += OdbcValue(value);
  odbc += ';';
}

std::string FromMsdasql(const Pairs& pairs) {
  std::string odbc = Find(pairs, "extended properties").value_or("");
  if (Trim(odbc).empty()) {
    odbc.clear();
    if (auto dsn = Find(pairs, "data source")) AppendPair(odbc, "DSN", *dsn);
  }
  std::vector<std::string> keys = OdbcKeys(odbc);
  auto has = [&](std::string_view key) {
    for (const std::string& k : keys)
      if (k == key) return true;
    return false;
  };
  if (auto user = Find(pairs, "user id"); user && !has("uid")) AppendPair(odbc, "UID", *user);
  if (auto password = Find(pairs, "password"); password && !has("pwd")) AppendPair(odbc, "PWD", *password);
  return odbc;
}

std::string FromSqlOleDb(const Pairs& pairs) {
  std::string odbc = "DRIVER={FreeTDS};";
  if (auto source = Find(pairs, "data source")) {
    std::string_view server = *source;
    size_t comma = server.find(',');
    AppendPair(odbc, "SERVER", Trim(server.substr(0, comma)));
    if (comma != std::string_view::npos) AppendPair(odbc, "PORT", Trim(server.substr(comma + 1)));
  }
  if (auto catalog = Find(pairs, "initial catalog")) AppendPair(odbc, "DATABASE", *catalog);
  if (auto user = Find(pairs, "user id")) AppendPair(odbc, "UID", *user);
  if (auto password = Find(pairs, "password")) AppendPair(odbc, "PWD", *password);
  return odbc;
}

// NOTE: the PostgreSQL driver reads a whole result into memory unless it reads
// through a server-side cursor (UseDeclareFetch), and gives booleans as the
// texts "1" and "0" unless BoolsAsChar=0. A key the string sets itself, under
// its long or its short name, is left alone.
void AddPostgresOptions(std::string& odbc) {
  const std::vector<std::string> keys = OdbcKeys(odbc);
  auto has = [&](std::string_view name, std::string_view abbreviation) {
    for (const std::string& k : keys)
      if (k == name || k == abbreviation) return true;
    return false;
  };
  if (!has("usedeclarefetch", "b6")) AppendPair(odbc, "UseDeclareFetch", "1");
  if (!has("fetch", "a7")) AppendPair(odbc, "Fetch", "1000");
  if (!has("boolsaschar", "b5")) AppendPair(odbc, "BoolsAsChar", "0");
}

}  // namespace

std::string OdbcConnectionString(const std::string& stored) {
  const std::string lower = LowerAscii(stored);
  std::string odbc = stored;
  if (lower.find("provider") != std::string::npos) {
    Pairs pairs = ParseOleDb(stored);
    std::string provider = LowerAscii(Trim(Find(pairs, "provider").value_or("")));
    if (provider.starts_with("msdasql"))
      odbc = FromMsdasql(pairs);
    else if (provider.starts_with("sqloledb"))
      odbc = FromSqlOleDb(pairs);
  }
  // NOTE: the SQLite ODBC driver reads a whole result into memory unless StepAPI=1,
  // and creates an empty database for a mistyped file name unless NoCreat=1.
  const TDatabaseKind kind = DatabaseKindOf(stored);
  if (kind == TDatabaseKind::Sqlite) {
    const std::string lowerOdbc = LowerAscii(odbc);
    if (lowerOdbc.find("stepapi") == std::string::npos) AppendPair(odbc, "StepAPI", "1");
    if (lowerOdbc.find("nocreat") == std::string::npos) AppendPair(odbc, "NoCreat", "1");
  }
  if (kind == TDatabaseKind::PostgreSql) AddPostgresOptions(odbc);
  return odbc;
}

std::string SqliteDatabaseFile(const std::string& stored) {
  if (DatabaseKindOf(stored) != TDatabaseKind::Sqlite) return {};
  return Find(OdbcPairs(OdbcConnectionString(stored)), "database").value_or("");
}

}  // namespace vornetta::db

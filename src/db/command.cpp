#include "db/command.h"

#include "db/connection.h"
#include "db/database_error.h"
#include "db/statement_deadline.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::db {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string TCommand::ReplaceMarkers(std::string_view text, std::vector<std::string>& names) {
  std::string sql;
  sql.reserve(text.size());
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens: same result
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == ':' && i + 1 < text.size()) {
      if (text[i + 1] == ':') {
        sql += "::";
        ++i;
        continue;
      }
      size_t end = i + 1;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      if (end > i + 1) {
        names.emplace_back(text.substr(i + 1, end - i - 1));
        sql += '?';
        i = end - 1;
        continue;
      }
    }
    sql += c;
  }
  return sql;
}

TCommand::TCommand(TConnection& connection, std::string_view commandText)
    : connection_(connection), stmt_(connection.NewStatement()) {
  sql_ = ReplaceMarkers(commandText, names_);
  values_.assign(names_.size(), 0);
  indicators_.assign(names_.size(), 0);
  set_.assign(names_.size(), false);
  std::u16string wide = platform::Utf8ToUtf16(sql_);
  Check(SQLPrepareW(stmt_.Get(), reinterpret_cast<SQLWCHAR*>(wide.data()), static_cast<SQLINTEGER>(wide.size())),
        stmt_, "SQLPrepare");
}

void TCommand::SetParameter(std::string_view name, int value) {
  bool found = false;
  for (size_t i = 0; i < names_.size(); ++i) {
    if (platform::EqualsNoCase(names_[i], name)) {
      values_[i] = value;
      set_[i] = true;
      found = true;
    }
  }
  if (!found) throw EDatabaseError("Parameter " + std::string(name) + " nicht gefunden");
}

void TCommand::Execute() {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (!set_[i]) throw EDatabaseError("Parameter " + names_[i] + " hat keinen Wert");
    Check(SQLBindParameter(stmt_.Get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_SLONG,
                           SQL_INTEGER, 0, 0, &values_[i], 0, &indicators_[i]),
          stmt_, "SQLBindParameter");
  }
  const TStatementDeadline deadline(stmt_.Get(), connection_.Limits().statement);
  connection_.RunStatement(stmt_.Get(), deadline, [this] { Check(SQLExecute(stmt_.Get()), stmt_, "SQLExecute"); });
  // The result is not read; closing the cursor lets the command run again.
  SQLFreeStmt(stmt_.Get(), SQL_CLOSE);
}

}  // namespace vornetta::db

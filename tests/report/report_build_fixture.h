// The report build against a real SQLite database through ODBC, with a view
// that records what the window would be asked to do: the fixture the report
// tests share.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "db/datenbank_ado.h"
#include "platform/code_page.h"
#include "report/report_builder.h"

namespace vornetta_test {

using namespace vornetta;
using report::TReportText;

class TRecordingView : public report::TReportView {
 public:
  void ShowSourcePage() override { calls.push_back("source"); }
  void PiecesAppended(const TReportText& text) override { shownPieces = text.PieceCount(); }
  void Notice(const std::string& utf8Message) override { notices.push_back(utf8Message); }
  bool PumpEvents() override { return true; }
  void LoadPreview(std::string_view documentText) override {
    calls.push_back("preview");
    preview = documentText;
  }

  std::vector<std::string> calls;
  std::vector<std::string> notices;
  std::string preview;
  std::size_t shownPieces = 0;
};

inline const std::string kHeader =
    "<html>\r\n<style></style>\r\n<body>\r\n<div class=\"kopfzeile\">\r\n\r\n</div>\r\n";
inline const std::string kFooter = "<div class=\"fusszeile\">\r\n\r\n</div>\r\n</body></html>\r\n";

inline ::testing::AssertionResult Contains(const std::string& document, const std::string& part) {
  if (document.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing \"" << part << "\" in\n" << document;
}

class ReportBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vornetta-report-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    database_ = (dir_ / "test.db").string();
    ini_ = std::make_unique<config::TMyIniFile>((dir_ / "test.ini").string());
    ini_->WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + database_ + ";");
    Sql("create table t (Kunde text, Betrag real);"
        "insert into t values ('Meier', 12.5);"
        "insert into t values ('Huber', 7.5);"
        "create table leer (a integer);");
  }
  void TearDown() override {
    connection_.Release();
    std::setlocale(LC_ALL, "C");
    std::filesystem::remove_all(dir_);
  }

  // Runs SQL on the test database with the sqlite3 shell.
  void Sql(const std::string& sql) {
    const auto file = dir_ / "setup.sql";
    std::ofstream(file, std::ios::binary) << sql << "\n";
    const std::string command = "sqlite3 '" + database_ + "' < '" + file.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << sql;
  }

  // Builds the report for the script; the failure's message, or "" on success.
  std::string Build(const std::string& script) {
    ini_->WriteText("sql", script);
    try {
      report::BuildReport(*ini_, connection_, text_, view_);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  std::string Document() const { return std::string(text_.DocumentText()); }

  // 60 months of sales: more categories than a bar chart shows.
  void CreateSales() {
    std::string sql = "create table verkauf (monat text, umsatz real, kosten integer, tag date, notiz text);";
    for (int i = 1; i <= 60; ++i) {
      char row[200];
      std::snprintf(row, sizeof row, "insert into verkauf values ('M%02d', %d.5, %d, '2024-%02d-%02d', 'x');", i, i,
                    2 * i, (i - 1) / 28 + 1, (i - 1) % 28 + 1);
      sql += row;
    }
    Sql(sql);
  }

  std::filesystem::path dir_;
  std::string database_;
  std::unique_ptr<config::TMyIniFile> ini_;
  // The program's connection, opened from the file as the window opens it.
  db::TConnectionOwner connection_{[this] { return ini_->ReadValueDefault("datenbank", "connection", ""); }};
  TReportText text_;
  TRecordingView view_;
};
}  // namespace vornetta_test

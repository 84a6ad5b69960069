// The report build against real SQLite databases through ODBC, with a view
// that records what the window would be asked to do.
#include "report/report_builder.h"

#include "report/chart_data.h"
#include "report_build_fixture.h"

namespace {

using namespace vornetta_test;

TEST_F(ReportBuild, WritesTheCustomerExampleByteForByte) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  text_.Append("an earlier report");
  text_.SetRowCount(7);
  ASSERT_EQ(Build("select Kunde, Betrag from t order by rowid"), "");
  const std::string table =
      "<table width=\"100%\" class=\"sql0\">\r\n"
      "<tr class=\"head\">\r\n"
      "<th class=\"kunde string\">Kunde</th>\r\n"
      "<th class=\"betrag double\">Betrag</th>\r\n"
      "</tr>\r\n"
      "<tr id=\"row1\" class=\"odd\">\r\n"
      "<td class=\"kunde string\">Meier</td>\r\n"
      "<td class=\"betrag double\">12,5</td>\r\n"
      "</tr>\r\n"
      "<tr id=\"row2\" class=\"even\">\r\n"
      "<td class=\"kunde string\">Huber</td>\r\n"
      "<td class=\"betrag double\">7,5</td>\r\n"
      "</tr>\r\n"
      "<tr class=\"sum\">\r\n"
      "<th class=\"kunde string\"><span>\r\n"
      "0\r\n"
      "</span></th>\r\n"
      "<th class=\"betrag double\"><span>\r\n"
      "20\r\n"
      "</span></th>\r\n"
      "</tr>\r\n"
      "</table><br>\r\n";
  EXPECT_EQ(Document(), kHeader + table + kFooter);
  EXPECT_EQ(text_.RowCount(), 2);
  EXPECT_EQ(text_.PieceCount(), 6u + 22u + 4u);
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"source", "preview"}));
  EXPECT_EQ(view_.preview, Document());
  EXPECT_EQ(view_.shownPieces, text_.PieceCount());
  ASSERT_TRUE(connection_.IsOpen());  // kept for the next build
  // The decoration keys are written into the file by their reads.
  EXPECT_TRUE(ini_->HasKey("email", "css"));
  EXPECT_TRUE(ini_->HasKey("email", "kopfzeile"));
  EXPECT_TRUE(ini_->HasKey("email", "fusszeile"));
}

// Numbers and dates come in blocks of records: the report, its sums and row
// count are byte for byte those of a read record by record, across several
// blocks and with NULLs within them.
TEST_F(ReportBuild, BlocksOfRecordsGiveTheSameReportAsRecordByRecord) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  Sql("create table z (id integer, menge integer, preis real, betrag double, tag date, zeit timestamp);"
      "with recursive n(i) as (select 1 union all select i + 1 from n where i < 700) "
      "insert into z select i, case when i % 9 = 0 then null else i % 13 - 6 end, i * 0.1, i * 1.005, "
      "case when i % 11 = 0 then null else date('2024-01-01', '+' || i || ' days') end, "
      "datetime('2024-01-01 08:00:00', '+' || i || ' minutes') from n;");
  const std::string script = "select * from z order by id;select * from z where id < 0;select * from z order by id";
  ASSERT_EQ(Build(script), "");
  const std::string blocks = Document();
  ASSERT_GT(connection_.Get().GetData("select * from z")->RecordsPerFetch(), 1);
  connection_.Get().Connection().SetFetchesBlocks(false);
  ASSERT_EQ(Build(script), "");
  EXPECT_EQ(Document(), blocks);
  EXPECT_TRUE(Contains(blocks, "<tr id=\"row700\""));
}

TEST_F(ReportBuild, EmptyScriptGivesHeaderAndFooterButStillConnects) {
  ini_->WriteValue("email", "css", "td { color: red }\r\nth { color: blue }");
  ini_->WriteValue("email", "kopfzeile", "<h1>Bericht</h1>");
  ini_->WriteValue("email", "fusszeile", "Gruß");
  ASSERT_EQ(Build(""), "");
  const std::string header =
      "<html>\r\n<style>td { color: red }\r\nth { color: blue }</style>\r\n<body>\r\n"
      "<div class=\"kopfzeile\">\r\n<h1>Bericht</h1>\r\n</div>\r\n";
  EXPECT_EQ(Document(), header + "<div class=\"fusszeile\">\r\nGru\xDF\r\n</div>\r\n</body></html>\r\n");
  EXPECT_EQ(text_.Piece(1), "<style>td { color: red }\r\nth { color: blue }</style>");
  EXPECT_EQ(text_.RowCount(), 0);
  EXPECT_TRUE(connection_.IsOpen());

  // The connection setting is read only to create the connection object.
  ini_->RemoveKey("datenbank", "connection");
  ASSERT_EQ(Build(""), "");
  EXPECT_FALSE(ini_->HasKey("datenbank", "connection"));
  connection_.Release();
  EXPECT_NE(Build(""), "");
  EXPECT_TRUE(ini_->HasKey("datenbank", "connection"));

  ini_->WriteValue("datenbank", "connection", "Driver={No Such Driver};Database=x;");
  text_.SetRowCount(3);
  EXPECT_NE(Build(""), "");
  EXPECT_FALSE(connection_.IsOpen());
  EXPECT_EQ(Document(), header);
  EXPECT_EQ(text_.RowCount(), 0);
  EXPECT_EQ(view_.preview, header);
}

TEST_F(ReportBuild, SelectWithoutRecordsGetsEmptyRowAndZeroSums) {
  ASSERT_EQ(Build("select Kunde, Betrag, 1 as eins from t where 0"), "");
  const std::string document = Document();
  EXPECT_TRUE(Contains(document, "</tr>\r\n<tr class=\"empty\"><td colspan=\"3\">kein Ergebnis</td></tr>\r\n"
                          "<tr class=\"sum\">\r\n"));
  EXPECT_EQ(document.find("<tr id="), std::string::npos);
  EXPECT_TRUE(Contains(document, "<th class=\"betrag double\"><span>\r\n0\r\n</span></th>"));
  EXPECT_EQ(text_.RowCount(), 0);
}

TEST_F(ReportBuild, NumbersTablesByStatementAndCountsFlaggedChanges) {
  ini_->WriteFlag("datenbank", "ergebnisUpdate", false);
  ini_->WriteFlag("datenbank", "ergebnisDelete", true);
  ini_->WriteFlag("datenbank", "ergebnisInsert", true);
  ASSERT_EQ(Build("update t set Betrag = 1 where Kunde = 'Meier';\r\n"
                  "select Betrag from t order by rowid;\r\n"
                  "delete from t where Kunde = 'niemand';\r\n"
                  "insert into t values ('Schulz', 3)"),
            "");
  const std::string document = Document();
  EXPECT_EQ(document.find("class=\"sql0\""), std::string::npos);  // the update is not shown
  EXPECT_TRUE(Contains(document, "<table width=\"100%\" class=\"sql1\">"));
  EXPECT_TRUE(Contains(document, "<td class=\"betrag double\">1</td>"));  // the update ran
  EXPECT_TRUE(Contains(document, "<table width=\"100%\" class=\"sql2\">\r\n"
                          "<tr class=\"delete\"><td>0 Datens\xE4tze gel\xF6scht.</td></tr>\r\n"
                          "</table><br>\r\n"
                          "<table width=\"100%\" class=\"sql3\">\r\n"
                          "<tr class=\"insert\"><td>1 Datens\xE4tze eingef\xFCgt.</td></tr>\r\n"
                          "</table><br>\r\n<div class=\"fusszeile\">"));
  EXPECT_EQ(text_.RowCount(), 2 + 1 + 1);  // two data rows, two count tables

  ini_->WriteFlag("datenbank", "ergebnisUpdate", true);
  ini_->WriteFlag("datenbank", "ergebnisDelete", false);
  ini_->WriteFlag("datenbank", "ergebnisInsert", false);
  ASSERT_EQ(Build("update t set Betrag = 2 where Kunde = 'niemand'; delete from t; insert into t values ('A', 1)"), "");
  EXPECT_EQ(Document(), kHeader +
                            "<table width=\"100%\" class=\"sql0\">\r\n"
                            "<tr class=\"update\"><td>0 Datens\xE4tze ge\xE4ndert.</td></tr>\r\n"
                            "</table><br>\r\n" +
                            kFooter);
  EXPECT_EQ(text_.RowCount(), 1);
}

TEST_F(ReportBuild, TextTheCodePageCannotHoldTurnsTheReportIntoUtf8) {
  // NOTE: the SQLite driver passes wide text through the locale's character set.
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  Sql("create table n (\"Łukasz\" text); insert into n values ('Eilig – bitte prüfen');");
  ini_->WriteValue("email", "kopfzeile", "Umsätze");
  ini_->WriteFlag("datenbank", "ergebnisUpdate", true);
  ASSERT_EQ(Build("select * from n; update t set Betrag = 1 where 0"), "");
  EXPECT_TRUE(text_.DocumentIsUtf8());
  const std::string document = Document();
  // Every piece is UTF-8 now, those written before the value too; nothing became "?".
  EXPECT_TRUE(Contains(document, "<div class=\"kopfzeile\">\r\nUmsätze\r\n"));
  EXPECT_TRUE(Contains(document, "<th class=\"ukasz string\">Łukasz</th>"));
  EXPECT_TRUE(Contains(document, "<td class=\"ukasz string\">Eilig – bitte prüfen</td>"));
  EXPECT_TRUE(Contains(document, "<td>0 Datensätze geändert.</td>"));
  EXPECT_EQ(document.find('?'), std::string::npos);

  // The next build that fits the code page is in the code page again.
  ASSERT_EQ(Build("select Betrag from t where Betrag = 12.5"), "");
  EXPECT_FALSE(text_.DocumentIsUtf8());
  EXPECT_TRUE(Contains(Document(), "<div class=\"kopfzeile\">\r\nUms\xE4tze\r\n"));
}

TEST_F(ReportBuild, CountRowsUnderACodePageWithoutUmlautsAreUtf8) {
  platform::UseSystemLanguage(platform::Language::Japanese);
  ini_->WriteFlag("datenbank", "ergebnisDelete", true);
  const std::string message = Build("delete from t where Kunde = 'niemand'");
  platform::UseSystemLanguage(platform::Language::Other);
  ASSERT_EQ(message, "");
  EXPECT_TRUE(text_.DocumentIsUtf8());
  EXPECT_TRUE(Contains(Document(), "<tr class=\"delete\"><td>0 Datensätze gelöscht.</td></tr>"));
}

TEST(ColumnClassName, LowerCasesThenKeepsLettersAndDigits) {
  EXPECT_EQ(report::ColumnClassName("Umsatz 2024 (€)"), "umsatz2024");
  EXPECT_EQ(report::ColumnClassName("Kunde_Nr"), "kundenr");
  EXPECT_EQ(report::ColumnClassName("Änderung"), "nderung");  // only A to Z are lowered
  EXPECT_EQ(report::ColumnClassName("()"), "");
  EXPECT_EQ(report::ColumnClassName("2024"), "2024");

  EXPECT_EQ(report::ColumnClassName("番号Nr"), "nr");
}

TEST_F(ReportBuild, DerivesClassNamesAndRejectsBadOnes) {
  // Expression columns have no declared type in SQLite; table columns keep theirs under a label.
  ASSERT_EQ(Build("select Betrag as \"Umsatz 2024 (%)\", Betrag as \"(\", Betrag as \")\",\r\n"
                  "  Kunde as Kunde_Nr from t where Kunde = 'Huber'"),
            "");
  const std::string document = Document();
  EXPECT_TRUE(Contains(document, "<th class=\"umsatz2024 double\">Umsatz 2024 (%)</th>"));
  EXPECT_TRUE(Contains(document, "<td class=\" double\">7.5</td>"));  // empty names never clash
  EXPECT_TRUE(Contains(document, "<th class=\" double\"><span>\r\n7.5\r\n</span></th>"));
  EXPECT_TRUE(Contains(document, "<th class=\"kundenr string\">"));

  EXPECT_EQ(Build("select Kunde as a, Betrag as \"2024\" from t"), "''2024'' ist kein gültiger Komponentenname");
  EXPECT_EQ(Document(), kHeader +
                            "<table width=\"100%\" class=\"sql0\">\r\n<tr class=\"head\">\r\n"
                            "<th class=\"a string\">a</th>\r\n");
  EXPECT_EQ(view_.preview, Document());

  EXPECT_EQ(Build("select 1 as Brutto, 2 as brutto"), "Komponente mit der Bezeichnung brutto existiert bereits");
}

TEST_F(ReportBuild, FailureInThirdStatementKeepsTheFirstTwoAndShowsThem) {
  view_.calls.clear();
  const std::string message = Build("select Kunde from t; update t set Betrag = 0; select * from fehlt");
  EXPECT_NE(message.find("fehlt"), std::string::npos) << message;
  const std::string document = Document();
  EXPECT_TRUE(Contains(document, "class=\"sql0\""));
  EXPECT_EQ(document.find("class=\"sql2\""), std::string::npos);
  EXPECT_EQ(document.find("fusszeile"), std::string::npos);
  EXPECT_EQ(view_.preview, document);
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"source", "preview"}));
  EXPECT_EQ(text_.RowCount(), 2);
  // The footer setting is read only after the last statement; flags are read without writing.
  EXPECT_TRUE(ini_->HasKey("email", "kopfzeile"));
  EXPECT_FALSE(ini_->HasKey("email", "fusszeile"));
  EXPECT_FALSE(ini_->HasKey("datenbank", "ergebnisUpdate"));

  // The update stays executed.
  ASSERT_EQ(Build("select Betrag from t"), "");
  EXPECT_TRUE(Contains(Document(), "<span>\r\n0\r\n</span>"));
}

TEST_F(ReportBuild, UnknownOrEmptyStatementStopsTheBuild) {
  EXPECT_EQ(Build("select 1 as x;;select 2 as y"), "unbekannte Anweisung");
  EXPECT_TRUE(Contains(Document(), "class=\"sql0\""));
  EXPECT_EQ(Document().find("class=\"sql2\""), std::string::npos);
  EXPECT_EQ(Build("with x as (select 1) select * from x"), "unbekannte Anweisung");
  EXPECT_EQ(Document(), kHeader);
}

TEST_F(ReportBuild, CopiesValuesAndNamesWithoutEscaping) {
  Sql("create table m (\"<i>Name</i>\" text); insert into m values ('<b>fett</b> & mehr');"
      "insert into m values (NULL); insert into m values ('3');");
  ASSERT_EQ(Build("select * from m order by rowid"), "");
  const std::string document = Document();
  EXPECT_TRUE(Contains(document, "<th class=\"inamei string\"><i>Name</i></th>"));
  EXPECT_TRUE(Contains(document, "<td class=\"inamei string\"><b>fett</b> & mehr</td>"));
  EXPECT_TRUE(Contains(document, "<tr id=\"row2\" class=\"even\">\r\n<td class=\"inamei string\"></td>"));
  EXPECT_TRUE(Contains(document, "<tr id=\"row3\" class=\"odd\">"));
  EXPECT_TRUE(Contains(document, "<span>\r\n3\r\n</span>"));  // text columns are summed too
}

}  // namespace

namespace {

TEST_F(ReportBuild, CsvTablesFollowTheSelectsOnlyWhenAttachmentsAreOn) {
  Sql("insert into t values ('Gro\xC3\x9F; \"Ecke\"', NULL);");
  ASSERT_EQ(Build("select Kunde, Betrag from t order by Kunde;"), "");
  EXPECT_TRUE(text_.CsvTables().Empty());
  EXPECT_TRUE(ini_->HasKey("email", "anhang"));  // stored with its empty default

  ini_->WriteValue("email", "anhang", "CSV");
  ASSERT_EQ(Build("select Kunde, Betrag from t order by Kunde;\n"
                  "update t set Betrag = Betrag where 0;\n"
                  "select a from leer;"),
            "");
  const report::TCsvTables& tables = text_.CsvTables();
  ASSERT_EQ(tables.Count(), 2u);
  // Values as the report shows them, converted to UTF-8; the code-page text of
  // the report holds the umlaut as one byte.
  EXPECT_EQ(tables.Table(0),
            "\xEF\xBB\xBF" "Kunde;Betrag\r\n\"Gro\xC3\x9F; \"\"Ecke\"\"\";\r\nHuber;7.5\r\nMeier;12.5\r\n");
  EXPECT_EQ(tables.Table(1), "\xEF\xBB\xBF" "a\r\n");
  EXPECT_TRUE(Contains(Document(), "<td class=\"kunde string\">Gro\xDF; \"Ecke\"</td>"));

  // A cleared report drops its tables with it.
  text_.Clear();
  EXPECT_TRUE(text_.CsvTables().Empty());

  ini_->WriteValue("email", "anhang", "pdf");
  EXPECT_EQ(Build("select Kunde from t;"),
            "Unbekannter Wert \"pdf\" für den Anhang: erlaubt sind csv, xlsx oder ein leerer Wert (Anhang, Einstellung "
            "anhang).");
}

// A value the code page cannot hold is UTF-8 already: the table
// carries it as it is, next to the converted code-page texts.
TEST_F(ReportBuild, CsvTablesTakeUtf8ValuesUnconverted) {
  Sql("insert into t values ('Eilig \xE2\x80\x93 bitte pr\xC3\xBC" "fen', 1);");
  ini_->WriteValue("email", "anhang", "csv");
  ASSERT_EQ(Build("select Kunde from t where Betrag = 1;\n"
                  "select Kunde from t where Kunde like 'Gro%';"),
            "");
  ASSERT_TRUE(text_.DocumentIsUtf8());
  const report::TCsvTables& tables = text_.CsvTables();
  ASSERT_EQ(tables.Count(), 2u);
  EXPECT_EQ(tables.Table(0), "\xEF\xBB\xBF" "Kunde\r\n"
                       "Eilig \xE2\x80\x93 bitte pr\xC3\xBC" "fen\r\n");
  EXPECT_EQ(tables.Table(1), "\xEF\xBB\xBF" "Kunde\r\n");
}

// SQLite describes expressions and aggregates as text; their floating-point
// values read like every other number, in the cells, the sum row and the CSV
// copy, while a declared text column of digits stays text.
TEST_F(ReportBuild, SqliteExpressionsShowNumbersWithTheRegionalSeparator) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  Sql("create table u (betrag numeric(10,2), txt varchar(20), d decimal(10,2));"
      "insert into u values (3455.05, '12.5', 1.25), (3933.31, '7', 2.5);");
  ini_->WriteValue("email", "anhang", "csv");
  ASSERT_EQ(Build("select sum(betrag) as s, avg(betrag) as a, round(betrag, 1) as r from u;\n"
                  "select betrag*1.0 as m, cast(betrag as real) as c, txt, d, count(*) as n, 1e300*10 as g, "
                  "case when txt = '7' then 'x' else 0.5 end as k from u group by betrag order by betrag;"),
            "");
  const std::string document = Document();
  for (const char* part :
       {"<td class=\"s double\">7388,36</td>\r\n<td class=\"a double\">3694,18</td>\r\n"
        "<td class=\"r double\">3455,1</td>",
        "<th class=\"s double\"><span>\r\n7388,36\r\n</span></th>",
        "<td class=\"m double\">3455,05</td>\r\n<td class=\"c double\">3455,05</td>\r\n"
        "<td class=\"txt string\">12.5</td>\r\n<td class=\"d double\">1,25</td>\r\n<td class=\"n string\">1</td>\r\n"
        "<td class=\"g double\">1E301</td>\r\n<td class=\"k double\">0,5</td>",
        "<td class=\"k double\">x</td>", "<th class=\"m double\"><span>\r\n7388,36\r\n</span></th>"})
    EXPECT_TRUE(Contains(document, part));
  const report::TCsvTables& tables = text_.CsvTables();
  ASSERT_EQ(tables.Count(), 2u);
  EXPECT_EQ(tables.Table(0), "\xEF\xBB\xBF" "s;a;r\r\n7388,36;3694,18;3455,1\r\n");
  EXPECT_NE(tables.Table(1).find("\r\n3455,05;3455,05;12.5;1,25;1;1E301;0,5\r\n"), std::string::npos) << tables.Table(1);
}

TEST(CsvField, QuotesOnlyWhatRfc4180Needs) {
  EXPECT_EQ(report::CsvField(""), "");
  EXPECT_EQ(report::CsvField("12,5"), "12,5");  // the decimal comma is no separator here
  EXPECT_EQ(report::CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(report::CsvField("sagt \"ja\""), "\"sagt \"\"ja\"\"\"");
  EXPECT_EQ(report::CsvField("eins\r\nzwei"), "\"eins\r\nzwei\"");
  EXPECT_EQ(report::CsvField("nur\n"), "\"nur\n\"");
}

// Charts: the values kept from the whole result, and the settings refused.

TEST_F(ReportBuild, ChartsKeepTheWholeResultFoldingBarsBeyondFiftyAndLinesOverDates) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  CreateSales();
  ini_->WriteValue("diagramm", "0", "balken;Monat;Umsatz,Kosten");
  ini_->WriteValue("diagramm", "2", "linie;tag;UMSATZ");
  ASSERT_EQ(Build("select monat as Monat, umsatz as Umsatz, kosten as Kosten from verkauf order by monat;\n"
                  "update verkauf set notiz = 'y' where 0;\n"
                  "select tag as Tag, umsatz as Umsatz from verkauf order by tag desc;"),
            "");
  const std::vector<report::TChartData>& charts = text_.Charts();
  ASSERT_EQ(charts.size(), 2u);

  const report::TChartData& bars = charts[0];
  ASSERT_EQ(bars.labels.Size(), report::kMaxCategories);
  EXPECT_EQ(bars.labels[0], "M01");
  EXPECT_EQ(bars.labels[48], "M49");
  EXPECT_EQ(bars.labels[49], "Sonstige");
  EXPECT_DOUBLE_EQ(bars.Value(0, 0), 1.5);
  EXPECT_DOUBLE_EQ(bars.Value(0, 1), 2);
  double rest = 0;
  for (int i = 50; i <= 60; ++i) rest += i + 0.5;
  EXPECT_DOUBLE_EQ(bars.Value(49, 0), rest);
  EXPECT_FALSE(bars.dateAxis);

  const report::TChartData& line = charts[1];
  EXPECT_EQ(line.statement, 2u);
  EXPECT_TRUE(line.dateAxis);
  ASSERT_EQ(line.PointCount(), 60u);  // every row
  EXPECT_EQ(line.xs[0], 1709510400.0);  // 2024-03-04, the last date first
  EXPECT_DOUBLE_EQ(line.Value(0, 0), 60.5);

  // The image right above its table, the table as before.
  const std::string document(text_.DocumentText());
  EXPECT_NE(document.find("<img src=\"cid:diagramm-sql0@vornetta\" alt=\"Diagramm: Balken, Umsatz und Kosten nach "
                          "Monat\" width=\"800\" height=\"360\"><br>\r\n<table width=\"100%\" class=\"sql0\">"),
            std::string::npos);
  EXPECT_NE(document.find("<img src=\"cid:diagramm-sql2@vornetta\" alt=\"Diagramm: Linie, UMSATZ nach tag\""),
            std::string::npos);
  ASSERT_EQ(text_.SelectHeads().size(), 2u);
  EXPECT_EQ(text_.SelectHeads()[1].columns, (std::vector<std::string>{"Tag", "Umsatz"}));

  // An empty result still has its chart, and a report without the section none.
  ini_->RemoveKey("diagramm", "2");
  ASSERT_EQ(Build("select monat as Monat, umsatz as Umsatz, kosten as Kosten from verkauf where 0;"), "");
  ASSERT_EQ(text_.Charts().size(), 1u);
  EXPECT_EQ(text_.Charts()[0].PointCount(), 0u);
  ini_->RemoveKey("diagramm", "0");
  ASSERT_EQ(Build("select monat as Monat, umsatz as Umsatz from verkauf;"), "");
  EXPECT_TRUE(text_.Charts().empty());
  EXPECT_EQ(std::string(text_.DocumentText()).find("<img"), std::string::npos);
}

TEST_F(ReportBuild, ChartsRefuseBadSettingsNamingTheKeyAndReasonBeforeTheScriptChangesAnything) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  CreateSales();
  const std::string script =
      "update verkauf set umsatz = 0;\n"
      "select monat as Monat, umsatz as Umsatz, notiz as Notiz, tag as Tag from verkauf;";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"kreis;Monat;Umsatz",
       "Einstellung 1 im Abschnitt diagramm: unbekannte Diagrammart \"kreis\" (erlaubt sind balken, linie, flaeche, "
       "torte)"},
      {"balken;Monat", "Einstellung 1 im Abschnitt diagramm: erwartet wird ART;X-SPALTE;Y-SPALTE"},
      {"torte;Monat;Umsatz,Umsatz", "Einstellung 1 im Abschnitt diagramm: eine Torte zeigt genau eine Y-Spalte"},
  };
  for (const auto& [value, message] : cases) {
    ini_->WriteValue("diagramm", "1", value);
    EXPECT_EQ(Build(script).rfind(message, 0), 0u) << value << ": " << Build(script);
  }
  ini_->RemoveKey("diagramm", "1");
  ini_->WriteValue("diagramm", "0", "balken;Monat;Umsatz");
  EXPECT_EQ(Build(script), "Einstellung 0 im Abschnitt diagramm: Anweisung 0 ist kein select");
  ini_->RemoveKey("diagramm", "0");
  ini_->WriteValue("diagramm", "sql1", "balken;Monat;Umsatz");
  EXPECT_EQ(Build(script).rfind("Einstellung sql1 im Abschnitt diagramm: der Name muss die Nummer", 0), 0u);
  ini_->RemoveKey("diagramm", "sql1");
  ini_->WriteValue("diagramm", "7", "balken;Monat;Umsatz");
  EXPECT_EQ(Build(script).rfind("Einstellung 7 im Abschnitt diagramm: das Skript hat keine Anweisung 7", 0), 0u);
  ini_->RemoveKey("diagramm", "7");
  ASSERT_EQ(Build("select umsatz as Umsatz from verkauf where monat = 'M01';"), "");
  EXPECT_NE(std::string(text_.DocumentText()).find(">1,5</td>"), std::string::npos) << "the update ran";

  // Column checks come with the head row, still before any mail.
  const std::vector<std::pair<std::string, std::string>> columnCases = {
      {"balken;Name;Umsatz",
       "Einstellung 1 im Abschnitt diagramm: die X-Spalte \"Name\" gibt es im Ergebnis nicht (Spalten: Monat, "
       "Umsatz, Notiz, Tag)"},
      {"linie;Monat;Tag", "Einstellung 1 im Abschnitt diagramm: die Y-Spalte \"Tag\" ist nicht numerisch (Typ date)"},
      {"linie;Monat;Notiz",
       "Einstellung 1 im Abschnitt diagramm: die Y-Spalte \"Notiz\" ist nicht numerisch (Wert \"x\" in Zeile 1)"},
  };
  for (const auto& [value, message] : columnCases) {
    ini_->WriteValue("diagramm", "1", value);
    EXPECT_EQ(Build(script), message) << value;
    EXPECT_TRUE(text_.Unfinished());
  }
}

}  // namespace

TEST_F(ReportBuild, HeaderAndFooterQuoteTheResultsOfTheWholeBuild) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  ini_->WriteValue("email", "kopfzeile", "<h1>{zeilen} Posten, Summe {summe:0:Betrag}</h1> {{roh}} {unbekannt}");
  ini_->WriteValue("email", "fusszeile", "{zeilen:1} geändert, {datei}");
  ASSERT_EQ(Build("select Kunde, Betrag from t;\nupdate t set Betrag = Betrag + 0.25 where Kunde = 'Meier'"), "");
  EXPECT_FALSE(text_.DocumentIsUtf8());
  EXPECT_EQ(text_.Piece(4), "<h1>2 Posten, Summe 20</h1> {roh} {unbekannt}");
  EXPECT_TRUE(Contains(Document(), "<div class=\"fusszeile\">\r\n1 ge\xE4ndert, test\r\n</div>\r\n</body></html>\r\n"));
  EXPECT_EQ(view_.preview, Document());  // the preview shows the filled header
  const report::TReportFacts& facts = text_.Facts();
  ASSERT_EQ(facts.statements.size(), 2u);
  EXPECT_EQ(facts.statements[0].rows, 2);
  ASSERT_EQ(facts.statements[0].totals.size(), 2u);
  EXPECT_EQ(facts.statements[0].totals[1].text, "20");
  EXPECT_EQ(facts.statements[1].rows, 1);
}

TEST_F(ReportBuild, UnreadableConditionOrZoneFailsBeforeTheDatabaseIsReached) {
  const std::string insert = "insert into t values ('Neu', 1)";
  for (const auto& [key, value] : {std::pair{"sendenWenn", "zeilen:1 > 0"}, std::pair{"sendenWenn", "zeilen >> 0"},
                                   std::pair{"zeitzone", "Europa/Berlin"}}) {
    ini_->WriteValue("email", "sendenWenn", "");
    ini_->WriteValue("email", "zeitzone", "");
    ini_->WriteValue("email", key, value);
    EXPECT_TRUE(Contains(Build(insert), std::string("Einstellung ") + key)) << value;
    EXPECT_FALSE(connection_.IsOpen());
    EXPECT_TRUE(text_.Unfinished());
  }
  ini_->WriteValue("email", "sendenWenn", "zeilen:0 >= 0");
  ini_->WriteValue("email", "zeitzone", "Europe/Berlin");
  ASSERT_EQ(Build("select Kunde from t"), "");
  EXPECT_EQ(text_.RowCount(), 2);  // nothing was inserted
}

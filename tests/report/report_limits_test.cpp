// Cut tables, the size budget, number patterns and the copies of the results
// for the attachments, built against a real SQLite database.
#include <cstdio>

#include "report/number_pattern.h"
#include "report_build_fixture.h"

namespace {

using namespace vornetta_test;

class ReportLimits : public ReportBuild {
 protected:
  void SetUp() override {
    ReportBuild::SetUp();
    // 1,002 numbered rows, and a third customer.
    Sql("create table n (x integer);"
        "with recursive c(x) as (select 1 union all select x + 1 from c where x < 1002) insert into n select x from c;"
        "insert into t values ('Schulz', 5);");
  }
  static std::size_t Count(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
};

std::string Row(int recNo, std::initializer_list<std::string> cells) {
  std::string row = "<tr id=\"row" + std::to_string(recNo) + "\" class=\"" + (recNo % 2 == 0 ? "even" : "odd") + "\">\r\n";
  for (const std::string& cell : cells) row += cell + "\r\n";
  return row + "</tr>\r\n";
}

std::string Sum(const std::string& cellClass, const std::string& value) {
  return "<th class=\"" + cellClass + "\"><span>\r\n" + value + "\r\n</span></th>\r\n";
}

const std::string kTableEnd = "</tr>\r\n</table><br>\r\n";

std::string NumbersTable(const std::string& shownRows, const std::string& note) {
  return "<table width=\"100%\" class=\"sql0\">\r\n<tr class=\"head\">\r\n<th class=\"x integer\">x</th>\r\n</tr>\r\n" +
         shownRows + note + "<tr class=\"sum\">\r\n" + Sum("x integer", "502503") + kTableEnd;
}

std::string CustomerTable(const std::string& shownRows, const std::string& note) {
  return "<table width=\"100%\" class=\"sql1\">\r\n<tr class=\"head\">\r\n"
         "<th class=\"kunde string\">Kunde</th>\r\n<th class=\"betrag double\">Betrag</th>\r\n</tr>\r\n" +
         shownRows + note + "<tr class=\"sum\">\r\n" + Sum("kunde string", "0") + Sum("betrag double", "25") +
         kTableEnd;
}

const std::string kEmptyTable =
    "<table width=\"100%\" class=\"sql2\">\r\n<tr class=\"head\">\r\n<th class=\"a integer\">a</th>\r\n</tr>\r\n"
    "<tr class=\"empty\"><td colspan=\"1\">kein Ergebnis</td></tr>\r\n<tr class=\"sum\">\r\n" +
    Sum("a integer", "0") + kTableEnd;

const std::string kThreeSelects =
    "select x from n order by x;\nselect Kunde, Betrag from t order by Kunde;\nselect a from leer;";

std::string NumberRow(int x) { return Row(x, {"<td class=\"x integer\">" + std::to_string(x) + "</td>"}); }

const std::string kHuber = Row(1, {"<td class=\"kunde string\">Huber</td>", "<td class=\"betrag double\">7,5</td>"});
const std::string kMeier = Row(2, {"<td class=\"kunde string\">Meier</td>", "<td class=\"betrag double\">12,5</td>"});

// A row cap cuts every longer table after its first rows; the note row counts
// the rest with the thousands separator and names the attachment, the sums
// cover every row, and without "anhang" exactly the cut tables are attached.
TEST_F(ReportLimits, RowCapShowsTheFirstRowsANoteAndTheSumsOverAllRows) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  ini_->WriteValue("email", "zeilenMax", "2");
  ASSERT_EQ(Build(kThreeSelects), "");
  const std::string expected =
      kHeader +
      NumbersTable(NumberRow(1) + NumberRow(2),
                   "<tr class=\"mehr\"><td colspan=\"1\">\u2026 und 1.000 weitere Zeilen \u2013 vollst\u00e4ndig im "
                   "Anhang ergebnis-1.csv</td></tr>\r\n") +
      CustomerTable(kHuber + kMeier,
                    "<tr class=\"mehr\"><td colspan=\"2\">\u2026 und 1 weitere Zeile \u2013 vollst\u00e4ndig im "
                    "Anhang ergebnis-2.csv</td></tr>\r\n") +
      kEmptyTable + kFooter;
  EXPECT_EQ(Document(), expected);
  EXPECT_TRUE(text_.DocumentIsUtf8());  // the note's dash and ellipsis are outside the code page
  EXPECT_EQ(text_.RowCount(), 1005);
  EXPECT_EQ(view_.preview, Document());

  const report::TCsvTables& csv = text_.CsvTables();
  ASSERT_EQ(csv.Count(), 2u);
  EXPECT_EQ(csv.FileName(0), "ergebnis-1.csv");
  EXPECT_EQ(csv.FileName(1), "ergebnis-2.csv");
  EXPECT_EQ(Count(csv.Table(0), "\r\n"), 1003u);  // head and every row
  EXPECT_EQ(csv.Table(1), "\xEF\xBB\xBF" "Kunde;Betrag\r\nHuber;7,5\r\nMeier;12,5\r\nSchulz;5\r\n");

  // A cap no table reaches changes nothing and attaches nothing.
  ini_->WriteValue("email", "zeilenMax", "5000");
  ASSERT_EQ(Build("select Kunde, Betrag from t order by rowid"), "");
  EXPECT_EQ(Count(Document(), "<tr id="), 3u);
  EXPECT_EQ(Document().find("mehr"), std::string::npos);
  EXPECT_TRUE(text_.CsvTables().Empty());

  ini_->WriteValue("email", "zeilenMax", "-1");
  EXPECT_EQ(Build("select x from n"),
            "Unbekannter Wert \"-1\": erlaubt ist eine ganze Zahl ab 0, 0 = unbegrenzt (Zeilen je Tabelle höchstens, "
            "Einstellung zeilenMax).");
}

// The budget shows rows in statement order until the body would pass it and
// keeps room for every later table's head, note and sums, the footer and the
// closing tags: here the first table shows all rows, the second some.
TEST_F(ReportLimits, SizeBudgetCutsInsideTheSecondTable) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  ini_->WriteValue("email", "groesseMax", "2");
  ini_->WriteValue("email", "anhang", "csv");
  ASSERT_EQ(Build("select Kunde, Betrag from t order by Kunde;\nselect x from n order by x;\nselect a from leer;"), "");
  const std::string document = Document();
  EXPECT_LE(document.size(), 2048u);
  std::string numberRows;
  for (int x = 1; x <= 12; ++x) numberRows += NumberRow(x);
  std::string expected = kHeader + CustomerTable(kHuber + kMeier, "") + NumbersTable(numberRows, "") + kEmptyTable +
                         kFooter;
  // The tables in this order: the customers whole, the numbers cut.
  const std::string schulz = Row(3, {"<td class=\"kunde string\">Schulz</td>", "<td class=\"betrag double\">5</td>"});
  expected.replace(expected.find("sql1"), 4, "sql0");
  expected.replace(expected.find("sql0", expected.find("sql0") + 1), 4, "sql1");
  expected.insert(expected.find("<tr class=\"sum\">"), schulz);
  expected.insert(expected.find("<tr class=\"sum\">", expected.find("class=\"sql1\"")),
                  "<tr class=\"mehr\"><td colspan=\"1\">\u2026 und 990 weitere Zeilen \u2013 vollst\u00e4ndig im "
                  "Anhang ergebnis-2.csv</td></tr>\r\n");
  EXPECT_EQ(document, expected);
  EXPECT_GT(document.size() + NumberRow(13).size(), 2048u);  // one row more would not fit
  EXPECT_EQ(view_.preview, document);
  EXPECT_TRUE(view_.notices.empty());
  EXPECT_EQ(text_.CsvTables().Count(), 3u);  // anhang=csv attaches every table as before
}

// When the decoration alone passes the budget every table keeps only its head,
// note and sums, and the user is told.
TEST_F(ReportLimits, BudgetSmallerThanTheFixedPartsShowsNoRowsAndSaysSo) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  ini_->WriteValue("email", "groesseMax", "1");
  ini_->WriteValue("email", "css", std::string(1500, ' '));
  ASSERT_EQ(Build("select Kunde, Betrag from t order by Kunde;\nselect x from n order by x;"), "");
  const std::string document = Document();
  EXPECT_EQ(document.find("<tr id="), std::string::npos);
  EXPECT_TRUE(Contains(document, "</tr>\r\n<tr class=\"mehr\"><td colspan=\"2\">\u2026 und 3 weitere Zeilen \u2013 "
                                 "vollst\u00e4ndig im Anhang ergebnis-1.csv</td></tr>\r\n<tr class=\"sum\">"));
  EXPECT_TRUE(Contains(document, "\u2026 und 1.002 weitere Zeilen \u2013 vollst\u00e4ndig im Anhang ergebnis-2.csv"));
  EXPECT_TRUE(Contains(document, Sum("x integer", "502503")));
  ASSERT_EQ(view_.notices.size(), 1u);
  EXPECT_TRUE(Contains(view_.notices[0], "in 1 KB (Bericht höchstens, Einstellung groesseMax)"));
  EXPECT_EQ(text_.CsvTables().Count(), 2u);
}

// Patterns of section "format" on integer, double and numeric columns: cells
// and sums rounded half away from zero, grouped, negative, percent; other
// columns keep their text; an unreadable pattern stops the build.
TEST_F(ReportLimits, NumberPatternsFormatCellsAndSums) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  Sql("create table f (Menge integer, Preis real, Betrag numeric(20,4), Anteil real, Text text);"
      "insert into f values (1234567, 1997.5, -2.675, 0.125, '-5');"
      "insert into f values (-3, -0.004, 123456789012.3456, 0.5, NULL);");
  ini_->WriteValue("format", "Menge", "#.##0");
  ini_->WriteValue("format", "preis", "#.##0,00");  // the key as any case of the label
  ini_->WriteValue("format", "Betrag", "0,0");
  ini_->WriteValue("format", "Anteil", "0 %");
  ini_->WriteValue("format", "Text", "#.##0");
  ASSERT_EQ(Build("select Menge, Preis, Betrag, Anteil, Text, Anteil as Roh from f order by rowid"), "");
  const std::string document = Document();
  for (const char* cell : {">1.234.567<", ">1.997,50<", ">-2,7<", ">13 %<", ">-5<", ">0,125<",  // first row
                           ">-3<", ">0,00<", ">123456789012,3<", ">50 %<", "<td class=\"text string\"></td>"}) {
    EXPECT_TRUE(Contains(document, cell));
  }
  // Sums: 1234564, 1997.496, 123456789009.6706, 0.625 (text columns sum to 0)
  for (const char* sum : {"\r\n1.234.564\r\n", "\r\n1.997,50\r\n", "\r\n123456789009,7\r\n", "\r\n63 %\r\n"}) {
    EXPECT_TRUE(Contains(document, sum));
  }
  EXPECT_TRUE(Contains(document, "<th class=\"roh double\"><span>\r\n0,625\r\n"));

  ini_->WriteValue("format", "Preis", "#.##0,##");
  EXPECT_EQ(Build("select Preis from f"),
            "Unlesbares Zahlenformat \"#.##0,##\" für die Spalte preis: erlaubt sind Muster "
            "wie #.##0,00, 0,0 oder 0 % (Einstellung preis im Abschnitt format).");
}

TEST(NumberPattern, ReadsTheRegionalSeparatorsAndRounds) {
  report::TNumberPattern grouped;
  ASSERT_TRUE(report::TNumberPattern::Parse("#.##0,00", '.', ',', grouped));
  EXPECT_EQ(grouped.Format("1997,5", '.', ','), "1.997,50");
  EXPECT_EQ(grouped.Format("999999,995", '.', ','), "1.000.000,00");
  EXPECT_EQ(grouped.Format("-0,004", '.', ','), "0,00");
  EXPECT_EQ(grouped.Format("1,23456789012346E15", '.', ','), "1.234.567.890.123.460,00");
  EXPECT_EQ(grouped.Format("5E-5", '.', ','), "0,00");
  EXPECT_EQ(grouped.Format("INF", '.', ','), "INF");
  EXPECT_EQ(grouped.Format("", '.', ','), "");
  EXPECT_EQ(grouped.SpreadsheetFormat(), "#,##0.00");

  report::TNumberPattern english;  // the same pattern where "," groups and "." is the decimal point
  ASSERT_TRUE(report::TNumberPattern::Parse("#,##0.0", ',', '.', english));
  EXPECT_EQ(english.Format("-1234.55", ',', '.'), "-1,234.6");

  report::TNumberPattern percent;
  ASSERT_TRUE(report::TNumberPattern::Parse("0,0%", '.', ',', percent));
  EXPECT_EQ(percent.Format("0,1234", '.', ','), "12,3%");
  EXPECT_EQ(percent.SpreadsheetFormat(), "0.0%");

  for (const char* bad : {"", "#", "0,", "0,#", "x0", "0 ", "00#", "#.##0,00 EUR", "0%%"}) {
    EXPECT_FALSE(report::TNumberPattern::Parse(bad, '.', ',', percent)) << bad;
  }
}

// Text fields that a spreadsheet would take for a formula get a leading quote in
// the CSV copy; numbers of numeric columns keep their sign; the workbook copy
// is made only with anhang=xlsx.
TEST_F(ReportLimits, CsvCopiesQuoteFormulasButNotNumbers) {
  Sql("create table w (Wert text, Zahl integer);"
      "insert into w values ('=HYPERLINK(\"http://x\")', -5);"
      "insert into w values ('+1', 3);"
      "insert into w values ('-x', NULL);"
      "insert into w values ('@SUM(A1)', 0);"
      "insert into w values (char(9) || 'tab', 1);"
      "insert into w values (char(13) || 'cr', 1);"
      "insert into w values ('a=b', 1);");
  ini_->WriteValue("email", "anhang", "csv");
  ASSERT_EQ(Build("select Wert, Zahl from w order by rowid;\nselect Zahl as '-Saldo' from w where Zahl < 0;"), "");
  ASSERT_EQ(text_.CsvTables().Count(), 2u);
  EXPECT_EQ(text_.CsvTables().Table(0),
            "\xEF\xBB\xBF" "Wert;Zahl\r\n"
            "\"'=HYPERLINK(\"\"http://x\"\")\";-5\r\n'+1;3\r\n'-x;\r\n'@SUM(A1);0\r\n'\ttab;1\r\n\"'\rcr\";1\r\na=b;1\r\n");
  EXPECT_EQ(text_.CsvTables().Table(1), "\xEF\xBB\xBF" "'-Saldo\r\n-5\r\n");
  EXPECT_TRUE(Contains(Document(), "<td class=\"wert string\">=HYPERLINK(\"http://x\")</td>"));  // the report as before
  EXPECT_TRUE(text_.Workbook().empty());

  ini_->WriteValue("email", "anhang", "xlsx");
  ASSERT_EQ(Build("select Wert, Zahl from w order by rowid;"), "");
  EXPECT_TRUE(text_.CsvTables().Empty());
  EXPECT_EQ(text_.Workbook().substr(0, 2), "PK");
}

}  // namespace

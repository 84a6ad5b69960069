// Charts from the report build against real SQLite databases: which values a
// chart keeps, the settings it refuses, and what the drawing shows, read back
// from the pixels of the image.
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "chart/chart_colours.h"
#include "chart/chart_painter.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "report/report_builder.h"

using namespace vornetta;

namespace {

class QtGuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_chart";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QGuiApplication> app_;
};

::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtGuiEnvironment);

class TQuietView : public report::TReportView {
 public:
  void ShowSourcePage() override {}
  void PiecesAppended(const report::TReportText&) override {}
  void ProcessPendingEvents() override {}
  void LoadPreview(std::string_view) override {}
};

class Charts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
    std::string pattern = (std::filesystem::temp_directory_path() / "vornetta-chart-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    database_ = (dir_ / "test.db").string();
    ini_ = std::make_unique<config::TMyIniFile>((dir_ / "test.ini").string());
    ini_->WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + database_ + ";");
    // 60 months: more categories than a bar chart shows.
    std::string sql = "create table verkauf (monat text, umsatz real, kosten integer, tag date, notiz text);";
    for (int i = 1; i <= 60; ++i) {
      char row[200];
      std::snprintf(row, sizeof row, "insert into verkauf values ('M%02d', %d.5, %d, '2024-%02d-%02d', 'x');", i, i,
                    2 * i, (i - 1) / 28 + 1, (i - 1) % 28 + 1);
      sql += row;
    }
    Sql(sql);
  }
  void TearDown() override {
    connection_.Release();
    std::setlocale(LC_ALL, "C");
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  void Sql(const std::string& sql) {
    const auto file = dir_ / "setup.sql";
    std::ofstream(file, std::ios::binary) << sql << "\n";
    const std::string command = "sqlite3 '" + database_ + "' < '" + file.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << sql;
  }

  // Builds the report; the failure's message, or "" on success.
  std::string Build(const std::string& script) {
    ini_->WriteText("sql", script);
    try {
      report::BuildReport(*ini_, connection_, text_, view_);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  std::filesystem::path dir_;
  std::string database_;
  std::unique_ptr<config::TMyIniFile> ini_;
  db::TConnectionOwner connection_{[this] { return ini_->ReadValueDefault("datenbank", "connection", ""); }};
  report::TReportText text_;
  TQuietView view_;
};

TEST_F(Charts, KeepTheWholeResultFoldingBarsBeyondFiftyAndLinesOverDates) {
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

TEST_F(Charts, RefuseBadSettingsNamingTheKeyAndReasonBeforeTheScriptChangesAnything) {
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

// Pixels of the image in one colour along a row or a column.
struct TRun {
  int start, length;
};

std::vector<TRun> Runs(const QImage& image, QRgb colour, int fixed, bool alongRow) {
  std::vector<TRun> runs;
  const int size = alongRow ? image.width() : image.height();
  for (int i = 0; i < size; ++i) {
    const QRgb pixel = alongRow ? image.pixel(i, fixed) : image.pixel(fixed, i);
    if ((pixel & 0xFFFFFF) != (colour & 0xFFFFFF)) continue;
    if (!runs.empty() && runs.back().start + runs.back().length == i)
      ++runs.back().length;
    else
      runs.push_back({i, 1});
  }
  return runs;
}

report::TChartData Data(report::TChartKind kind, std::vector<std::string> labels, std::vector<double> values) {
  report::TChartData data;
  data.kind = kind;
  data.xName = "Monat";
  data.yNames = {"Umsatz"};
  for (const std::string& label : labels) data.labels.Add(label);
  data.values = std::move(values);
  return data;
}

TEST(ChartDrawing, BarsStandWhereTheValuesSayInTheStyleSheetsColourAtTwiceThePixels) {
  const chart::TChartColours colours = chart::ColoursFromStyleSheet(
      "/* tr.head { background: red } */ table { color: red }\n"
      "tr.head, th.x { background: url(kopf.png) rgb(51, 102, 153) no-repeat; color: white }\n"
      ".even td { background-color: #f0f0f0 !important }");
  EXPECT_EQ(colours.Series(0), QColor(51, 102, 153));
  EXPECT_EQ(colours.evenBand, QColor(0xf0, 0xf0, 0xf0));
  EXPECT_EQ(colours.oddBand, QColor(Qt::white));

  const QImage image = chart::DrawChart(Data(report::TChartKind::Bars, {"A", "B", "C"}, {10, 0, 5}), colours);
  ASSERT_EQ(image.size(), QSize(1600, 720));
  EXPECT_EQ(image.devicePixelRatio(), 2.0);

  // Just above the zero line: the bars of A and C, none for B.
  const QRgb bar = QColor(51, 102, 153).rgb();
  const std::vector<TRun> row = Runs(image, bar, 2 * 310, true);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_NEAR(row[0].length, row[1].length, 1);
  const int gap = row[1].start - (row[0].start + row[0].length);
  EXPECT_GT(gap, row[0].length);  // B's place stays empty
  // A is twice as high as C.
  const std::vector<TRun> a = Runs(image, bar, row[0].start + row[0].length / 2, false);
  const std::vector<TRun> c = Runs(image, bar, row[1].start + row[1].length / 2, false);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_NEAR(a[0].length, 2 * c[0].length, 3);
  EXPECT_EQ(a[0].start + a[0].length, c[0].start + c[0].length);  // both on the zero line

  EXPECT_EQ(chart::GermanNumber(1234.5, 1), "1.234,5");
  const std::string png = chart::ChartPng(Data(report::TChartKind::Pie, {"A", "B"}, {1, 3}), colours);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST(ChartDrawing, DatesLieOnATimeAxisNotSideBySide) {
  // Two points in January and one at the end of the year: on a date axis the
  // middle of the plot lies in the long fall from 10 to 0, between categories
  // it would be the second point, 10.
  report::TChartData dates = Data(report::TChartKind::Area, {}, {10, 10, 0});
  dates.dateAxis = true;
  dates.xs = {1704067200, 1704153600, 1735603200};  // 2024-01-01, 01-02, 12-31
  const report::TChartData categories =
      Data(report::TChartKind::Area, {"01.01.2024", "02.01.2024", "31.12.2024"}, {10, 10, 0});
  const chart::TChartColours colours = chart::ColoursFromStyleSheet("");
  auto filledInMiddle = [&](const report::TChartData& data) {
    const QImage image = chart::DrawChart(data, colours);
    int filled = 0;
    for (int y = 0; y < image.height(); ++y) {
      const QColor pixel = image.pixelColor(image.width() / 2, y);
      if (pixel.blue() > pixel.red() + 30) ++filled;
    }
    return filled;
  };
  const int onDateAxis = filledInMiddle(dates);
  const int sideBySide = filledInMiddle(categories);
  EXPECT_GT(onDateAxis, 0);
  EXPECT_LT(onDateAxis, sideBySide * 7 / 10);
  EXPECT_GT(onDateAxis, sideBySide * 3 / 10);
}

}  // namespace

// What a chart shows, read back from the pixels of the image drawn on the
// offscreen platform with the DejaVu font.
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chart/chart_colours.h"
#include "chart/chart_painter.h"

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

// Draws a chart with QPainter on an image: bars, lines, areas or a pie, with
// value axis, German numbers, a date axis for dates, and a legend for several
// series. Needs a QGuiApplication (the offscreen platform will do) for fonts.
#pragma once

#include <QImage>
#include <string>

#include "chart/chart_colours.h"
#include "report/chart_data.h"

namespace vornetta::chart {

// The size as the mail shows it; the image holds twice as many pixels each way.
inline constexpr int kChartWidth = 800;
inline constexpr int kChartHeight = 360;
inline constexpr qreal kChartPixelRatio = 2.0;

QImage DrawChart(const report::TChartData& data, const TChartColours& colours);

// The chart as PNG bytes.
std::string ChartPng(const report::TChartData& data, const TChartColours& colours);

// A number as German axes write it: "1.234,5", "-0,25", "12".
QString GermanNumber(double value, int decimals);

}  // namespace vornetta::chart

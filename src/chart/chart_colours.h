// The colours of a chart, taken from the report's style sheet so that the chart
// matches its table: the head row's background for the first series, the odd
// and even rows' backgrounds for the plot's bands. What the style sheet does
// not set comes from a fixed palette.
#pragma once

#include <QColor>
#include <string_view>
#include <vector>

namespace vornetta::chart {

struct TChartColours {
  std::vector<QColor> series;  // first the head row's background when set
  QColor text{0x33, 0x33, 0x33};
  QColor grid{0xd0, 0xd0, 0xd0};
  QColor oddBand{Qt::white};
  QColor evenBand{Qt::white};

  QColor Series(std::size_t index) const { return series[index % series.size()]; }
};

// Reads the rules whose selector names the classes head, odd or even
// ("tr.head", ".odd td", ...): "background-color" or "background", and "color"
// of head for the text. Colours as #rgb, #rrggbb, rgb(r, g, b) or a colour name.
TChartColours ColoursFromStyleSheet(std::string_view css);

}  // namespace vornetta::chart

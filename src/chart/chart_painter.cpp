#include "chart/chart_painter.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace vornetta::chart {
namespace {

using report::TChartData;
using report::TChartKind;

constexpr qreal kMargin = 12;
constexpr int kTicks = 5;

QFont ChartFont(qreal pixelSize, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(qRound(pixelSize));
  font.setBold(bold);
  return font;
}

QString QText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Axis steps of 1, 2 or 5 times a power of ten, covering lo..hi (with 0) in about kTicks steps.
struct TValueAxis {
  double low = 0, high = 1, step = 1;
  int decimals = 0;
};

TValueAxis NiceAxis(double low, double high) {
  low = std::min(low, 0.0);
  high = std::max(high, 0.0);
  if (high - low < 1e-300) high = low + 1;
  const double rough = (high - low) / kTicks;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    step = factor * power;
    if (step >= rough) break;
  }
  TValueAxis axis;
  axis.step = step;
  axis.low = std::floor(low / step) * step;
  axis.high = std::ceil(high / step) * step;
  axis.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
  return axis;
}

struct TFrame {
  QRectF plot;
  TValueAxis axis;
  qreal YOf(double value) const {
    return plot.bottom() - (value - axis.low) / (axis.high - axis.low) * plot.height();
  }
};

QString Title(const TChartData& data) {
  QStringList names;
  for (const std::string& y : data.yNames) names << QText(y);
  return names.join(QStringLiteral(", ")) + QStringLiteral(" nach ") + QText(data.xName);
}

void DrawTitle(QPainter& p, const TChartData& data, const TChartColours& colours) {
  p.setFont(ChartFont(13, true));
  p.setPen(colours.text);
  p.drawText(QRectF(kMargin, 4, kChartWidth - 2 * kMargin, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QFontMetricsF(p.font()).elidedText(Title(data), Qt::ElideRight, kChartWidth - 2 * kMargin));
}

// Legend entries side by side at the top right; returns nothing, takes no room below the title.
void DrawSeriesLegend(QPainter& p, const TChartData& data, const TChartColours& colours) {
  if (data.yNames.size() < 2) return;
  p.setFont(ChartFont(11));
  const QFontMetricsF metrics(p.font());
  qreal x = kChartWidth - kMargin;
  for (std::size_t i = data.yNames.size(); i-- > 0;) {
    const QString name = metrics.elidedText(QText(data.yNames[i]), Qt::ElideRight, 160);
    x -= metrics.horizontalAdvance(name);
    p.setPen(colours.text);
    p.drawText(QPointF(x, 42), name);
    x -= 16;
    p.fillRect(QRectF(x, 33, 11, 11), colours.Series(i));
    x -= 14;
  }
}

void DrawEmpty(QPainter& p, const TChartColours& colours, const QRectF& plot) {
  p.setPen(QPen(colours.grid, 1));
  p.drawRect(plot);
  p.setFont(ChartFont(14));
  p.setPen(colours.text);
  p.drawText(plot, Qt::AlignCenter, QStringLiteral("kein Ergebnis"));
}

// The value range of every series; false when no value is set.
bool ValueRange(const TChartData& data, double& low, double& high) {
  low = high = 0;
  bool any = false;
  for (const double v : data.values) {
    if (std::isnan(v)) continue;
    low = any ? std::min(low, v) : v;
    high = any ? std::max(high, v) : v;
    any = true;
  }
  return any;
}

TFrame ValueFrame(QPainter& p, const TChartData& data, const TChartColours& colours, qreal top) {
  double low = 0, high = 0;
  ValueRange(data, low, high);
  TFrame frame;
  frame.axis = NiceAxis(low, high);
  p.setFont(ChartFont(11));
  const QFontMetricsF metrics(p.font());
  qreal labelWidth = 0;
  for (double v = frame.axis.low; v <= frame.axis.high + frame.axis.step / 2; v += frame.axis.step)
    labelWidth = std::max(labelWidth, metrics.horizontalAdvance(GermanNumber(v, frame.axis.decimals)));
  frame.plot = QRectF(QPointF(kMargin + labelWidth + 8, top), QPointF(kChartWidth - kMargin - 8, kChartHeight - 40));

  // Bands in the colours of the table's rows, grid lines and the value labels.
  int band = 0;
  for (double v = frame.axis.low; v < frame.axis.high - frame.axis.step / 2; v += frame.axis.step, ++band) {
    const QRectF strip(QPointF(frame.plot.left(), frame.YOf(v + frame.axis.step)), QPointF(frame.plot.right(), frame.YOf(v)));
    p.fillRect(strip, band % 2 == 0 ? colours.evenBand : colours.oddBand);
  }
  for (double v = frame.axis.low; v <= frame.axis.high + frame.axis.step / 2; v += frame.axis.step) {
    const qreal y = frame.YOf(v);
    p.setPen(QPen(colours.grid, 1));
    p.drawLine(QPointF(frame.plot.left(), y), QPointF(frame.plot.right(), y));
    p.setPen(colours.text);
    p.drawText(QRectF(kMargin, y - 8, labelWidth, 16), Qt::AlignRight | Qt::AlignVCenter,
               GermanNumber(std::abs(v) < frame.axis.step / 1e6 ? 0.0 : v, frame.axis.decimals));
  }
  return frame;
}

// Category labels under the plot, every n-th one where they would overlap.
void DrawCategoryLabels(QPainter& p, const TChartData& data, const TChartColours& colours, const QRectF& plot,
                        std::size_t count, bool centred) {
  if (count == 0) return;
  p.setFont(ChartFont(10));
  p.setPen(colours.text);
  const QFontMetricsF metrics(p.font());
  const qreal slot = centred ? plot.width() / static_cast<qreal>(count)
                             : plot.width() / static_cast<qreal>(std::max<std::size_t>(count - 1, 1));
  const qreal wanted = std::min<qreal>(120, [&] {
    qreal widest = 0;
    const std::size_t probe = std::min<std::size_t>(count, 200);
    for (std::size_t i = 0; i < probe; ++i)
      widest = std::max(widest, metrics.horizontalAdvance(QText(data.labels[i * count / probe])));
    return widest + 8;
  }());
  const std::size_t every = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(wanted / slot)));
  const qreal room = std::min<qreal>(slot * static_cast<qreal>(every) - 4, 120);
  for (std::size_t i = 0; i < count; i += every) {
    const qreal x = plot.left() + (centred ? (static_cast<qreal>(i) + 0.5) * slot : static_cast<qreal>(i) * slot);
    const QString label = metrics.elidedText(QText(data.labels[i]), Qt::ElideRight, room);
    p.drawText(QRectF(x - room / 2, plot.bottom() + 4, room, 16), Qt::AlignHCenter | Qt::AlignTop, label);
  }
}

void DrawBars(QPainter& p, const TChartData& data, const TChartColours& colours, qreal top) {
  const TFrame frame = ValueFrame(p, data, colours, top);
  const std::size_t count = data.PointCount();
  const std::size_t series = data.yNames.size();
  const qreal slot = frame.plot.width() / static_cast<qreal>(count);
  const qreal barWidth = slot * 0.8 / static_cast<qreal>(series);
  const qreal zero = frame.YOf(0);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (std::size_t c = 0; c < count; ++c) {
    for (std::size_t s = 0; s < series; ++s) {
      const double v = data.Value(c, s);
      if (std::isnan(v) || v == 0) continue;
      const qreal x = frame.plot.left() + static_cast<qreal>(c) * slot + slot * 0.1 + static_cast<qreal>(s) * barWidth;
      p.fillRect(QRectF(QPointF(x, std::min(zero, frame.YOf(v))), QPointF(x + barWidth, std::max(zero, frame.YOf(v)))),
                 colours.Series(s));
    }
  }
  p.setRenderHint(QPainter::Antialiasing, true);
  DrawCategoryLabels(p, data, colours, frame.plot, count, true);
}

// Date ticks: days, months or years, whichever gives about kTicks of them.
struct TDateTick {
  double at;
  QString label;
};

std::vector<TDateTick> DateTicks(double first, double last, bool withTime) {
  const QDateTime from = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(first), Qt::UTC);
  const QDateTime to = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(last), Qt::UTC);
  const double days = (last - first) / 86400.0;
  std::vector<TDateTick> ticks;
  auto add = [&](const QDateTime& at, const QString& format) {
    if (at >= from && at <= to) ticks.push_back({static_cast<double>(at.toSecsSinceEpoch()), at.toString(format)});
  };
  if (days <= 2 && withTime) {
    const qint64 hours = std::max<qint64>(1, static_cast<qint64>(std::ceil(days * 24 / kTicks)));
    QDateTime at(from.date(), QTime(0, 0), Qt::UTC);
    for (; at <= to; at = at.addSecs(hours * 3600)) add(at, QStringLiteral("dd.MM. HH:mm"));
  } else if (days <= 60) {
    const qint64 step = std::max<qint64>(1, static_cast<qint64>(std::ceil(days / kTicks)));
    for (QDate d = from.date(); d <= to.date(); d = d.addDays(step))
      add(QDateTime(d, QTime(0, 0), Qt::UTC), QStringLiteral("dd.MM.yyyy"));
  } else if (days <= 3 * 366) {
    const int months = std::max(1, static_cast<int>(std::ceil(days / 30.44 / kTicks)));
    QDate d(from.date().year(), from.date().month(), 1);
    if (QDateTime(d, QTime(0, 0), Qt::UTC) < from) d = d.addMonths(1);
    for (; d <= to.date(); d = d.addMonths(months)) add(QDateTime(d, QTime(0, 0), Qt::UTC), QStringLiteral("MM.yyyy"));
  } else {
    const int years = std::max(1, static_cast<int>(std::ceil(days / 365.25 / kTicks)));
    for (int y = from.date().year() + 1; y <= to.date().year(); y += years)
      add(QDateTime(QDate(y, 1, 1), QTime(0, 0), Qt::UTC), QStringLiteral("yyyy"));
  }
  return ticks;
}

// A run of many points reduced to what the pixels can show: per device pixel
// column its first, lowest, highest and last point, in their order. The line
// looks the same, and stroking stays linear in the pixels, not the rows (a
// stroke of 100,000 crossing segments takes Qt minutes).
std::vector<QPointF> ThinOut(const std::vector<QPointF>& run) {
  constexpr std::size_t kPointsPerColumn = 4;
  const std::size_t columns = static_cast<std::size_t>(kChartWidth * kChartPixelRatio);
  if (run.size() <= kPointsPerColumn * columns) return run;
  std::vector<QPointF> thin;
  std::size_t start = 0;
  while (start < run.size()) {
    const long column = std::lround(run[start].x() * kChartPixelRatio);
    std::size_t end = start + 1, low = start, high = start;
    for (; end < run.size() && std::lround(run[end].x() * kChartPixelRatio) == column; ++end) {
      if (run[end].y() < run[low].y()) low = end;
      if (run[end].y() > run[high].y()) high = end;
    }
    std::size_t picks[] = {start, std::min(low, high), std::max(low, high), end - 1};
    for (std::size_t i = 0; i < std::size(picks); ++i)
      if (i == 0 || picks[i] != picks[i - 1]) thin.push_back(run[picks[i]]);
    start = end;
  }
  return thin;
}

void DrawLines(QPainter& p, const TChartData& data, const TChartColours& colours, qreal top) {
  const TFrame frame = ValueFrame(p, data, colours, top);
  const std::size_t count = data.PointCount();
  // Dates in the order of time, whatever the statement's order.
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  double first = 0, last = 1;
  if (data.dateAxis) {
    std::ranges::stable_sort(order, {}, [&](std::size_t i) { return data.xs[i]; });
    first = data.xs[order.front()];
    last = data.xs[order.back()];
    if (last <= first) last = first + 86400;
  }
  auto xOf = [&](std::size_t point) -> qreal {
    if (data.dateAxis) return frame.plot.left() + (data.xs[point] - first) / (last - first) * frame.plot.width();
    if (count < 2) return frame.plot.center().x();
    return frame.plot.left() + static_cast<qreal>(point) / static_cast<qreal>(count - 1) * frame.plot.width();
  };
  const qreal zero = frame.YOf(0);
  for (std::size_t s = 0; s < data.yNames.size(); ++s) {
    const QColor colour = colours.Series(s);
    // A NULL value breaks the line; each unbroken run is one polyline (and one area).
    std::vector<QPointF> run;
    auto flush = [&] {
      if (run.empty()) return;
      run = ThinOut(run);
      if (data.kind == TChartKind::Area && run.size() > 1) {
        QPolygonF area(run.begin(), run.end());
        area << QPointF(run.back().x(), zero) << QPointF(run.front().x(), zero);
        QColor fill = colour;
        fill.setAlpha(110);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPolygon(area);
        p.setBrush(Qt::NoBrush);
      }
      p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      if (run.size() == 1) {
        p.drawEllipse(run.front(), 2, 2);
      } else {
        // Segment by segment: one stroked path of many crossing segments costs
        // Qt far more than the same segments alone.
        std::vector<QLineF> segments;
        segments.reserve(run.size() - 1);
        for (std::size_t i = 1; i < run.size(); ++i) segments.emplace_back(run[i - 1], run[i]);
        p.drawLines(segments.data(), static_cast<int>(segments.size()));
      }
      run.clear();
    };
    for (const std::size_t point : order) {
      const double v = data.Value(point, s);
      if (std::isnan(v)) {
        flush();
        continue;
      }
      run.emplace_back(xOf(point), frame.YOf(v));
    }
    flush();
  }
  if (!data.dateAxis) {
    DrawCategoryLabels(p, data, colours, frame.plot, count, false);
    return;
  }
  p.setFont(ChartFont(10));
  for (const TDateTick& tick : DateTicks(first, last, data.withTime)) {
    const qreal x = frame.plot.left() + (tick.at - first) / (last - first) * frame.plot.width();
    p.setPen(QPen(colours.grid, 1));
    p.drawLine(QPointF(x, frame.plot.bottom()), QPointF(x, frame.plot.bottom() + 4));
    p.setPen(colours.text);
    p.drawText(QRectF(x - 50, frame.plot.bottom() + 5, 100, 16), Qt::AlignHCenter | Qt::AlignTop, tick.label);
  }
}

void DrawPie(QPainter& p, const TChartData& data, const TChartColours& colours, qreal top) {
  const std::size_t count = data.PointCount();
  double total = 0;
  for (std::size_t i = 0; i < count; ++i) total += std::max(0.0, data.Value(i, 0));
  const qreal size = kChartHeight - top - kMargin;
  const QRectF pie(kMargin + 20, top, size, size);
  if (total <= 0) {
    DrawEmpty(p, colours, pie);
    return;
  }
  // Slices clockwise from twelve o'clock; negative values have no slice.
  int start = 90 * 16;
  double done = 0;
  p.setPen(QPen(Qt::white, 1));
  for (std::size_t i = 0; i < count; ++i) {
    const double v = std::max(0.0, data.Value(i, 0));
    const int end = 90 * 16 - static_cast<int>(std::lround((done + v) / total * 360 * 16));
    p.setBrush(colours.Series(i));
    if (start != end) p.drawPie(pie, start, end - start);
    start = end;
    done += v;
  }
  p.setBrush(Qt::NoBrush);

  // The legend beside the pie, in columns of as many entries as fit.
  const qreal line = count > 24 ? 11 : 16;
  p.setFont(ChartFont(count > 24 ? 9 : 11));
  const QFontMetricsF metrics(p.font());
  const std::size_t perColumn = std::max<std::size_t>(1, static_cast<std::size_t>((kChartHeight - top - kMargin) / line));
  const std::size_t columns = (count + perColumn - 1) / perColumn;
  const qreal left = pie.right() + 30;
  const qreal columnWidth = (kChartWidth - kMargin - left) / static_cast<qreal>(columns);
  for (std::size_t i = 0; i < count; ++i) {
    const qreal x = left + static_cast<qreal>(i / perColumn) * columnWidth;
    const qreal y = top + static_cast<qreal>(i % perColumn) * line;
    p.fillRect(QRectF(x, y + 2, line - 5, line - 5), colours.Series(i));
    const double share = std::max(0.0, data.Value(i, 0)) / total * 100;
    const QString text = QText(data.labels[i]) + QStringLiteral(" (") + GermanNumber(share, 1) + QStringLiteral(" %)");
    p.setPen(colours.text);
    p.drawText(QRectF(x + line, y, columnWidth - line - 4, line), Qt::AlignLeft | Qt::AlignVCenter,
               metrics.elidedText(text, Qt::ElideMiddle, columnWidth - line - 4));
  }
}

}  // namespace

QString GermanNumber(double value, int decimals) {
  return QLocale(QLocale::German, QLocale::Germany).toString(value, 'f', decimals);
}

QImage DrawChart(const TChartData& data, const TChartColours& colours) {
  QImage image(qRound(kChartWidth * kChartPixelRatio), qRound(kChartHeight * kChartPixelRatio), QImage::Format_RGB32);
  image.setDevicePixelRatio(kChartPixelRatio);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  DrawTitle(p, data, colours);
  const qreal top = data.yNames.size() > 1 && data.kind != TChartKind::Pie ? 56 : 36;
  double low = 0, high = 0;
  if (data.PointCount() == 0 || !ValueRange(data, low, high)) {
    DrawEmpty(p, colours, QRectF(QPointF(kMargin, top), QPointF(kChartWidth - kMargin, kChartHeight - kMargin)));
    return image;
  }
  DrawSeriesLegend(p, data, colours);
  switch (data.kind) {
    case TChartKind::Bars: DrawBars(p, data, colours, top); break;
    case TChartKind::Line:
    case TChartKind::Area: DrawLines(p, data, colours, top); break;
    case TChartKind::Pie: DrawPie(p, data, colours, top); break;
  }
  return image;
}

std::string ChartPng(const TChartData& data, const TChartColours& colours) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  DrawChart(data, colours).save(&buffer, "PNG");
  return bytes.toStdString();
}

}  // namespace vornetta::chart

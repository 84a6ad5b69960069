#include "chart/chart_colours.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace vornetta::chart {
namespace {

// A fixed palette that stays readable on white and on light row colours.
const QColor kPalette[] = {QColor(0x2f, 0x6f, 0x9f), QColor(0xe0, 0x7b, 0x39), QColor(0x5a, 0x9e, 0x4b),
                           QColor(0xc9, 0x4c, 0x4c), QColor(0x80, 0x64, 0xa2), QColor(0xd4, 0xa0, 0x17),
                           QColor(0x4b, 0xac, 0xc6), QColor(0x7f, 0x7f, 0x7f)};

QColor ParseColour(const QString& text) {
  static const QRegularExpression rgb(
      QStringLiteral("^rgba?\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*(,[^)]*)?\\)$"),
      QRegularExpression::CaseInsensitiveOption);
  const QString value = text.trimmed();
  if (const QRegularExpressionMatch m = rgb.match(value); m.hasMatch())
    return QColor(qBound(0, m.captured(1).toInt(), 255), qBound(0, m.captured(2).toInt(), 255),
                  qBound(0, m.captured(3).toInt(), 255));
  if (value.startsWith(u'#') || !value.contains(u'(')) {
    QColor colour = QColor::fromString(value);
    if (colour.isValid()) return colour;
  }
  return {};
}

// The first colour in a property's value ("#fff url(x) no-repeat" gives #fff).
QColor FirstColour(const QString& value) {
  if (QColor whole = ParseColour(value); whole.isValid()) return whole;
  static const QRegularExpression word(QStringLiteral("rgba?\\([^)]*\\)|[^\\s]+"));
  for (const QRegularExpressionMatch& m : word.globalMatch(value)) {
    if (QColor colour = ParseColour(m.captured(0)); colour.isValid()) return colour;
  }
  return {};
}

bool NamesClass(const QString& selectors, QStringView name) {
  static const QRegularExpression classes(QStringLiteral("\\.([A-Za-z0-9_-]+)"));
  for (const QRegularExpressionMatch& m : classes.globalMatch(selectors))
    if (m.capturedView(1).compare(name, Qt::CaseInsensitive) == 0) return true;
  return false;
}

struct TRuleColours {
  QColor background;
  QColor text;
};

void ReadDeclarations(const QString& body, TRuleColours& colours) {
  for (const QString& declaration : body.split(u';')) {
    const qsizetype colon = declaration.indexOf(u':');
    if (colon < 0) continue;
    const QString property = declaration.left(colon).trimmed().toLower();
    QString value = declaration.mid(colon + 1);
    value.remove(QStringLiteral("!important"));
    if (property == u"background-color" || property == u"background") {
      if (QColor colour = FirstColour(value); colour.isValid()) colours.background = colour;
    } else if (property == u"color") {
      if (QColor colour = FirstColour(value); colour.isValid()) colours.text = colour;
    }
  }
}

}  // namespace

TChartColours ColoursFromStyleSheet(std::string_view css) {
  QString sheet = QString::fromUtf8(css.data(), static_cast<qsizetype>(css.size()));
  static const QRegularExpression comments(QStringLiteral("/\\*.*?\\*/"),
                                           QRegularExpression::DotMatchesEverythingOption);
  sheet.remove(comments);

  TRuleColours head, odd, even;
  static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^{}]*)\\}"));
  for (const QRegularExpressionMatch& m : rule.globalMatch(sheet)) {
    const QString selectors = m.captured(1);
    if (NamesClass(selectors, u"head")) ReadDeclarations(m.captured(2), head);
    if (NamesClass(selectors, u"odd")) ReadDeclarations(m.captured(2), odd);
    if (NamesClass(selectors, u"even")) ReadDeclarations(m.captured(2), even);
  }

  TChartColours colours;
  if (head.background.isValid()) colours.series.push_back(head.background);
  for (const QColor& colour : kPalette)
    if (colour != head.background) colours.series.push_back(colour);
  if (head.text.isValid() && head.text.lightness() < 128) colours.text = head.text;
  if (odd.background.isValid()) colours.oddBand = odd.background;
  if (even.background.isValid()) colours.evenBand = even.background;
  return colours;
}

}  // namespace vornetta::chart

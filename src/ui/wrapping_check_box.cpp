#include "ui/wrapping_check_box.h"

#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <algorithm>

namespace vornetta::ui {
namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
// Preferred line length in average characters before the text wraps.
constexpr int kPreferredChars = 24;

}  // namespace

TWrappingCheckBox::TWrappingCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int TWrappingCheckBox::IndicatorSpace() const {
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

QRect TWrappingCheckBox::TextBounds(int textWidth) const {
  return fontMetrics().boundingRect(QRect(0, 0, std::max(textWidth, 1), 100000), kTextFlags, text());
}

int TWrappingCheckBox::heightForWidth(int width) const {
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  return std::max(indicator, TextBounds(width - IndicatorSpace()).height()) + 2;
}

QSize TWrappingCheckBox::sizeHint() const {
  const int oneLine = fontMetrics().horizontalAdvance(QString(text()).remove(QLatin1Char('&')));
  const int width = IndicatorSpace() + std::min(oneLine, fontMetrics().averageCharWidth() * kPreferredChars) + 2;
  return {width, heightForWidth(width)};
}

QSize TWrappingCheckBox::minimumSizeHint() const {
  int longestWord = 0;
  for (const QString& word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
    longestWord = std::max(longestWord, fontMetrics().horizontalAdvance(word));
  const int width = IndicatorSpace() + longestWord + 2;
  return {width, heightForWidth(width)};
}

void TWrappingCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);

  QStyleOptionButton indicator = option;
  indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  indicator.rect.moveTop((height() - indicator.rect.height()) / 2);
  painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

  const QRect textArea(IndicatorSpace(), 0, width() - IndicatorSpace(), height());
  painter.drawItemText(textArea, kTextFlags, palette(), isEnabled(), text(), QPalette::WindowText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = TextBounds(textArea.width()).translated(textArea.left(), (height() - TextBounds(textArea.width()).height()) / 2);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace vornetta::ui

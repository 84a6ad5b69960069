// A check box whose text wraps at word boundaries like a label: its width hint
// stays small, so it never widens the column it stands in, and it grows in
// height as its width shrinks. Clicking the text toggles it as usual.
#pragma once

#include <QCheckBox>

namespace vornetta::ui {

class TWrappingCheckBox : public QCheckBox {
 public:
  TWrappingCheckBox(const QString& text, QWidget* parent);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

 private:
  // Width of the indicator and the gap before the text.
  int IndicatorSpace() const;
  QRect TextBounds(int textWidth) const;
};

}  // namespace vornetta::ui

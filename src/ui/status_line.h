// The status line under the pages. A text wider than the line gives way in its
// middle, so that its end (the records read, the size sent) stays readable at
// the window's minimum width.
#pragma once

#include <QLabel>
#include <QString>

namespace vornetta::ui {

class TStatusLine final : public QLabel {
 public:
  explicit TStatusLine(QWidget* parent);

  // The text as the line shows it: whole when it fits, else with "…" in its middle.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vornetta::ui

// The window's frame around the pages: the title with the logo above them and
// the status line under them.
#pragma once

class QLabel;
class QWidget;

namespace vornetta::ui {

// "Vornetta" in a grey, bold fixed-width font (lblTitel).
QLabel* NewTitleLabel(QWidget* window);
QLabel* NewLogo(QWidget* window);
// Progress and outcome of build and send (lblStatus).
QLabel* NewStatusLine(QWidget* window);

}  // namespace vornetta::ui

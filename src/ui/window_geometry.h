// The window's place on the screen in section "FormMain" (top, left, height,
// width). Position and size are the client area's, both when stored and when
// restored: a window manager adds its frame outside them, so the window reopens
// exactly where it was instead of moving by the title bar's height each time.
// A maximized window stores its normal place and "maximiert=1", and reopens
// maximized.
#pragma once

class QWidget;

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

// Keys that are missing keep the window's current value. Failures of the file pass on.
void RestoreGeometry(QWidget& window, config::TMyIniFile& ini);
void StoreGeometry(const QWidget& window, config::TMyIniFile& ini);

}  // namespace vornetta::ui

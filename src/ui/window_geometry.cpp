#include "ui/window_geometry.h"

#include <QRect>
#include <QWidget>

#include "config/my_ini_file.h"

namespace vornetta::ui {
namespace {

constexpr char kSection[] = "FormMain";
constexpr char kMaximized[] = "maximiert";

}  // namespace

void RestoreGeometry(QWidget& window, config::TMyIniFile& ini) {
  QRect area = window.geometry();
  area.moveTop(ini.ReadNumber(kSection, "top", area.y()));
  area.moveLeft(ini.ReadNumber(kSection, "left", area.x()));
  area.setHeight(ini.ReadNumber(kSection, "height", area.height()));
  area.setWidth(ini.ReadNumber(kSection, "width", area.width()));
  window.setGeometry(area);
  // The stored place is the normal one, to which the maximized window returns.
  if (ini.HasKey(kSection, kMaximized) && ini.ReadNumber(kSection, kMaximized, 0) == 1)
    window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void StoreGeometry(const QWidget& window, config::TMyIniFile& ini) {
  const bool maximized = window.isMaximized();
  const QRect area = maximized ? window.normalGeometry() : window.geometry();
  ini.WriteNumber(kSection, "top", area.y());
  ini.WriteNumber(kSection, "left", area.x());
  ini.WriteNumber(kSection, "height", area.height());
  ini.WriteNumber(kSection, "width", area.width());
  // Written once the window was maximized: a file without the key stays as it was.
  if (maximized || ini.HasKey(kSection, kMaximized)) ini.WriteNumber(kSection, kMaximized, maximized ? 1 : 0);
}

}  // namespace vornetta::ui

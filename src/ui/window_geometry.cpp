#include "ui/window_geometry.h"

#include <QRect>
#include <QWidget>

#include "config/my_ini_file.h"

namespace vornetta::ui {

void RestoreGeometry(QWidget& window, config::TMyIniFile& ini) {
  QRect area = window.geometry();
  area.moveTop(ini.ReadNumber("FormMain", "top", area.y()));
  area.moveLeft(ini.ReadNumber("FormMain", "left", area.x()));
  area.setHeight(ini.ReadNumber("FormMain", "height", area.height()));
  area.setWidth(ini.ReadNumber("FormMain", "width", area.width()));
  window.setGeometry(area);
}

void StoreGeometry(const QWidget& window, config::TMyIniFile& ini) {
  const QRect area = window.geometry();
  ini.WriteNumber("FormMain", "top", area.y());
  ini.WriteNumber("FormMain", "left", area.x());
  ini.WriteNumber("FormMain", "height", area.height());
  ini.WriteNumber("FormMain", "width", area.width());
}

}  // namespace vornetta::ui

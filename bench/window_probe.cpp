// How long the window is blocked by a large report: the real main window
// (offscreen without a display) builds a SQLite report of N rows x 8 columns
// ("erstellen"), while a probe timer due every 10 ms records the largest gap
// between two of its ticks, during the build and in the 3 s after it (when the
// preview is loaded and painted).
//   build/bench/window_probe [rows]     default 100000
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "ui/form_main.h"
#include "ui/qt_dialogs.h"

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const long rows = argc > 1 ? std::stol(argv[1]) : 100000;
  vornetta::bench::TScratchFolder scratch;
  const std::string db = (scratch.Path() / "probe.db").string();
  vornetta::bench::CreateMixedTable(db, scratch.Path(), rows);
  const std::string ini = (scratch.Path() / "probe.ini").string();
  std::ofstream(ini) << "[datenbank]\r\nconnection=Driver={SQLite3};Database=" << db
                     << ";\r\n[sql]\r\n0=select * from t;\r\n";

  vornetta::ui::TStderrDialogs dialogs;
  vornetta::ui::TFormMain window({ini}, &dialogs);
  window.show();
  QElapsedTimer clock;
  clock.start();
  while (window.Config() == nullptr && clock.elapsed() < 30000) QCoreApplication::processEvents();
  window.ShowSendPage();
  QCoreApplication::processEvents();

  enum { kBefore, kBuilding, kAfter } phase = kBefore;
  qint64 last = -1, gapBuilding = 0, gapAfter = 0, buildMs = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(10);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last >= 0 && phase != kBefore) {
      qint64& gap = phase == kBuilding ? gapBuilding : gapAfter;
      gap = std::max(gap, now - last);
    }
    last = now;
  });
  probe.start();
  QTimer::singleShot(50, [&] {
    phase = kBuilding;
    const qint64 start = clock.elapsed();
    window.findChild<QPushButton*>(QStringLiteral("SpeedButton1"))->click();
    buildMs = clock.elapsed() - start;
    phase = kAfter;  // the gap that ends with the next tick holds the end of the build
    QTimer::singleShot(3000, [] { QCoreApplication::quit(); });
  });
  QApplication::exec();
  std::printf("rows %ld, document %.1f MB, build %lld ms\n", rows, window.ReportText().DocumentText().size() / 1e6,
              static_cast<long long>(buildMs));
  std::printf("largest gap between 10 ms probe ticks: %lld ms during the build, %lld ms at its end and after\n",
              static_cast<long long>(gapBuilding), static_cast<long long>(gapAfter));
  return 0;
}

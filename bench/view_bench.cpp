// Measures the window's report views with a large report, the way a build feeds
// them: 100,000 rows of 8 columns appended piece by piece, the source view caught
// up and events processed every 15 ms, then the preview loaded.
//   vornetta_view_bench [rows]     (QT_QPA_PLATFORM=offscreen without a display)
#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <sys/resource.h>

#include "report/report_text.h"
#include "ui/form_main.h"
#include "ui/qt_dialogs.h"
#include "ui/report_pane.h"

namespace {

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const int rows = argc > 1 ? std::stoi(argv[1]) : 100000;
  QTemporaryDir work;
  vornetta::ui::TStderrDialogs dialogs;
  vornetta::ui::TFormMain window({work.filePath(QStringLiteral("b.ini")).toStdString()}, &dialogs);
  window.show();
  QCoreApplication::processEvents();
  const long rssBefore = PeakRssKiB();

  vornetta::report::TReportText& text = window.ReportText();
  window.ReportPane().ShowSourcePage();
  QElapsedTimer total;
  total.start();
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  qint64 longestStep = 0;
  text.Append("<html>");
  text.Append("<table width=\"100%\" class=\"sql0\">");
  for (int row = 1; row <= rows; ++row) {
    text.Append({"<tr id=\"row", std::to_string(row), "\" class=\"", row % 2 ? "odd" : "even", "\">"});
    for (int column = 0; column < 8; ++column) {
      text.Append({"<td class=\"spalte", std::to_string(column), " string\">Wert ", std::to_string(row), "/",
                   std::to_string(column), "</td>"});
    }
    text.Append("</tr>");
    text.AddRow();
    if (sinceEvents.elapsed() >= 15) {
      QElapsedTimer step;
      step.start();
      window.ReportPane().PiecesAppended(text);
      window.ReportPane().PumpEvents();
      longestStep = std::max(longestStep, step.elapsed());
      sinceEvents.restart();
    }
  }
  text.Append("</table><br>");
  text.Append("</body></html>");
  window.ReportPane().PiecesAppended(text);
  const qint64 buildMs = total.elapsed();

  QElapsedTimer preview;
  preview.start();
  window.ReportPane().LoadPreview(text.DocumentText());
  QCoreApplication::processEvents();
  const qint64 previewMs = preview.elapsed();

  QElapsedTimer paint;
  paint.start();
  window.ReportPane().ShowSourcePage();
  window.ReportPane().PiecesAppended(text);
  window.repaint();
  const qint64 sourceMs = paint.elapsed();

  std::printf("rows %d, document %.1f MB, pieces %zu\n", rows, text.DocumentText().size() / 1e6, text.PieceCount());
  std::printf("filling with the source view caught up every 15 ms: %lld ms, longest catch-up + events %lld ms\n",
              static_cast<long long>(buildMs), static_cast<long long>(longestStep));
  std::printf("preview load (shortened): %lld ms\n", static_cast<long long>(previewMs));
  std::printf("source view rescan and repaint of the whole report: %lld ms\n", static_cast<long long>(sourceMs));
  std::printf("peak RSS: %.1f MB before, %.1f MB after (document %.1f MB)\n", rssBefore / 1024.0,
              PeakRssKiB() / 1024.0, text.DocumentText().size() / 1e6);
  return 0;
}

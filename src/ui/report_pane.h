// The report pane of the page "Versand" (PageControl2): the HTML preview and the
// source view of the report text. It is the view the report builder writes
// through, shows the build's progress in the status line and lets the window's
// events through by the window's pump.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/event_pump.h"
#include "report/report_view.h"
#include "ui/status_texts.h"

class QLabel;
class QTabWidget;
class QTextBrowser;
class QWidget;

namespace vornetta::config {
class TMyIniFile;
}
namespace vornetta::db {
class TConnectionOwner;
}
namespace vornetta::report {
class TReportText;
}

namespace vornetta::ui {

class TSourceView;

class TReportPane : public report::TReportView {
 public:
  struct TWiring {
    report::TReportText& text;                    // the window's report text
    std::function<void(const QString&)> status;   // shows a text in the status line
    platform::TEventPump& pump;                   // the window's: false once "Abbrechen" was clicked
    // An unattended run: nobody looks at the views, so the expensive parts are skipped.
    bool unattended = false;
  };

  // Builds the pane into parent (its layout places it).
  TReportPane(TWiring wiring, QWidget* parent);

  QTabWidget* Widget() const { return PageControl2; }
  const report::TReportText& Text() const { return wiring_.text; }

  // Builds the report into the report text. A build ended by "Abbrechen", in a
  // database wait too, throws platform::ECancelled report::kBuildCancelled and
  // leaves nothing to send; other failures pass on after the preview is loaded.
  void Build(config::TMyIniFile& ini, db::TConnectionOwner& connection);

  // While Build runs: the running statement's number from 1 (0 before the first).
  bool Building() const { return building_; }
  std::size_t StatementNumber() const { return statementNumber_; }

  // After a send: clears the report text, shows the source page and the empty preview.
  void Reset();

  // report::TReportView
  void ShowSourcePage() override;
  void PiecesAppended(const report::TReportText& text) override;
  // Shows the progress, then passes on to the window's pump.
  bool PumpEvents() override;
  std::chrono::milliseconds Slice() const override { return wiring_.pump.Slice(); }
  void StatementStarted(std::size_t number, std::size_t count, std::string_view statement) override;
  // On stderr, and in the status line of the window.
  void Notice(const std::string& message) override;
  void LoadPreview(std::string_view documentText) override;

 private:
  void ClearPreview();
  // The report's charts as images of the preview's document, under their cid: names.
  void AddChartImages();

  TWiring wiring_;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet7 = nullptr;
  QLabel* previewNote = nullptr;
  QTextBrowser* html = nullptr;
  TSourceView* htmlsource = nullptr;

  bool building_ = false;
  std::string chartCss_;  // the style sheet of the last build (UTF-8), for the charts' colours
  std::string currentStatement_;  // the running statement, for the status line
  std::size_t statementNumber_ = 0;
  std::size_t statementCount_ = 0;
  QElapsedTimer statusClock_;  // since the status line last showed progress
};

}  // namespace vornetta::ui

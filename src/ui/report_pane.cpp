#include "ui/report_pane.h"

#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
#include <QImage>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "chart/chart_images.h"
#include "chart/chart_painter.h"
#include "config/my_ini_file.h"
#include "platform/qt_text.h"
#include "platform/stderr_line.h"
#include "report/report_builder.h"
#include "report/report_text.h"
#include "ui/qt_dialogs.h"
#include "ui/report_preview.h"
#include "ui/source_view.h"

namespace vornetta::ui {

TReportPane::TReportPane(TWiring wiring, QWidget* parent) : wiring_(std::move(wiring)) {
  PageControl2 = new QTabWidget(parent);
  PageControl2->setObjectName(QStringLiteral("PageControl2"));

  TabSheet6 = new QWidget;
  TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
  previewNote = new QLabel(TabSheet6);
  previewNote->setObjectName(QStringLiteral("previewNote"));
  previewNote->setWordWrap(true);
  previewNote->setStyleSheet(
      QStringLiteral("background: #fff3c4; border: 1px solid #e0c060; padding: 4px;"));
  previewNote->hide();
  html = new QTextBrowser(TabSheet6);
  html->setObjectName(QStringLiteral("html"));
  html->setOpenLinks(false);
  auto* htmlLayout = new QVBoxLayout(TabSheet6);
  htmlLayout->setContentsMargins(0, 0, 0, 0);
  htmlLayout->setSpacing(0);
  htmlLayout->addWidget(previewNote);
  htmlLayout->addWidget(html, 1);

  TabSheet7 = new QWidget;
  TabSheet7->setObjectName(QStringLiteral("TabSheet7"));
  htmlsource = new TSourceView(TabSheet7);
  htmlsource->setObjectName(QStringLiteral("htmlsource"));
  htmlsource->SetText(&wiring_.text);
  auto* sourceLayout = new QVBoxLayout(TabSheet7);
  sourceLayout->setContentsMargins(0, 0, 0, 0);
  sourceLayout->addWidget(htmlsource);

  PageControl2->addTab(TabSheet6, QStringLiteral("HTML"));
  PageControl2->addTab(TabSheet7, QStringLiteral("Source"));
  PageControl2->setCurrentWidget(TabSheet7);
}

void TReportPane::Build(config::TMyIniFile& ini, db::TConnectionOwner& connection) {
  building_ = true;
  statementNumber_ = 0;
  const auto built = qScopeGuard([this] { building_ = false; });
  chartCss_ = ini.ReadValueDefault("email", "css", "");
  try {
    report::BuildReport(ini, connection, wiring_.text, *this);
  } catch (const platform::ECancelled&) {
    wiring_.text.SetRowCount(0);  // a cancelled report is never sent
    throw platform::ECancelled(report::kBuildCancelled);
  }
}

void TReportPane::Reset() {
  wiring_.text.Clear();
  htmlsource->SetText(&wiring_.text);
  PageControl2->setCurrentWidget(TabSheet7);
  ClearPreview();
}

void TReportPane::ClearPreview() {
  previewNote->hide();
  html->clear();
}

void TReportPane::AddChartImages() {
  if (wiring_.text.Charts().empty()) return;
  QTextDocument* document = html->document();
  // The same PNG the mail carries.
  for (const chart::TChartImage& image : chart::DrawReportCharts(wiring_.text, chartCss_)) {
    QImage picture = QImage::fromData(QByteArrayView(image.png.data(), static_cast<qsizetype>(image.png.size())), "PNG");
    picture.setDevicePixelRatio(chart::kChartPixelRatio);
    document->addResource(QTextDocument::ImageResource,
                          QUrl(QStringLiteral("cid:") + QString::fromStdString(image.contentId)), picture);
  }
  document->markContentsDirty(0, document->characterCount());
}

void TReportPane::ShowSourcePage() {
  htmlsource->SetText(&wiring_.text);
  PageControl2->setCurrentWidget(TabSheet7);
  ClearPreview();
}

void TReportPane::PiecesAppended(const report::TReportText&) {
  // Nobody scrolls the source view of an unattended run: its line index is not built.
  if (!wiring_.unattended) htmlsource->CatchUp();
}

bool TReportPane::PumpEvents() {
  // A repaint of the status line costs far more than a row: a tenth of a second
  // between two updates reads as live progress.
  if (statementNumber_ > 0 && statusClock_.elapsed() >= 100) {
    wiring_.status(BuildProgressText(statementNumber_, statementCount_, currentStatement_, wiring_.text.RowCount()));
    statusClock_.start();
  }
  return wiring_.pump.PumpEvents();
}

void TReportPane::StatementStarted(std::size_t number, std::size_t count, std::string_view statement) {
  statementNumber_ = number;
  statementCount_ = count;
  currentStatement_.assign(statement);
  wiring_.status(BuildProgressText(number, count, statement, wiring_.text.RowCount()));
  statusClock_.start();
}

void TReportPane::Notice(const std::string& message) {
  platform::WriteStderrLine(message);
  if (!wiring_.unattended) wiring_.status(platform::ToQString(message));
}

void TReportPane::LoadPreview(std::string_view documentText) {
  // An unattended run ends right after its send and nobody sees the preview:
  // laying out rich text is most of a small run's time, so it is skipped.
  if (wiring_.unattended) {
    ClearPreview();
  } else {
    const TPreview preview = CutPreview(documentText);
    if (wiring_.text.Unfinished()) {
      // A cancelled or failed build is never sent; the note must not promise it.
      previewNote->setText(QStringLiteral("Bericht unvollständig (abgebrochen oder fehlgeschlagen) – "
                                          "er wird nicht versendet."));
      previewNote->show();
    } else if (preview.shortened) {
      previewNote->setText(PreviewNote(preview));
      previewNote->show();
    } else {
      previewNote->hide();
    }
    std::string shown = wiring_.text.ShownText(preview.shown);
    if (!preview.sumRow.empty()) shown += wiring_.text.ShownText(preview.sumRow);
    html->setHtml(platform::ToQString(shown));
    AddChartImages();
  }
  PageControl2->setCurrentWidget(TabSheet6);
}

}  // namespace vornetta::ui

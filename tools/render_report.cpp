// Renders a received report (the sink's UTF-8 .html file) the way the program's
// preview does, in a QTextBrowser on Qt's offscreen platform, and saves it as a
// PNG. Used to make docs/demo-report.png after scripts/demo.sh:
//   QT_QPA_PLATFORM=offscreen build/tools/render_report demo-run/mails/mail-001.html docs/demo-report.png
#include <QApplication>
#include <QFile>
#include <QTextBrowser>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_report <report.html> <out.png>\n");
    return 2;
  }
  QApplication app(argc, argv);
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "render_report: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextBrowser view;
  view.setFrameShape(QFrame::NoFrame);
  view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont font("DejaVu Sans");
  font.setPointSize(10);
  view.document()->setDefaultFont(font);
  view.document()->setDocumentMargin(16);
  view.setHtml(QString::fromUtf8(file.readAll()));
  const int width = 820;
  view.document()->setTextWidth(width);
  view.resize(width, static_cast<int>(view.document()->size().height()) + 16);
  view.show();
  app.processEvents();
  if (!view.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "render_report: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

// Draws the main window's pages into PNG files for the documentation:
//   build/tools/vornetta_screenshot <folder>
// Runs on any Qt platform (offscreen too); the configuration lives in a
// temporary file with example settings, and the report is an example document.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "config/my_ini_file.h"
#include "report/report_text.h"
#include "ui/form_main.h"
#include "ui/qt_dialogs.h"
#include "ui/report_pane.h"

namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void FillExampleSettings(const std::string& path) {
  vornetta::config::TMyIniFile ini(path);
  ini.WriteValue("datenbank", "connection", "Driver={SQLite3};Database=/srv/auswertung/umsatz.db;");
  ini.WriteText("sql",
                "select Kunde, Ort, sum(Betrag) as Umsatz\r\n"
                "  from Auftrag\r\n"
                " group by Kunde, Ort;\r\n"
                "update Auftrag set Gemeldet = 1 where Gemeldet = 0;");
  ini.WriteFlag("datenbank", "ergebnisUpdate", true);
  ini.WriteValue("email", "empfaenger",
                 "Erika Mustermann <erika.mustermann@example.com>, Leitung Vertrieb <leitung@example.com>");
  ini.WriteValue("email", "cc", "vertrieb@example.com");
  ini.WriteValue("email", "betreff", "Umsatz je Kunde");
  ini.WriteValue("email", "smtpserver", "mail.example.com");
  ini.WriteValue("email", "absender", "Vornetta <vornetta@example.com>");
  ini.WriteValue("email", "kopfzeile", "<h1>Umsatz je Kunde</h1>\r\n<p>Stand: heute</p>");
  ini.WriteValue("email", "fusszeile", "<p>Automatisch erstellt.</p>");
  ini.WriteValue("email", "css",
                 "table { border-collapse: collapse; }\r\n"
                 "th { background: #2f5d8a; color: white; }\r\n"
                 "tr.odd td { background: #eef3f8; }");
}

void FillExampleReport(vornetta::report::TReportText& text) {
  text.Clear();
  for (const char* piece :
       {"<html>", "<style>th { background: #2f5d8a; color: white; } tr.odd td { background: #eef3f8; }</style>",
        "<body>", "<div class=\"kopfzeile\">", "<h1>Umsatz je Kunde</h1>", "</div>",
        "<table width=\"100%\" class=\"sql0\">", "<tr class=\"head\">", "<th class=\"kunde string\">Kunde</th>",
        "<th class=\"ort string\">Ort</th>", "<th class=\"umsatz double\">Umsatz</th>", "</tr>"}) {
    text.Append(piece);
  }
  const char* rows[][3] = {{"Meier", "Hamburg", "1250,5"}, {"Huber", "M\xFCnchen", "980"},
                           {"Schulz", "Berlin", "2310,25"}, {"Becker", "K\xF6ln", "415,75"}};
  int number = 0;
  for (const auto& row : rows) {
    ++number;
    text.Append({"<tr id=\"row", std::to_string(number), "\" class=\"", number % 2 ? "odd" : "even", "\">"});
    text.Append({"<td class=\"kunde string\">", row[0], "</td>"});
    text.Append({"<td class=\"ort string\">", row[1], "</td>"});
    text.Append({"<td class=\"umsatz double\">", row[2], "</td>"});
    text.Append("</tr>");
    text.AddRow();
  }
  for (const char* piece : {"<tr class=\"sum\">", "<th class=\"kunde string\"><span>", "0", "</span></th>",
                            "<th class=\"ort string\"><span>", "0", "</span></th>",
                            "<th class=\"umsatz double\"><span>", "4956,5", "</span></th>", "</tr>",
                            "</table><br>", "<div class=\"fusszeile\">", "<p>Automatisch erstellt.</p>",
                            "</div>", "</body></html>"}) {
    text.Append(piece);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    std::fputs("Aufruf: vornetta_screenshot <Ordner>\n", stderr);
    return 1;
  }
  const QDir out(arguments[1]);
  QTemporaryDir work;
  const std::string ini = work.filePath(QStringLiteral("Vornetta.ini")).toStdString();
  FillExampleSettings(ini);

  vornetta::ui::TStderrDialogs dialogs;
  vornetta::ui::TFormMain window({ini}, &dialogs);
  window.show();
  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  auto save = [&](const char* page, const char* file) {
    pages->setCurrentWidget(window.findChild<QWidget*>(QString::fromLatin1(page)));
    Settle();
    return window.grab().save(out.filePath(QString::fromLatin1(file)));
  };

  FillExampleReport(window.ReportText());
  window.ReportPane().PiecesAppended(window.ReportText());
  window.ReportPane().LoadPreview(window.ReportText().DocumentText());
  bool ok = save("TabSheet2", "main-window.png");
  ok = save("TabSheet1", "page-info.png") && ok;
  ok = save("TabSheet4", "page-sql.png") && ok;
  ok = save("TabSheet5", "page-email.png") && ok;
  window.ReportPane().ShowSourcePage();
  window.ReportPane().PiecesAppended(window.ReportText());
  ok = save("TabSheet2", "page-versand-source.png") && ok;
  // The eMail page at the smallest size the window allows and on a large screen.
  const QSize designed = window.size();
  window.resize(window.minimumSize());
  ok = save("TabSheet5", "page-email-minimum.png") && ok;
  window.resize(1600, 1000);
  ok = save("TabSheet5", "page-email-maximized.png") && ok;
  window.resize(designed);
  return ok ? 0 : 1;
}

#include "ui/info_text.h"

#include <QStringList>

namespace vornetta::ui {

QString DesignedInfoText() {
  return QStringLiteral(
      "Vornetta ist ein Programm, mit dem Sie komfortabel\n"
      "Datenbankauswertungen per eMail versenden können.\n"
      "\n"
      "Geben Sie im Reiter \"Datenbank\" die Verbindungskennung zur\n"
      "Datenbank ein und testen Sie diese. Im Reiter \"SQL\" können Sie\n"
      "den Auswertungs-Befehl in SQL hinterlegen und testen.\n"
      "Konfigurieren Sie die eMail im Reiter \"eMail\".\n"
      "Im Reiter \"Versand\" wird anhand des SQL-Befehls der eMailtext\n"
      "erstellt und als eMail verschickt.\n"
      "\n"
      "Die eMail-Adressen können Sie nach RFC 2822 angeben:\n"
      "Erika Mustermann <erika.mustermann@example.com>.\n"
      "Trennen Sie mehrere Empfänger mit einem Komma.\n"
      "Kopfzeile und Fusszeile dürfen HTML enthalten.\n"
      "Um den HTML zu formatieren können Sie ein Stylesheet angeben.\n"
      "\n"
      "Die eingegebene Konfiguration wird in der Datei \"Vornetta.ini\"\n"
      "gespeichert. Möchten Sie eine andere Konfiguration verwenden,\n"
      "starten Sie das Programm mit dem Dateinamen als Parameter.\n"
      "Für einen automatischen Lauf zum Beispiel im Taskplaner\n"
      "verwenden Sie den Befehlszeilenparameter -unattend.\n"
      "Das Programm führt darauf hin die Datenbankabfrage aus,\n"
      "erstellt die eMail, versendet diese und beendet sich wieder.\n"
      "Tritt eine Fehlermeldung auf, so wird diese an den\n"
      "eMail-Absender zugestellt.");
}

QString ReflowInfoText(const QString& memoText) {
  static const QString crlf = QStringLiteral("\r\n");
  const QChar placeholder(6);

  QString text;
  text.reserve(memoText.size() + memoText.size() / 16);
  const QStringList lines = memoText.split(u'\n');
  for (const QString& line : lines) text += line + crlf;

  text.replace(crlf + crlf, QString(placeholder));
  text.replace(crlf, QStringLiteral(" "));
  text.replace(QStringLiteral("  "), QStringLiteral(" "));  // one pass: three blanks become two
  text.replace(QString(placeholder), crlf + crlf);
  text.replace(crlf + u' ', crlf);

  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= u' ') ++first;
  while (last > first && text[last - 1].unicode() <= u' ') --last;
  return text.mid(first, last - first);
}

}  // namespace vornetta::ui

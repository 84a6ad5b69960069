#include <gtest/gtest.h>

#include "ui/info_text.h"

using vornetta::ui::DesignedInfoText;
using vornetta::ui::ReflowInfoText;

TEST(InfoText, ReflowOfTheDesignedTextGivesTheFourParagraphs) {
  const QString expected = QStringLiteral(
      "Vornetta ist ein Programm, mit dem Sie komfortabel Datenbankauswertungen per eMail versenden "
      "können.\r\n\r\n"
      "Geben Sie im Reiter \"Datenbank\" die Verbindungskennung zur Datenbank ein und testen Sie diese. "
      "Im Reiter \"SQL\" können Sie den Auswertungs-Befehl in SQL hinterlegen und testen. Konfigurieren "
      "Sie die eMail im Reiter \"eMail\". Im Reiter \"Versand\" wird anhand des SQL-Befehls der "
      "eMailtext erstellt und als eMail verschickt.\r\n\r\n"
      "Die eMail-Adressen können Sie nach RFC 2822 angeben: Erika Mustermann "
      "<erika.mustermann@example.com>. Trennen Sie mehrere Empfänger mit einem Komma. Kopfzeile und "
      "Fusszeile dürfen HTML enthalten. Um den HTML zu formatieren können Sie ein Stylesheet "
      "angeben.\r\n\r\n"
      "Die eingegebene Konfiguration wird in der Datei \"Vornetta.ini\" gespeichert. Möchten Sie eine "
      "andere Konfiguration verwenden, starten Sie das Programm mit dem Dateinamen als Parameter. Für "
      "einen automatischen Lauf zum Beispiel im Taskplaner verwenden Sie den Befehlszeilenparameter "
      "-unattend. Das Programm führt darauf hin die Datenbankabfrage aus, erstellt die eMail, versendet "
      "diese und beendet sich wieder. Tritt eine Fehlermeldung auf, so wird diese an den "
      "eMail-Absender zugestellt.");
  EXPECT_EQ(ReflowInfoText(DesignedInfoText()), expected);
}

TEST(InfoText, ReflowJoinsLinesHalvesBlankRunsOnceAndTrims) {
  // Three blanks become two (one pass); leading blanks of the text and of a
  // paragraph's first line go; the empty line at the end is trimmed.
  EXPECT_EQ(ReflowInfoText(QStringLiteral("  Eins\nzwei\n\nDrei   vier\n")),
            QStringLiteral("Eins zwei\r\n\r\nDrei  vier"));
  EXPECT_EQ(ReflowInfoText(QStringLiteral("a\n\n b\nc")), QStringLiteral("a\r\n\r\nb c"));
  EXPECT_EQ(ReflowInfoText(QString()), QString());
}

#include "ui/send_rule_controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "platform/time_zone.h"
#include "ui/page_widgets.h"

namespace vornetta::ui {

QString PlaceholderHelp() {
  return QStringLiteral(
      "<b>Platzhalter</b> in Betreff, Kopfzeile und Fusszeile:<br>"
      "{datum} Datum des Laufs, {datum-1} gestern, {datum+7} in einer Woche<br>"
      "{datum:TT.MM.JJJJ} eigenes Format (TT, MM, JJJJ, JJ, hh, mm, MMMM = Monatsname)<br>"
      "{zeit} Uhrzeit hh:mm, {kw} Kalenderwoche, {jahr}<br>"
      "{monat} z. B. „Dezember 2026“, {monat-1} der Vormonat<br>"
      "{zeilen} alle Datenzeilen, {zeilen:N} die Zeilen der Anweisung N (ab 0)<br>"
      "{summe:N:SPALTE} die Summe einer Spalte der Anweisung N<br>"
      "{rechner} Rechnername, {datei} Name der Konfigurationsdatei<br>"
      "{{ und }} schreiben eine Klammer; unbekannte Namen bleiben stehen.");
}

TSendRuleControls NewSendRuleControls(QWidget* parent) {
  TSendRuleControls controls;
  controls.box = new QWidget(parent);
  controls.box->setObjectName(QStringLiteral("sendeRegeln"));

  controls.sendenWenn = NewEdit("sendenWenn", controls.box);
  controls.sendenWenn->setPlaceholderText(QStringLiteral("immer senden"));
  controls.sendenWenn->setToolTip(QStringLiteral(
      "<b>Bedingung</b> für den Versand; leer: immer senden.<br>"
      "zeilen &gt; 0, zeilen:N &gt; 0, summe:N:SPALTE &lt; 5000<br>"
      "Vergleiche =, &lt;&gt;, &lt;, &lt;=, &gt;, &gt;=; Zahlen mit Komma oder Punkt<br>"
      "verbunden mit und / oder (und bindet stärker), Klammern erlaubt.<br>"
      "Ist sie nicht erfüllt, wird nichts versendet."));

  controls.zeitzone = new QComboBox(controls.box);
  controls.zeitzone->setObjectName(QStringLiteral("zeitzone"));
  controls.zeitzone->setToolTip(
      QStringLiteral("Zeitzone für Datum und Uhrzeit der Platzhalter und den Kopf \"Date\" der eMail"));
  controls.zeitzone->addItem(QStringLiteral("Systemzeitzone"), QStringLiteral(""));
  for (const std::string& name : platform::TimeZoneNames()) {
    const QString id = QString::fromLatin1(name);
    controls.zeitzone->addItem(id, id);
  }

  auto* line = new QHBoxLayout(controls.box);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(8);
  line->addWidget(FieldLabel(QStringLiteral("Bedingung"), controls.sendenWenn, controls.box));
  line->addWidget(controls.sendenWenn, 2);
  line->addWidget(FieldLabel(QStringLiteral("Zeitzone"), controls.zeitzone, controls.box));
  line->addWidget(controls.zeitzone, 1);
  return controls;
}

}  // namespace vornetta::ui

#include "config/program_switches.h"

#include <algorithm>
#include <string_view>

namespace vornetta::config {
namespace {

// Options of Qt's own command line, which it also accepts after "--".
constexpr std::string_view kWindowSystemOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry", "qwindowtitle",
    "title", "qwindowicon", "icon", "reverse", "session", "display", "name", "dialogs", "style", "stylesheet",
    "widgetcount", "qmljsdebugger", "nograb", "dograb", "visual", "ncols", "cmap", "sync", "testability"};

bool IsWindowSystemOption(std::string_view word) {
  const std::string_view name = word.substr(0, word.find('='));
  return std::find(std::begin(kWindowSystemOptions), std::end(kWindowSystemOptions), name) !=
         std::end(kWindowSystemOptions);
}

}  // namespace

TProgramSwitches ParseProgramSwitches(const std::vector<std::string>& params) {
  TProgramSwitches switches;
  constexpr std::string_view kOutput = "--output=";
  for (const std::string& param : params) {
    const std::string_view word = param;
    if (word == "-h" || word == "--help") {
      switches.help = true;
    } else if (word == "--version") {
      switches.version = true;
    } else if (word == "--smtp-test") {
      switches.smtpTest = true;
    } else if (word.starts_with(kOutput)) {
      switches.output = std::string(word.substr(kOutput.size()));
    } else if (word.starts_with("--") && !IsWindowSystemOption(word.substr(2))) {
      switches.unknown.push_back(param);
    }
  }
  return switches;
}

std::string UsageText() {
  return "Aufruf: vornetta [KONFIGURATIONSDATEI] [-unattend] [--output=DATEI]\n"
         "       vornetta KONFIGURATIONSDATEI --smtp-test\n"
         "\n"
         "Ohne -unattend öffnet sich das Fenster mit der Konfigurationsdatei (ohne Angabe:\n"
         "vornetta.ini neben dem Programm; eine fehlende Datei wird leer angelegt).\n"
         "\n"
         "  -unattend        unbeaufsichtigter Lauf: Bericht erstellen, versenden, beenden\n"
         "                   (auch /unattend, Groß- und Kleinschreibung gleich)\n"
         "  --output=DATEI   mit -unattend: Probelauf; die fertige Mail wird in DATEI\n"
         "                   geschrieben (--output=- auf die Standardausgabe), nichts wird\n"
         "                   versendet, auch keine Fehler-Mail\n"
         "  --smtp-test      Mailserver prüfen: verbinden, verschlüsseln, anmelden, QUIT;\n"
         "                   jeder Schritt auf der Standardausgabe, nichts wird versendet\n"
         "  -h, --help       diese Hilfe\n"
         "  --version        Programmversion\n"
         "\n"
         "Rückgabewerte des unbeaufsichtigten Laufs:\n"
         "  0  Bericht versendet, oder nichts zu versenden\n"
         "  1  Erstellen oder Versand fehlgeschlagen, Fehler-Mail versendet\n"
         "     (auch: falscher Aufruf, Konfigurationsdatei nicht anlegbar, keine Anzeige)\n"
         "  2  auch die Fehler-Mail ist fehlgeschlagen\n"
         "  3  ein anderer Lauf verwendet dieselbe Konfigurationsdatei\n"
         "\n"
         "Fehler stehen zusätzlich auf der Standardfehlerausgabe (\"vornetta: ...\").\n"
         "Einrichtung für cron und systemd: README.md, Abschnitt \"Zeitgesteuerter Versand\".\n";
}

}  // namespace vornetta::config

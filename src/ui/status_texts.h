// The texts of the window's status line under the pages: progress of a build,
// what a build or a send did.
#pragma once

#include <QString>
#include <cstddef>
#include <string_view>


namespace vornetta::ui {

inline constexpr char kBuildFailedCaption[] = "Erstellen fehlgeschlagen";
inline constexpr char kSendFailedCaption[] = "Versand fehlgeschlagen";

// "Anweisung 2 von 3: select name from kunde – 1234 Datensätze gelesen"; the
// statement on one line, long ones cut with "…".
QString BuildProgressText(std::size_t number, std::size_t count, std::string_view statement, long long rows);
// "1 Datensatz", "1234 Datensätze".
QString RecordsText(long long rows);
// What the window waits for while the database works: "Verbinde mit Datenbank …",
// "Statement 2 läuft seit 12 s …" (without a number when statementNumber is 0).
QString DatabaseWaitText(bool connecting, std::size_t statementNumber, long long seconds);
// "Bericht erstellt: 1234 Datensätze."
QString BuildDoneText(long long rows);
// "eMail an 3 Empfänger versendet (2,4 MB)."
QString SentText(std::size_t recipients, std::size_t bytes);
// "812 Bytes", "12,3 KB", "2,4 MB" (units of 1024, one decimal).
QString SizeText(std::size_t bytes);

}  // namespace vornetta::ui

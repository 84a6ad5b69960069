#include "ui/status_texts.h"

#include "platform/qt_text.h"

namespace vornetta::ui {
namespace {

constexpr int kStatementChars = 60;

QString Decimal(double value) { return QString::number(value, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')); }

}  // namespace

QString BuildProgressText(std::size_t number, std::size_t count, std::string_view statement, long long rows) {
  QString shown = platform::ToQString(statement).simplified();
  if (shown.size() > kStatementChars) shown = shown.left(kStatementChars - 1) + QChar(0x2026);
  return QStringLiteral("Anweisung %1 von %2: %3 – %4 gelesen").arg(number).arg(count).arg(shown, RecordsText(rows));
}

QString RecordsText(long long rows) {
  return rows == 1 ? QStringLiteral("1 Datensatz") : QStringLiteral("%1 Datensätze").arg(rows);
}

QString DatabaseWaitText(bool connecting, std::size_t statementNumber, long long seconds) {
  if (connecting) return QStringLiteral("Verbinde mit Datenbank …");
  const QString statement =
      statementNumber == 0 ? QStringLiteral("Statement") : QStringLiteral("Statement %1").arg(statementNumber);
  return QStringLiteral("%1 läuft seit %2 s …").arg(statement).arg(seconds);
}

QString BuildDoneText(long long rows) { return QStringLiteral("Bericht erstellt: %1.").arg(RecordsText(rows)); }

QString SentText(std::size_t recipients, std::size_t bytes) {
  return QStringLiteral("eMail an %1 Empfänger versendet (%2).").arg(recipients).arg(SizeText(bytes));
}

QString SizeText(std::size_t bytes) {
  constexpr double kKilo = 1024.0;
  if (bytes < 1024) return QStringLiteral("%1 Bytes").arg(bytes);
  const double kilo = static_cast<double>(bytes) / kKilo;
  if (kilo < kKilo) return Decimal(kilo) + QStringLiteral(" KB");
  return Decimal(kilo / kKilo) + QStringLiteral(" MB");
}

}  // namespace vornetta::ui

#include "ui/send_commands.h"

#include <exception>
#include <string>

#include "commands/dialogs.h"
#include "config/my_ini_file.h"
#include "dispatch/send_command.h"
#include "platform/event_pump.h"
#include "platform/failure.h"
#include "report/placeholders.h"
#include "report/report_text.h"
#include "ui/report_pane.h"
#include "ui/status_texts.h"

namespace vornetta::ui {

void TSendCommands::Build(TReportPane& pane, config::TMyIniFile& ini, db::TConnectionOwner& connection) {
  try {
    pane.Build(ini, connection);
  } catch (const platform::ECancelled&) {
    throw;
  } catch (const std::exception& failure) {
    status_(QString::fromUtf8(kBuildFailedCaption) + QLatin1Char('.'));
    if (pane.StatementNumber() == 0) {
      dialogs_.ShowFailureOf(kBuildFailedCaption, failure);
    } else {
      // Which of the script's statements failed.
      dialogs_.ShowFailureOf(kBuildFailedCaption,
                             platform::EFailure(
                                 "Statement " + std::to_string(pane.StatementNumber()) + ": " +
                                 std::string(failure.what())));
    }
    return;
  }
  QString done = BuildDoneText(pane.Text().RowCount());
  // A subject with placeholders is shown filled, so that a mistyped name stands out.
  if (report::MayHoldPlaceholders(ini.ReadValue("email", "betreff", ""))) {
    done += QStringLiteral(" Betreff: ") + QString::fromStdString(dispatch::ReportSubject(ini, pane.Text()));
  }
  status_(done);
}

void TSendCommands::Send(config::TMyIniFile& ini, report::TReportText& text, dispatch::TSendView& view) {
  status_(QStringLiteral("eMail wird versendet …"));
  dispatch::TSendOutcome outcome;
  try {
    outcome = dispatch::SendReport(ini, text, view);
  } catch (const platform::ECancelled&) {
    throw;
  } catch (const std::exception& failure) {
    status_(QString::fromUtf8(kSendFailedCaption) + QLatin1Char('.'));
    dialogs_.ShowFailureOf(kSendFailedCaption, failure);
    return;
  }
  if (outcome.conditionUnmet) {
    status_(QString::fromUtf8(dispatch::kConditionUnmet));
    return;
  }
  status_(outcome.sent ? SentText(outcome.recipients, outcome.mailBytes)
                       : QStringLiteral("Keine eMail versendet: der Bericht enthält keine Datensätze."));
}

}  // namespace vornetta::ui

// The report build: runs every statement of the configured script and writes the
// HTML document into the report text, one piece per line, with a table per
// select, count tables for changing statements and the configured decoration.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "report/report_error.h"
#include "report/report_text.h"
#include "report/report_view.h"

namespace vornetta::config {
class TMyIniFile;
}
namespace vornetta::db {
class TConnectionOwner;
}

namespace vornetta::report {

// The CSS class name of a column: its display name with A-Z lower-cased and
// everything but a-z and 0-9 dropped ("Umsatz 2024 (EUR)" gives "umsatz2024eur").
std::string ColumnClassName(std::string_view displayName);

// Builds the report: clears `text`, writes the header block, opens
// `connection` when it is not open yet (and leaves it open), runs every
// statement of section "sql" and writes the footer; sets the row counter.
// Whatever happens, the preview is loaded from the text written so far; then a
// failure is rethrown, the text left Unfinished() so that it is never sent:
// EReportError "unbekannte Anweisung" or a class-name message, db::EDatabaseError
// from the connection or a statement. Nothing may release `connection` while the
// build lets events through.
void BuildReport(config::TMyIniFile& ini, db::TConnectionOwner& connection, TReportText& text,
                 TReportView& view);

}  // namespace vornetta::report

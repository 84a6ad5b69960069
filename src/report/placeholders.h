// Placeholders in the subject, header and footer: "{datum-1}", "{kw}",
// "{zeilen:0}", "{summe:1:Betrag}", ... filled from the facts of a build.
// "{{" and "}}" stand for single braces; a name that is none of the known
// ones stays in the text as it is written, braces included.
#pragma once

#include <string>
#include <string_view>

#include "report/report_facts.h"

namespace vornetta::report {

enum class TPlaceholderText {
  Plain,  // values as they are (a subject)
  Html,   // values with &, <, >, " and ' escaped (header and footer)
};

// True when the text holds a brace: only such a text is looked at, so every
// other one stays byte for byte as it is.
bool MayHoldPlaceholders(std::string_view text);

// True when the text quotes results ({zeilen}, {zeilen:N}, {summe:N:SPALTE}),
// which are known only after the last statement.
bool QuotesResults(std::string_view text);

// The UTF-8 text with every known placeholder replaced.
std::string ResolvePlaceholders(std::string_view text, const TReportFacts& facts, TPlaceholderText kind);

}  // namespace vornetta::report

#include "report/column_formats.h"

#include "config/my_ini_file.h"
#include "platform/code_page.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "report/report_error.h"

namespace vornetta::report {

TColumnFormats::TColumnFormats(config::TMyIniFile& ini)
    : thousands_(platform::ThousandsSeparator()), decimal_(platform::DecimalSeparator()) {
  if (!ini.HasSection("format")) return;
  for (const std::string& key : ini.KeyNames("format")) {
    const std::string pattern = ini.ReadValue("format", key, "");
    TNumberPattern parsed;
    if (!TNumberPattern::Parse(pattern, thousands_, decimal_, parsed)) {
      const std::string grouped = std::string("#") + thousands_ + "##0" + decimal_ + "00";
      throw EReportError("Unlesbares Zahlenformat \"" + pattern + "\" für die Spalte " + key +
                         ": erlaubt sind Muster wie " + grouped + ", 0" + decimal_ + "0 oder 0 % (Einstellung " + key +
                         " im Abschnitt format).");
    }
    patterns_.emplace_back(key, parsed);
  }
}

const TNumberPattern* TColumnFormats::Find(std::string_view label) const {
  for (const auto& [key, pattern] : patterns_) {
    if (platform::EqualsNoCase(key, label)) return &pattern;
  }
  return nullptr;
}

}  // namespace vornetta::report

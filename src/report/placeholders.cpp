#include "report/placeholders.h"

#include <array>
#include <chrono>
#include <optional>

#include "platform/code_page.h"
#include "platform/host.h"
#include "platform/regional.h"
#include "platform/text.h"

namespace vornetta::report {
namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, 12> kMonthNames{"Januar", "Februar", "März",      "April",
                                                        "Mai",    "Juni",    "Juli",      "August",
                                                        "September", "Oktober", "November", "Dezember"};

// Offsets beyond this many units are no placeholder (and never overflow a date).
constexpr long long kLargestOffset = 100000;

// A placeholder name split as word, optional offset ("-1", "+7") and the rest after ":".
struct TName {
  std::string_view word;
  long long offset = 0;
  std::optional<std::string_view> argument;
};

std::optional<TName> SplitName(std::string_view name) {
  TName out;
  std::size_t i = 0;
  while (i < name.size() && name[i] >= 'a' && name[i] <= 'z') ++i;
  out.word = name.substr(0, i);
  if (i < name.size() && (name[i] == '-' || name[i] == '+')) {
    const bool negative = name[i] == '-';
    const std::size_t start = ++i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
    const std::optional<long long> amount = platform::ParseInteger<long long>(name.substr(start, i - start));
    if (!amount || *amount > kLargestOffset) return std::nullopt;
    out.offset = negative ? -*amount : *amount;
  }
  if (i < name.size()) {
    if (name[i] != ':') return std::nullopt;
    out.argument = name.substr(i + 1);
  }
  return out;
}

// The civil date and time of the run in its zone.
struct TRunTime {
  year_month_day date;
  int hour = 0, minute = 0;
};

TRunTime RunTimeOf(const TReportFacts& facts) {
  const platform::TZonedTime local = facts.zone.At(facts.moment);
  return {year{local.year} / local.month / local.day, local.hour, local.minute};
}

void AppendTwo(std::string& out, unsigned value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

// The regional short date; the C library writes it in the locale's encoding.
std::string ShortDate(const year_month_day& date) {
  const std::string text = platform::FormatShortDate(platform::CivilTime(
      static_cast<int>(date.year()), static_cast<int>(unsigned{date.month()}), static_cast<int>(unsigned{date.day()})));
  return platform::AsUtf8(text);
}

// TT, MM, JJJJ, JJ, hh, mm and MMMM (German month name); everything else is kept.
std::string FormatDate(std::string_view format, const year_month_day& date, const TRunTime& time) {
  std::string out;
  const unsigned month = unsigned{date.month()};
  const int yearNumber = static_cast<int>(date.year());
  for (std::size_t i = 0; i < format.size();) {
    const std::string_view rest = format.substr(i);
    if (rest.starts_with("MMMM")) {
      out += kMonthNames[month - 1];
      i += 4;
    } else if (rest.starts_with("JJJJ")) {
      out += std::to_string(yearNumber);
      i += 4;
    } else if (rest.starts_with("JJ")) {
      AppendTwo(out, static_cast<unsigned>((yearNumber % 100 + 100) % 100));
      i += 2;
    } else if (rest.starts_with("TT")) {
      AppendTwo(out, unsigned{date.day()});
      i += 2;
    } else if (rest.starts_with("MM")) {
      AppendTwo(out, month);
      i += 2;
    } else if (rest.starts_with("hh")) {
      AppendTwo(out, static_cast<unsigned>(time.hour));
      i += 2;
    } else if (rest.starts_with("mm")) {
      AppendTwo(out, static_cast<unsigned>(time.minute));
      i += 2;
    } else {
      out += format[i++];
    }
  }
  return out;
}

// The ISO 8601 week: the week (Monday to Sunday) whose Thursday lies in the year.
unsigned IsoWeek(const year_month_day& date) {
  const sys_days day{date};
  const int isoWeekday = static_cast<int>(weekday{day}.iso_encoding());  // Monday 1 .. Sunday 7
  const sys_days thursday = day + days{4 - isoWeekday};
  const year isoYear = year_month_day{thursday}.year();
  return static_cast<unsigned>((thursday - sys_days{isoYear / January / 1}).count() / 7 + 1);
}

std::string MonthText(const year_month_day& date, long long offset) {
  const year_month shifted = year_month{date.year(), date.month()} + months{offset};
  return std::string(kMonthNames[unsigned{shifted.month()} - 1]) + ' ' + std::to_string(static_cast<int>(shifted.year()));
}

std::optional<std::string> DateValue(const TName& name, const TReportFacts& facts) {
  const TRunTime time = RunTimeOf(facts);
  if (name.word == "datum") {
    const year_month_day day{sys_days{time.date} + days{name.offset}};
    return name.argument ? FormatDate(*name.argument, day, time) : ShortDate(day);
  }
  if (name.argument) return std::nullopt;
  if (name.word == "zeit" && name.offset == 0) {
    std::string out;
    AppendTwo(out, static_cast<unsigned>(time.hour));
    out += ':';
    AppendTwo(out, static_cast<unsigned>(time.minute));
    return out;
  }
  if (name.word == "kw") return std::to_string(IsoWeek(year_month_day{sys_days{time.date} + weeks{name.offset}}));
  if (name.word == "monat") return MonthText(time.date, name.offset);
  if (name.word == "jahr") return std::to_string(static_cast<int>(time.date.year()) + name.offset);
  return std::nullopt;
}

// "N" of {zeilen:N} and {summe:N:...}: a statement of the script, else nothing.
const TStatementFacts* StatementOf(std::string_view number, const TReportFacts& facts) {
  const std::optional<long long> n = platform::ParseInteger<long long>(number);
  return n ? facts.Statement(*n) : nullptr;
}

std::optional<std::string> ResultValue(const TName& name, const TReportFacts& facts) {
  if (name.offset != 0) return std::nullopt;
  if (name.word == "zeilen") {
    if (!name.argument) return std::to_string(facts.DataRows());
    const TStatementFacts* statement = StatementOf(*name.argument, facts);
    if (!statement) return std::nullopt;
    return std::to_string(statement->rows);
  }
  if (name.word == "summe" && name.argument) {
    const std::size_t colon = name.argument->find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const TStatementFacts* statement = StatementOf(name.argument->substr(0, colon), facts);
    const TColumnTotal* total = statement ? statement->Total(name.argument->substr(colon + 1)) : nullptr;
    if (!total) return std::nullopt;
    return total->text;
  }
  return std::nullopt;
}

std::optional<std::string> Value(std::string_view text, const TReportFacts& facts) {
  const std::optional<TName> name = SplitName(text);
  if (!name) return std::nullopt;
  if (!name->argument && name->offset == 0) {
    if (name->word == "rechner") return platform::AsUtf8(platform::HostName());
    if (name->word == "datei") return facts.configName;
  }
  if (name->word == "zeilen" || name->word == "summe") return ResultValue(*name, facts);
  return DateValue(*name, facts);
}

void AppendEscaped(std::string& out, std::string_view value) {
  for (const char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

// Calls literal(text) for the text between placeholders and placeholder(name)
// for each "{name}" (a name holds no brace); "{{" and "}}" come as literal braces.
template <typename Literal, typename Placeholder>
void Scan(std::string_view text, Literal&& literal, Placeholder&& placeholder) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t brace = text.find_first_of("{}", i);
    if (brace == std::string_view::npos) {
      literal(text.substr(i));
      return;
    }
    literal(text.substr(i, brace - i));
    if (brace + 1 < text.size() && text[brace + 1] == text[brace]) {
      literal(text.substr(brace, 1));
      i = brace + 2;
      continue;
    }
    const std::size_t end = text[brace] == '{' ? text.find_first_of("{}", brace + 1) : std::string_view::npos;
    if (end == std::string_view::npos || text[end] != '}') {
      literal(text.substr(brace, 1));
      i = brace + 1;
      continue;
    }
    placeholder(text.substr(brace + 1, end - brace - 1));
    i = end + 1;
  }
}

}  // namespace

bool MayHoldPlaceholders(std::string_view text) { return text.find_first_of("{}") != std::string_view::npos; }

bool QuotesResults(std::string_view text) {
  bool quotes = false;
  Scan(
      text, [](std::string_view) {},
      [&quotes](std::string_view name) {
        const std::optional<TName> split = SplitName(name);
        if (split && (split->word == "zeilen" || split->word == "summe")) quotes = true;
      });
  return quotes;
}

std::string ResolvePlaceholders(std::string_view text, const TReportFacts& facts, TPlaceholderText kind) {
  std::string out;
  out.reserve(text.size());
  Scan(
      text, [&out](std::string_view literal) { out += literal; },
      [&](std::string_view name) {
        const std::optional<std::string> value = Value(name, facts);
        if (!value) {
          out.append("{").append(name).append("}");
        } else if (kind == TPlaceholderText::Html) {
          AppendEscaped(out, *value);
        } else {
          out += *value;
        }
      });
  return out;
}

}  // namespace vornetta::report

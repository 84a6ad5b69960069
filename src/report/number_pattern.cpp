#include "report/number_pattern.h"

#include <cstddef>

namespace vornetta::report {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A value text as sign, digits and the position of the decimal point within them.
struct TDecimal {
  bool negative = false;
  std::string digits;
  long long point = 0;  // digits before the decimal point; may be negative or beyond digits
};

// "-1997,5", "12.5", "5E-5", "1,2E15": one separator of either kind, an optional exponent.
bool ReadDecimal(std::string_view text, TDecimal& out) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    out.negative = true;
    ++i;
  }
  const std::size_t start = i;
  bool separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      out.digits += c;
      if (!separator) ++out.point;
    } else if ((c == ',' || c == '.') && !separator) {
      separator = true;
    } else {
      break;
    }
  }
  if (out.digits.empty() || i == start) return false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negativeExponent = text[i++] == '-';
    long long exponent = 0;
    const std::size_t exponentStart = i;
    for (; i < text.size() && IsDigit(text[i]) && exponent < 100000; ++i) exponent = exponent * 10 + (text[i] - '0');
    if (i == exponentStart) return false;
    out.point += negativeExponent ? -exponent : exponent;
  }
  return i == text.size();
}

// Adds one unit in the last place of a digit string; true when a digit was carried out in front.
bool Increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits.insert(0, 1, '1');
  return true;
}

}  // namespace

bool TNumberPattern::Parse(std::string_view pattern, char thousands, char decimal, TNumberPattern& out) {
  TNumberPattern parsed;
  std::size_t i = 0;
  bool digitSeen = false;
  bool zeroSeen = false;
  int zeros = 0;
  for (; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '#') {
      if (zeroSeen) return false;  // "0#" has no meaning
      digitSeen = true;
    } else if (c == '0') {
      digitSeen = zeroSeen = true;
      ++zeros;
    } else if (c == thousands && digitSeen && i + 1 < pattern.size() && (pattern[i + 1] == '#' || pattern[i + 1] == '0')) {
      parsed.grouped_ = true;
    } else {
      break;
    }
  }
  if (!zeroSeen) return false;
  parsed.minIntegerDigits_ = zeros;
  if (i < pattern.size() && pattern[i] == decimal) {
    ++i;
    for (; i < pattern.size() && pattern[i] == '0'; ++i) ++parsed.decimals_;
    if (parsed.decimals_ == 0) return false;
  }
  if (i < pattern.size() && pattern[i] == ' ') {
    parsed.blankBeforePercent_ = true;
    ++i;
  }
  if (i < pattern.size() && pattern[i] == '%') {
    parsed.percent_ = true;
    ++i;
  }
  if (parsed.blankBeforePercent_ && !parsed.percent_) return false;
  if (i != pattern.size() || parsed.minIntegerDigits_ > 30 || parsed.decimals_ > 30) return false;
  out = parsed;
  return true;
}

std::string TNumberPattern::Format(std::string_view valueText, char thousands, char decimal) const {
  TDecimal value;
  if (!ReadDecimal(valueText, value)) return std::string(valueText);
  if (percent_) value.point += 2;
  // A value of more than a few hundred digits is no number a person reads.
  if (value.point > 400 || value.point < -400) return std::string(valueText);

  // Digits before the point (padded), then exactly the pattern's decimals, rounded.
  std::string whole;
  std::string fraction;
  if (value.point <= 0) {
    fraction.assign(static_cast<std::size_t>(-value.point), '0');
    fraction += value.digits;
  } else if (static_cast<std::size_t>(value.point) >= value.digits.size()) {
    whole = value.digits;
    whole.append(static_cast<std::size_t>(value.point) - value.digits.size(), '0');
  } else {
    whole = value.digits.substr(0, static_cast<std::size_t>(value.point));
    fraction = value.digits.substr(static_cast<std::size_t>(value.point));
  }
  const auto decimals = static_cast<std::size_t>(decimals_);
  const bool roundUp = fraction.size() > decimals && fraction[decimals] >= '5';
  fraction.resize(decimals, '0');
  std::string kept = whole + fraction;
  if (roundUp && Increment(kept)) whole.insert(0, 1, '0');  // the carry made the whole part one digit longer
  whole = kept.substr(0, whole.size());
  fraction = kept.substr(whole.size());

  const std::size_t firstNonZero = whole.find_first_not_of('0');
  whole.erase(0, firstNonZero == std::string::npos ? whole.size() : firstNonZero);
  if (whole.size() < static_cast<std::size_t>(minIntegerDigits_)) whole.insert(0, minIntegerDigits_ - whole.size(), '0');

  const bool zero = kept.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (value.negative && !zero) out += '-';
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (grouped_ && i > 0 && (whole.size() - i) % 3 == 0) out += thousands;
    out += whole[i];
  }
  if (decimals > 0) {
    out += decimal;
    out += fraction;
  }
  if (blankBeforePercent_) out += ' ';
  if (percent_) out += '%';
  return out;
}

std::string TNumberPattern::SpreadsheetFormat() const {
  std::string out = grouped_ ? "#,##" : "";
  out.append(static_cast<std::size_t>(minIntegerDigits_), '0');
  if (decimals_ > 0) {
    out += '.';
    out.append(static_cast<std::size_t>(decimals_), '0');
  }
  if (blankBeforePercent_) out += ' ';
  if (percent_) out += '%';
  return out;
}

}  // namespace vornetta::report

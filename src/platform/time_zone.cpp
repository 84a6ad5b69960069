#include "platform/time_zone.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"

namespace vornetta::platform {

struct TTimeZone::TZone {
  QTimeZone zone;
};

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

TTimeZone::TTimeZone(std::string_view name) {
  const std::string_view trimmed = Trimmed(name);
  if (trimmed.empty()) return;
  name_ = std::string(trimmed);
  const QByteArray id(name_.data(), static_cast<qsizetype>(name_.size()));
  auto zone = std::make_shared<TZone>();
  // Qt also knows offsets such as "UTC+02:00"; they are no names of the database.
  if (!id.contains(':')) zone->zone = QTimeZone(id);
  if (!zone->zone.isValid()) {
    throw ETimeZoneError("Unbekannte Zeitzone \"" + name_ +
                         "\": erwartet wird ein Name der Zeitzonendatenbank wie Europe/Berlin oder ein leerer Wert "
                         "(Zeitzone, Einstellung zeitzone).");
  }
  zone_ = std::move(zone);
}

TZonedTime TTimeZone::At(std::time_t when) const {
  TZonedTime out;
  if (!zone_) {
    std::tm tm{};
    localtime_r(&when, &tm);
    out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
           std::chrono::minutes(tm.tm_gmtoff / 60)};
    return out;
  }
  const QDateTime local = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(when), zone_->zone);
  const QDate date = local.date();
  const QTime time = local.time();
  out = {date.year(),   date.month(),   date.day(), time.hour(), time.minute(), time.second(),
         std::chrono::minutes(local.offsetFromUtc() / 60)};
  return out;
}

std::vector<std::string> TimeZoneNames() {
  std::vector<std::string> names;
  for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) {
    if (!id.contains(':')) names.emplace_back(id.constData(), static_cast<std::size_t>(id.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::time_t RunMoment() {
  if (const char* fixed = std::getenv("VORNETTA_TEST_NOW"); fixed && *fixed) {
    long long seconds = 0;
    const char* end = fixed + std::strlen(fixed);
    if (auto [ptr, ec] = std::from_chars(fixed, end, seconds); ec == std::errc() && ptr == end)
      return static_cast<std::time_t>(seconds);
  }
  return std::time(nullptr);
}

}  // namespace vornetta::platform

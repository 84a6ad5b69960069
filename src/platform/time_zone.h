// Time zones of the system's tz database (tzdata): the civil time and the
// offset from UTC of a moment in a named zone, or in the system's own zone.
// The header is free of Qt; the zone data is read through Qt Core's QTimeZone,
// which reads the tzfiles under /usr/share/zoneinfo, rules for years beyond the
// last listed change included, and may be used from any thread.
#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace vornetta::platform {

// A zone name the tz database does not know.
class ETimeZoneError : public EFailure {
 public:
  using EFailure::EFailure;
};

// A moment's civil time in a zone: date, time of day to the second, and the
// offset in force then (daylight saving time included).
struct TZonedTime {
  int year = 0, month = 0, day = 0;  // month 1..12
  int hour = 0, minute = 0, second = 0;
  std::chrono::minutes utcOffset{0};
};

class TTimeZone {
 public:
  // The system's zone, as the C library sees it (TZ, /etc/localtime).
  TTimeZone() = default;
  // A zone by its name in the tz database ("Europe/Berlin"); blanks around it
  // are ignored and an empty name means the system's zone. Throws
  // ETimeZoneError naming the setting "zeitzone" when the database has no such zone.
  explicit TTimeZone(std::string_view name);

  bool IsSystem() const { return !zone_; }
  const std::string& Name() const { return name_; }

  // The civil time of `when` in this zone.
  TZonedTime At(std::time_t when) const;

 private:
  struct TZone;
  std::string name_;
  std::shared_ptr<const TZone> zone_;  // null: the system's zone
};

// Every zone name of the tz database, sorted, for a choice list.
std::vector<std::string> TimeZoneNames();

// The moment of a run: now, or for tests the seconds since 1970 (UTC) in the
// environment variable VORNETTA_TEST_NOW.
std::time_t RunMoment();

}  // namespace vornetta::platform

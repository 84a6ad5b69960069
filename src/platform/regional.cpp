#include "platform/regional.h"

#include <langinfo.h>

namespace vornetta::platform {
namespace {

std::string Format(const char* format, const std::tm& when) {
  char buffer[128];
  size_t n = std::strftime(buffer, sizeof buffer, format, &when);
  return std::string(buffer, n);
}

}  // namespace

char DecimalSeparator() {
  const char* radix = nl_langinfo(RADIXCHAR);
  return radix && *radix ? *radix : '.';
}

std::string FormatShortDate(const std::tm& when) { return Format(nl_langinfo(D_FMT), when); }

std::string FormatShortTime(const std::tm& when) { return Format(nl_langinfo(T_FMT), when); }

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace vornetta::platform

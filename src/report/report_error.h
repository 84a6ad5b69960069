// The failure of a report build; what() is the message shown or mailed.
#pragma once

#include "platform/failure.h"

namespace vornetta::report {

class EReportError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

}  // namespace vornetta::report

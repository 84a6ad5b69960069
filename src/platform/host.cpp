#include "platform/host.h"

#include <unistd.h>

namespace vornetta::platform {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

}  // namespace vornetta::platform

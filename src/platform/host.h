// The machine's own host name, as the SMTP greeting and the Message-ID need it.
#pragma once

#include <string>

namespace vornetta::platform {

std::string HostName();

}  // namespace vornetta::platform

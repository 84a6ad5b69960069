// Keeps a file named by mistake (a database, a program, a picture) from being
// taken for the configuration file and rewritten with its keys.
#pragma once

#include <string>
#include <string_view>

#include "platform/failure.h"

namespace vornetta::config {

// "<file> ist keine Konfigurationsdatei – nichts wurde geändert."
class ENotConfigurationFile : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

// True when the bytes could be a configuration file: empty, or text without a
// NUL byte or a known binary signature in the first 4 KiB that has at least one
// line of an INI file (a [section], a key=value, a ; comment) or only blank lines.
bool LooksLikeConfiguration(std::string_view bytes);

// Throws ENotConfigurationFile when a file exists at path (a link followed) and
// its content is not configuration text. A missing or unreadable file passes:
// nothing of it would be changed. Reads only.
void RefuseForeignFile(const std::string& path);

}  // namespace vornetta::config

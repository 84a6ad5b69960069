// The switches that begin with "--" (and "-h"): help, version and the dry run's
// output. Single-dash words keep their old meaning: "-unattend" selects the
// unattended run and every other one is passed over.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vornetta::config {

struct TProgramSwitches {
  bool help = false;                  // --help or -h
  bool version = false;               // --version
  std::optional<std::string> output;  // --output=FILE; "-" is stdout
  bool smtpTest = false;              // --smtp-test: check the mail server, send nothing
  std::vector<std::string> unknown;   // every other "--" word, as given
};

// Reads every parameter (the program name not included). Window-system options
// that Qt takes for itself ("--platform", "--style=...", ...) are no unknown words.
TProgramSwitches ParseProgramSwitches(const std::vector<std::string>& params);

// The usage text (UTF-8, lines ending in LF) that --help prints.
std::string UsageText();

}  // namespace vornetta::config

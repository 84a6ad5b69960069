// The page "SQL" in the configuration file: the statement memo is section
// "sql", the four result switches are flags of section "datenbank".
#pragma once

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

struct TSqlPage;

class TSqlPageBinding {
 public:
  explicit TSqlPageBinding(const TSqlPage& page) : page_(page) {}

  // Entering the page: the file's values into the controls.
  void Load(config::TMyIniFile& ini) const;
  // Leaving the page: the controls into the file. Failures of the file pass on.
  void Store(config::TMyIniFile& ini) const;

 private:
  const TSqlPage& page_;
};

}  // namespace vornetta::ui

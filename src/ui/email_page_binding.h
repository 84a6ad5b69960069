// The page "eMail" in the configuration file: each field is the key of section
// "email" it is named after, the CSV switch is the key "anhang".
#pragma once

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

struct TEmailPage;

class TEmailPageBinding {
 public:
  explicit TEmailPageBinding(const TEmailPage& page) : page_(page) {}

  // Entering the page: the file's values (their defaults stored when missing)
  // into the controls.
  void Load(config::TMyIniFile& ini) const;
  // Leaving the page: the controls into the file. Failures of the file pass on.
  void Store(config::TMyIniFile& ini) const;

 private:
  const TEmailPage& page_;
};

}  // namespace vornetta::ui

#include "ui/email_page_binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <string>

#include "config/my_ini_file.h"
#include "platform/qt_text.h"
#include "ui/email_page.h"
#include "ui/memo_text.h"
#include "ui/texts.h"

namespace vornetta::ui {
namespace {

using platform::FromQString;
using platform::ToQString;

struct TEmailField {
  const char* key;
  const char* defaultValue;
};

// The page "eMail" in the order its fields are loaded and stored.
constexpr TEmailField kEmailFields[] = {
    {"empfaenger", ""}, {"cc", ""},        {"bcc", ""},       {"betreff", kAppTitle},
    {"smtpserver", ""}, {"smtpuser", ""},  {"smtppass", ""},  {"absender", kBuiltInSender},
    {"kopfzeile", ""},  {"fusszeile", ""}, {"css", ""},
    {"verschluesselung", "auto"}, {"zertifikate", ""}, {"smtptokenbefehl", ""},
};

bool IsCsvAttachment(const std::string& value) {
  return QString::fromLatin1(value).compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void TEmailPageBinding::Load(config::TMyIniFile& ini) const {
  for (const TEmailField& field : kEmailFields) {
    bool utf8 = false;
    const std::string value = ini.ReadValueDefault("email", field.key, field.defaultValue, utf8);
    auto* control = page_.page->findChild<QWidget*>(QString::fromLatin1(field.key));
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      edit->setText(ToQString(value, utf8));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
      SetMemoText(memo, value, utf8);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      // A value the list does not know stays selectable, so leaving the page keeps it.
      const QString word = ToQString(value);
      int index = combo->findData(word.trimmed().toLower());
      if (index < 0) index = combo->findData(word);
      if (index < 0) {
        combo->addItem(word, word);
        index = combo->count() - 1;
      }
      combo->setCurrentIndex(index);
    }
  }
  page_.cbAnhang->setChecked(IsCsvAttachment(ini.ReadValueDefault("email", "anhang", "")));
}

void TEmailPageBinding::Store(config::TMyIniFile& ini) const {
  for (const TEmailField& field : kEmailFields) {
    auto* control = page_.page->findChild<QWidget*>(QString::fromLatin1(field.key));
    auto* edit = qobject_cast<QLineEdit*>(control);
    auto* memo = qobject_cast<QPlainTextEdit*>(control);
    if (edit || memo) {
      // A text the code page cannot hold is stored as UTF-8 rather than with "?".
      bool utf8 = false;
      const std::string value = edit ? FromQString(edit->text(), utf8) : MemoText(memo, utf8);
      if (utf8)
        ini.WriteValueUtf8("email", field.key, value);
      else
        ini.WriteValue("email", field.key, value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      ini.WriteValue("email", field.key, FromQString(combo->currentData().toString()));
    }
  }
  // A value the box cannot show stays as long as the box is not changed.
  const bool csv = page_.cbAnhang->isChecked();
  if (csv != IsCsvAttachment(ini.ReadValue("email", "anhang", ""))) {
    ini.WriteValue("email", "anhang", csv ? "csv" : "");
  }
}

}  // namespace vornetta::ui

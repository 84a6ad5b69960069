#include "ui/email_page_binding.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
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
    {"verschluesselung", "auto"}, {"zertifikate", ""}, {"smtptokenbefehl", ""}, {"sendenWenn", ""}, {"zeitzone", ""},
    {"anhang", ""},     {"zeilenMax", "0"}, {"groesseMax", "0"},
};

// A word the box shows in another case ("CSV") stays as written in the file.
void StoreWord(config::TMyIniFile& ini, const char* key, const QString& word) {
  if (ToQString(ini.ReadValue("email", key, "")).trimmed().compare(word, Qt::CaseInsensitive) == 0) return;
  ini.WriteValue("email", key, FromQString(word));
}

// A number stays as written (" 5"); a value that is no number stays while the box shows 0.
void StoreNumber(config::TMyIniFile& ini, const char* key, int value) {
  bool isNumber = false;
  const int stored = ToQString(ini.ReadValue("email", key, "")).trimmed().toInt(&isNumber);
  if (isNumber ? stored == value : value == 0) return;
  ini.WriteValue("email", key, std::to_string(value));
}

}  // namespace

void TEmailPageBinding::Load(config::TMyIniFile& ini) const {
  for (const TEmailField& field : kEmailFields) {
    const std::string value = ini.ReadValueDefault("email", field.key, field.defaultValue);
    auto* control = page_.page->findChild<QWidget*>(QString::fromLatin1(field.key));
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      edit->setText(ToQString(value));
      edit->setCursorPosition(0);  // a long address list shows its start
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
      SetMemoText(memo, value);
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
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
      // A value that is no number shows as 0 and stays as long as the box is not changed.
      spin->setValue(ToQString(value).trimmed().toInt());
    }
  }
}

void TEmailPageBinding::Store(config::TMyIniFile& ini) const {
  for (const TEmailField& field : kEmailFields) {
    auto* control = page_.page->findChild<QWidget*>(QString::fromLatin1(field.key));
    auto* edit = qobject_cast<QLineEdit*>(control);
    auto* memo = qobject_cast<QPlainTextEdit*>(control);
    if (edit || memo) {
      ini.WriteValue("email", field.key, edit ? FromQString(edit->text()) : MemoText(memo));
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      StoreWord(ini, field.key, combo->currentData().toString());
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
      StoreNumber(ini, field.key, spin->value());
    }
  }
}

}  // namespace vornetta::ui

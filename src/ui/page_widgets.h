// The controls the page builders make again and again, named as the window's
// designer named them.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace vornetta::ui {

QPlainTextEdit* NewMemo(const char* name, QWidget* parent);

// A one-line edit without Qt's length limit.
QLineEdit* NewEdit(const char* name, QWidget* parent);

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent);

// A right-aligned caption whose mnemonic moves the focus to buddy.
QLabel* FieldLabel(const QString& caption, QWidget* buddy, QWidget* parent);

}  // namespace vornetta::ui

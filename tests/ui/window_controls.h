// Reaching the real window's controls in tests: by their designer names.
#pragma once

#include <QTabWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include "ui/form_main.h"

namespace vornetta::ui::test {

template <class T>
T* Find(TFormMain& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// Makes a page of PageControl1 the current one, as a click on its tab does.
inline void ShowPage(TFormMain& window, const char* page) {
  Find<QTabWidget>(window, "PageControl1")->setCurrentWidget(Find<QWidget>(window, page));
}

}  // namespace vornetta::ui::test

// Reaching the real window's controls in tests: by their designer names.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
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

// Lets window events through until `done` holds or a generous bound has passed;
// returns whether it holds.
template <class Condition>
bool SpinEventsUntil(Condition done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

// Answers the next modal dialog of type T once it is shown: `answer` gets it
// and must close it. The watch runs from the dialog's own event loop.
template <class T>
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(T*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&watch_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
          watch_.stop();
          answered_ = true;
          answer_(dialog);
          return;
        }
      }
    });
    watch_.start(10);
  }
  bool Answered() const { return answered_; }

 private:
  std::function<void(T*)> answer_;
  QTimer watch_;
  bool answered_ = false;
};

}  // namespace vornetta::ui::test

// Dialogs answered by the test: messages are recorded, questions take the
// prepared answers in order (Cancel and "not confirmed" when none are left).
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "commands/dialogs.h"

class FakeDialogs : public vornetta::commands::TDialogs {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> captions;  // of the failures among the messages
  std::vector<std::string> warnings;  // caption + "|" + text
  std::vector<std::string> inputs;    // caption + "|" + prompt + "|" + initial value
  std::deque<Answer> answers;
  std::deque<std::pair<bool, std::string>> inputAnswers;

  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  // Failures land among the messages; their captions are kept beside them.
  void ShowFailure(const std::string& caption, const std::string& text) override {
    captions.push_back(caption);
    ShowMessage(text);
  }

  Answer AskWarning(const std::string& caption, const std::string& text) override {
    warnings.push_back(caption + "|" + text);
    if (answers.empty()) return Answer::Cancel;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override {
    inputs.push_back(caption + "|" + prompt + "|" + value);
    lastMaxLength = maxLength;
    if (inputAnswers.empty()) return false;
    auto [ok, text] = inputAnswers.front();
    inputAnswers.pop_front();
    if (ok) value = text;
    return ok;
  }

  int lastMaxLength = 0;
};

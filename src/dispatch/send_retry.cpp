#include "dispatch/send_retry.h"

#include <optional>
#include <string>
#include <thread>

#include "dispatch/email.h"
#include "platform/text.h"
#include "smtp/exceptions.h"
#include "smtp/socket_stack.h"

namespace vornetta::dispatch {

std::string MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unbekannter Fehler";
  }
}

void SleepFor(std::chrono::seconds wait) { std::this_thread::sleep_for(wait); }

std::chrono::seconds RetryWait(int retry) {
  if (retry <= 1) return std::chrono::seconds(30);
  if (retry == 2) return std::chrono::minutes(2);
  return std::chrono::minutes(5);
}

bool IsTemporaryFailure(std::exception_ptr failure, bool dataEndSent) {
  try {
    std::rethrow_exception(failure);
  } catch (const smtp::EIdProtocolReplyError& e) {
    // A 4xx reply is a clear "not taken", even to the final ".".
    return e.ReplyCode() >= 400 && e.ReplyCode() <= 499;
  } catch (const smtp::EIdSocketError& e) {
    return !dataEndSent && smtp::IsTransientSocketError(e.SocketErrorCode());
  } catch (const smtp::EIdReadTimeout&) {
    return !dataEndSent;
  } catch (const smtp::EIdAttemptTimeout&) {
    return !dataEndSent;
  } catch (const smtp::EIdConnClosedGracefully&) {
    return !dataEndSent;
  } catch (...) {
    return false;
  }
}

int SendWithRetries(EMail& job, int retries, const TRetryWait& wait,
                    const std::function<void(const std::string&, std::chrono::seconds)>& onRetry) {
  const std::string subject = job.Subject;  // Send cleans it; every attempt starts from the setting
  for (int attempt = 1;; ++attempt) {
    try {
      job.Subject = subject;
      job.Send();
      return attempt;
    } catch (...) {
      const std::exception_ptr failure = std::current_exception();
      if (retries == 0) throw;
      std::string message = MessageOf(failure);
      while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
      if (attempt <= retries && IsTemporaryFailure(failure, job.DataEndSent)) {
        const std::chrono::seconds pause = RetryWait(attempt);
        if (onRetry) onRetry(message, pause);
        wait(pause);
        continue;
      }
      const std::string count = attempt == 1 ? "einem Versuch" : std::to_string(attempt) + " Versuchen";
      const std::string abandoned =
          "\r\nVersand nach " + count + " aufgegeben (Einstellung wiederholen im Abschnitt email).";
      throw ESendAbandoned(message + abandoned);
    }
  }
}

int ParseRetries(const std::string& text) {
  const std::optional<int> value = platform::ParseInteger<int>(text);
  if (!value || *value < 0 || *value > 100) {
    throw std::runtime_error("Ungültiger Wert \"" + text +
                             "\" für die Wiederholungen: erlaubt ist eine Zahl von 0 bis 100 (Einstellung wiederholen "
                             "im Abschnitt email).");
  }
  return *value;
}

}  // namespace vornetta::dispatch

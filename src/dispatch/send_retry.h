// Further attempts after a temporary mail failure (setting "wiederholen" of
// section "email"): a refused or timed-out connection, or a 4xx reply before the
// server accepted the message. A 5xx reply is final, and nothing is tried again
// once the data phase's final "." went out without a clear 4xx answer, so no
// mail can arrive twice.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/failure.h"

namespace vornetta::dispatch {

class EMail;

// Waits before a further attempt; tests pass one that does not sleep.
using TRetryWait = std::function<void(std::chrono::seconds)>;

// The message of whatever was thrown; failures outside the standard hierarchy
// still get a text so that a run can report them.
std::string MessageOf(std::exception_ptr failure);

// Sleeps for the given time.
void SleepFor(std::chrono::seconds wait);

// The wait before further attempt `retry` (1 for the first): 30 s, 2 min,
// then 5 min for every later one.
std::chrono::seconds RetryWait(int retry);

// True when `failure` may go away by itself and trying again cannot deliver the
// mail twice (dataEndSent: the final "." had gone out).
bool IsTemporaryFailure(std::exception_ptr failure, bool dataEndSent);

// All attempts failed: what() is the last failure's message followed by a line
// that names the number of attempts and the setting.
class ESendAbandoned : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

// job.Send(), and up to `retries` more times after temporary failures, with
// wait(RetryWait(n)) before each; `onRetry` is told the failure's whole message
// (UTF-8) and the wait before each further attempt. With retries 0 the failure is thrown as
// it is; else a last failure after more than one attempt, or a lasting one, is
// thrown as ESendAbandoned. Returns the number of attempts made.
int SendWithRetries(EMail& job, int retries, const TRetryWait& wait,
                    const std::function<void(const std::string&, std::chrono::seconds)>& onRetry);

// The "wiederholen" text as a count of further attempts: decimal digits, 0 to
// 100. Throws std::runtime_error naming the setting for anything else.
int ParseRetries(const std::string& text);

}  // namespace vornetta::dispatch

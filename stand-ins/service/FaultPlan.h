#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// How the service answers one attempt.
struct Answer {
  enum class Kind { Status, Drop, Stall };
  Kind kind = Kind::Status;
  int status = 201;
  int delayMilliseconds = 0;  // waited before answering with the status
};

// Parses an answer list such as "500,drop,stall,200@1500": statuses (with
// an optional delay in milliseconds after "@"), "drop" (close the connection
// without an answer) and "stall" (answer nothing until the client hangs up).
// Nothing when the text is malformed.
std::optional<std::vector<Answer>> parseAnswers(const std::string& text);

// The answers of one request kind, one per attempt in arrival order; once
// the list is used up, every attempt gets 201. Safe from any thread.
class FaultPlan {
 public:
  explicit FaultPlan(std::vector<Answer> answers = {}) : answers_(std::move(answers)) {}

  // The next attempt's number (from 1) and its answer.
  std::pair<int, Answer> next();

 private:
  std::mutex lock_;
  std::vector<Answer> answers_;
  int attempts_ = 0;
};

}  // namespace standin

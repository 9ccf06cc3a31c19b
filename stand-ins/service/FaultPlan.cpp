#include "stand-ins/service/FaultPlan.h"

#include <charconv>
#include <sstream>

namespace standin {

namespace {

// A whole decimal number in [low, high], else nothing.
std::optional<int> number(const std::string& text, int low, int high) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

std::optional<Answer> parseAnswer(const std::string& item) {
  Answer answer;
  if (item == "drop") {
    answer.kind = Answer::Kind::Drop;
    return answer;
  }
  if (item == "stall") {
    answer.kind = Answer::Kind::Stall;
    return answer;
  }
  std::size_t at = item.find('@');
  auto status = number(item.substr(0, at), 200, 599);
  if (!status) return std::nullopt;
  answer.status = *status;
  if (at == std::string::npos) return answer;
  auto delay = number(item.substr(at + 1), 0, 600000);
  if (!delay) return std::nullopt;
  answer.delayMilliseconds = *delay;
  return answer;
}

}  // namespace

std::optional<std::vector<Answer>> parseAnswers(const std::string& text) {
  std::vector<Answer> answers;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    auto answer = parseAnswer(item);
    if (!answer) return std::nullopt;
    answers.push_back(*answer);
  }
  return answers;
}

std::pair<int, Answer> FaultPlan::next() {
  std::lock_guard<std::mutex> guard(lock_);
  int attempt = ++attempts_;
  std::size_t index = static_cast<std::size_t>(attempt - 1);
  return {attempt, index < answers_.size() ? answers_[index] : Answer{}};
}

}  // namespace standin

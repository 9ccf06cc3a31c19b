#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// A serial work queue with a label: one thread of its own runs the submitted
// work one item at a time, in submission order. The thread starts with the
// first submission. Ending the queue lets the work already submitted run,
// then ends the thread.
class SerialQueue {
 public:
  // A queue with the given label (e.g. "com.quorvex.rest-client").
  explicit SerialQueue(std::string label);
  // Lets submitted work finish; waits for the thread unless called on it.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  // The label given at creation.
  const std::string& label() const;

  // Submits the work and returns at once.
  void async(std::function<void()> work);

  // Submits the work and waits until it has run. Called from the queue's own
  // thread it would wait for itself: that is a broken contract and stops the
  // process with the assertion report instead of hanging.
  void sync(const std::function<void()>& work);

  // Whether the calling thread is this queue's thread, running its work.
  bool isCurrent() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform

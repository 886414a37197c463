#pragma once
// The auto-repeat behind a held button: a short-lived thread that calls a
// step on the GUI thread at once, again after the first delay, then after
// each further delay, until the step asks it to stop. It waits between steps
// without spinning, and stopping it (or destroying it) means no step runs
// afterwards, so the step's owner may go away.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace pellora {

class ThSpinner {
 public:
  using Step = std::function<void(bool& stop)>;

  ThSpinner(uint32_t firstDelayMs, uint32_t otherDelayMs, Step step);
  ~ThSpinner();
  ThSpinner(const ThSpinner&) = delete;
  ThSpinner& operator=(const ThSpinner&) = delete;

  // On the GUI thread: ends the repeat; no step starts after this returns.
  // Outside a step the thread has ended too; from inside a step (a handler
  // that closes its window) the thread ends on its own right after.
  void Stop();
  bool Finished() const;

  struct State;  // shared by the thread and the object

 private:
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace pellora

#include "pellora-lib/spinner.h"

#include <condition_variable>
#include <mutex>

#include "platform/guithread.h"

namespace pellora {

// Shared by the thread and its owner, so that either may end first.
struct ThSpinner::State {
  uint32_t first = 0;
  uint32_t others = 0;
  Step step;
  std::mutex mutex;
  std::condition_variable wake;
  bool stopRequested = false;
  bool finished = false;
  bool inStep = false;  // GUI thread only

  bool StopRequested() {
    std::lock_guard<std::mutex> lock(mutex);
    return stopRequested;
  }
  // Waits until the delay has passed; false when a stop came first.
  bool Wait(std::chrono::steady_clock::time_point since, uint32_t delayMs) {
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_until(lock, since + std::chrono::milliseconds(delayMs), [this] { return stopRequested; });
  }
};

namespace {

void Execute(const std::shared_ptr<ThSpinner::State>& s);

}  // namespace

ThSpinner::ThSpinner(uint32_t firstDelayMs, uint32_t otherDelayMs, Step step) : state_(std::make_shared<State>()) {
  state_->first = firstDelayMs;
  state_->others = otherDelayMs;
  state_->step = std::move(step);
  thread_ = std::thread([s = state_] { Execute(s); });
}

ThSpinner::~ThSpinner() { Stop(); }

bool ThSpinner::Finished() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->finished;
}

void ThSpinner::Stop() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopRequested = true;
  }
  state_->wake.notify_all();
  if (!thread_.joinable()) return;
  if (state_->inStep) {
    // Called from inside the step: the thread waits for this very call to
    // return, so it cannot be joined; it ends by itself right after.
    thread_.detach();
    return;
  }
  // The thread may be waiting for the GUI thread to run its step: serve it
  // (the step sees the stop request and does nothing) until the thread ends.
  while (!Finished()) platform::CheckSynchronize(5);
  thread_.join();
}

namespace {

void Execute(const std::shared_ptr<ThSpinner::State>& s) {
  auto runStep = [&s] {
    bool stop = false;
    platform::RunOnGuiThread([&] {
      if (s->StopRequested()) {
        stop = true;
        return;
      }
      s->inStep = true;
      try {
        s->step(stop);
      } catch (...) {
        stop = true;  // a failing step ends the repeat
      }
      s->inStep = false;
    });
    return !stop && !s->StopRequested();
  };
  auto t0 = std::chrono::steady_clock::now();
  if (runStep() && s->Wait(t0, s->first)) {
    for (;;) {
      if (!runStep()) break;
      t0 = std::chrono::steady_clock::now();
      if (!s->Wait(t0, s->others)) break;
    }
  }
  std::lock_guard<std::mutex> lock(s->mutex);
  s->finished = true;
}

}  // namespace

}  // namespace pellora

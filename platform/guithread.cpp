#include "platform/guithread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace platform {

namespace {

struct Call {
  const std::function<void()>* fn;
  std::exception_ptr error;
  bool done = false;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Call*> calls;
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

// Without an application object the thread that loaded the program counts as
// the GUI thread.
const std::thread::id kMainThread = std::this_thread::get_id();

bool RunWaitingCalls() {
  Queue& q = TheQueue();
  bool ran = false;
  for (;;) {
    Call* call;
    {
      std::lock_guard lock(q.mutex);
      if (q.calls.empty()) break;
      call = q.calls.front();
      q.calls.pop_front();
    }
    try {
      (*call->fn)();
    } catch (...) {
      call->error = std::current_exception();
    }
    {
      std::lock_guard lock(q.mutex);
      call->done = true;
    }
    q.changed.notify_all();
    ran = true;
  }
  return ran;
}

}  // namespace

bool IsGuiThread() {
  if (QCoreApplication* app = QCoreApplication::instance()) return QThread::currentThread() == app->thread();
  return std::this_thread::get_id() == kMainThread;
}

void RunOnGuiThread(const std::function<void()>& fn) {
  if (IsGuiThread()) {
    fn();
    return;
  }
  Queue& q = TheQueue();
  Call call{&fn, nullptr, false};
  {
    std::lock_guard lock(q.mutex);
    q.calls.push_back(&call);
  }
  q.changed.notify_all();
  // Wake the GUI thread's event loop; CheckSynchronize serves the call when
  // the GUI thread is waiting outside it.
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [] { RunWaitingCalls(); }, Qt::QueuedConnection);
  {
    std::unique_lock lock(q.mutex);
    q.changed.wait(lock, [&] { return call.done; });
  }
  if (call.error) std::rethrow_exception(call.error);
}

bool CheckSynchronize(int timeoutMs) {
  if (!IsGuiThread()) return false;
  if (timeoutMs > 0) {
    Queue& q = TheQueue();
    std::unique_lock lock(q.mutex);
    q.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !q.calls.empty(); });
  }
  return RunWaitingCalls();
}

}  // namespace platform

// Calls from worker threads run on the GUI thread, the worker waits for them,
// and their exceptions come back to the worker.
#include "platform/guithread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace platform {
namespace {

TEST(GuiThread, OnTheGuiThreadTheCallRunsAtOnce) {
  ASSERT_TRUE(IsGuiThread());
  int ran = 0;
  RunOnGuiThread([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(CheckSynchronize(0));
}

TEST(GuiThread, WorkerWaitsForTheCallServedByCheckSynchronize) {
  std::atomic<bool> onGui{false}, workerDone{false};
  int value = 0;
  std::thread worker([&] {
    EXPECT_FALSE(IsGuiThread());
    EXPECT_FALSE(CheckSynchronize(0));  // does nothing off the GUI thread
    RunOnGuiThread([&] {
      onGui = IsGuiThread() && QThread::currentThread() == QCoreApplication::instance()->thread();
      value = 42;
    });
    // The call has finished before RunOnGuiThread returns.
    EXPECT_EQ(value, 42);
    workerDone = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!workerDone && std::chrono::steady_clock::now() < deadline) CheckSynchronize(50);
  worker.join();
  EXPECT_TRUE(onGui);
  EXPECT_TRUE(workerDone);
}

TEST(GuiThread, EventLoopServesCallsAndExceptionsReachTheWorker) {
  std::atomic<int> served{0};
  std::string caught;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) RunOnGuiThread([&] { served += IsGuiThread() ? 1 : 0; });
    try {
      RunOnGuiThread([] { throw std::runtime_error("from the GUI thread"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  QTimer guard;  // never hang the suite
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(20000);
  const int rc = QCoreApplication::exec();
  worker.join();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(served, 20);
  EXPECT_EQ(caught, "from the GUI thread");
}

TEST(GuiThread, ManyWorkersAtOnce) {
  constexpr int kWorkers = 6, kCalls = 50;
  int counter = 0;  // only touched on the GUI thread, so no lock
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i) RunOnGuiThread([&] { ++counter; });
      ++finished;
    });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (finished < kWorkers && std::chrono::steady_clock::now() < deadline) CheckSynchronize(20);
  for (auto& t : workers) t.join();
  EXPECT_EQ(counter, kWorkers * kCalls);
}

}  // namespace
}  // namespace platform

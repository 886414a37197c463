#pragma once
// Running calls on the GUI thread from other threads (painter threads, the
// auto-repeat thread): the worker hands the call over and waits until the GUI
// thread has run it. Everything that touches widgets, canvases or bitmaps
// shown on screen goes through here.
#include <functional>

namespace platform {

// True on the GUI thread: the application object's thread, or without one
// the thread that started the program.
bool IsGuiThread();

// Runs fn on the GUI thread and returns when it has finished. On the GUI
// thread itself fn runs at once. An exception thrown by fn is passed on to
// the caller. The GUI thread runs waiting calls from its event loop, or when
// it calls CheckSynchronize.
void RunOnGuiThread(const std::function<void()>& fn);

// On the GUI thread: runs the calls that other threads are waiting for,
// after waiting up to timeoutMs milliseconds for the first one when none is
// waiting. Returns true when it ran any. Elsewhere it does nothing and
// returns false. For a GUI thread that waits for a worker without running
// its event loop (a worker waiting in RunOnGuiThread would otherwise never
// be served).
bool CheckSynchronize(int timeoutMs = 0);

}  // namespace platform

#pragma once
// The one way a worker thread reaches a widget. post() queues a call for the GUI thread and
// never blocks; send() blocks until the call has run there (a direct call on the GUI thread).
// Once shut-down has begun, send() returns NotDelivered at once and the call never runs, so no
// worker can dead-lock the exit. The GUI thread never waits for a worker, except the final join.
//
// Without an application object (core tests) both run the call directly on the calling thread.

#include <functional>

namespace platform {

enum class SendResult { Delivered, NotDelivered };

bool IsGuiThread();
bool post(std::function<void()> fn);
SendResult send(std::function<void()> fn);

void BeginShutdown();
bool IsShuttingDown();
// For tests that run several application lifetimes in one process.
void ResetShutdownForTest();

} // namespace platform

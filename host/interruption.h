// SIGINT and SIGTERM ask a running job to stop: the handler only raises a flag that the job polls
// between frames, so the job unwinds normally and its staged output is removed. A second signal
// ends the program at once (the staged output then stays under its hidden name, never the final
// one).
#pragma once

namespace gs::host {

class InterruptionGuard {
public:
    InterruptionGuard();   // installs the handlers
    ~InterruptionGuard();  // restores the previous ones and forgets a request
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

bool interruptionRequested();

// Throws Interrupted when a signal has arrived.
void throwIfInterrupted();

}  // namespace gs::host

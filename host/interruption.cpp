#include "host/interruption.h"

#include <csignal>

#include "host/host_error.h"

namespace gs::host {

namespace {

volatile std::sig_atomic_t requested = 0;
struct sigaction previousInterrupt;
struct sigaction previousTerminate;

extern "C" void onSignal(int signal) {
    if (requested != 0) {
        // Asked twice: stop now, as the default action would.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    requested = 1;
}

}  // namespace

InterruptionGuard::InterruptionGuard() {
    requested = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptionGuard::~InterruptionGuard() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    requested = 0;
}

bool interruptionRequested() {
    return requested != 0;
}

void throwIfInterrupted() {
    if (requested != 0) {
        throw Interrupted();
    }
}

}  // namespace gs::host

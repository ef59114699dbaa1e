#include "tools/capture/quiet_run.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Set by the signal handler, the one place a signal can leave word.
volatile std::sig_atomic_t interrupt_seen = 0;

void on_interrupt(int) {
    interrupt_seen = 1;
}

} // namespace

QuietRun::QuietRun() : saved_stdout_(fcntl(1, F_DUPFD_CLOEXEC, 3)) {
    interrupt_seen = 0;
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
}

QuietRun::~QuietRun() {
    std::fflush(stdout);
    if (saved_stdout_ >= 0) {
        dup2(saved_stdout_, 1);
        close(saved_stdout_);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool QuietRun::interrupted() const {
    return interrupt_seen != 0;
}

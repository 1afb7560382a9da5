// ovatrix-cli: downloads the photo albums of one Weibo user from a terminal or a script.
//
// SIGINT and SIGTERM are blocked in every thread and taken by one waiting thread, which asks
// the run to stop; the run then ends at its next step, with nothing half-written.

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliRun.h"
#include "download/JobControl.h"

int main(int argc, char** argv) {
    // Blocked before any thread exists, so every thread (libcurl's resolver too) inherits it.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    ovx::JobControl control;
    std::atomic<bool> finished{false};
    // The first signal asks the run to stop at its next step; a second one, while that stop
    // is still under way, ends the process at once (a killed run leaves at most temporaries).
    std::thread waiter([&] {
        int received = 0;
        for (int count = 0; !finished.load() && sigwait(&signals, &received) == 0;) {
            if (finished.load()) break;
            if (++count > 1) {
                static const char kMessage[] = "ovatrix-cli: stopped at once\n";
                ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
                (void)ignored;
                _exit(130);
            }
            control.Stop();
        }
    });

    std::vector<std::string> args(argv + 1, argv + argc);
    ovx::CliStreams streams;
    streams.errIsTerminal = isatty(STDERR_FILENO) == 1;
    if (winsize size{}; streams.errIsTerminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) {
        streams.errColumns = size.ws_col;
    }
    const int status = ovx::RunCli(args, streams, control);

    finished = true;
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return status;
}

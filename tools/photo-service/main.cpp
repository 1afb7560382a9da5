// photo-service: a stand-in for the Weibo photo service, for tests and demos.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "PhotoService.h"
#include "Scenario.h"

namespace {

void Usage(std::FILE* out) {
    std::fprintf(
        out,
        "Usage: photo-service --scenario FILE [--port N] [--request-log FILE]\n"
        "Serves the scenario on 127.0.0.1 (port 0 or none: a free port) and prints\n"
        "\"listening on 127.0.0.1:PORT\" as its first line. SIGTERM or SIGINT stop it.\n"
        "--request-log appends one line per request as it arrives:\n"
        "  METHOD PATH?QUERY STATUS SECONDS[ xsrf=none|match|wrong]\n"
        "  METHOD PATH?QUERY STATUS SECONDS host=NAME cookie=none|sent xsrf=none|sent\n"
        "  (query values decoded, sorted by name, a POST's form among them; SECONDS since the\n"
        "  start, to the millisecond; xsrf: on web API calls, the X-XSRF-TOKEN header against\n"
        "  the XSRF-TOKEN cookie; the second form for pictures and videos, /SIZE/NAME.EXT:\n"
        "  the Host header's name and whether a Cookie and an X-XSRF-TOKEN header came).\n\n%s",
        photoservice::ScenarioHelp());
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenarioPath;
    std::string requestLog;
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if ((arg == "--scenario" || arg == "--port" || arg == "--request-log") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--scenario") {
                scenarioPath = value;
                continue;
            }
            if (arg == "--request-log") {
                requestLog = value;
                continue;
            }
            char* end = nullptr;
            port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 0 || port > 65535) {
                std::fprintf(stderr, "photo-service: bad port \"%s\"\n", value.c_str());
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "photo-service: unexpected argument \"%s\"\n", arg.c_str());
        Usage(stderr);
        return 2;
    }
    if (scenarioPath.empty()) {
        Usage(stderr);
        return 2;
    }
    std::string error;
    auto scenario = photoservice::LoadScenario(scenarioPath, error);
    if (!scenario) {
        std::fprintf(stderr, "photo-service: %s: %s\n", scenarioPath.c_str(), error.c_str());
        return 1;
    }

    // Signals are taken by one waiting thread; every other thread has them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    photoservice::PhotoService service(std::move(*scenario));
    if (!requestLog.empty() && !service.OpenRequestLog(requestLog)) {
        std::fprintf(stderr, "photo-service: cannot write %s\n", requestLog.c_str());
        return 1;
    }
    int bound = service.Bind(static_cast<int>(port));
    if (bound < 0) {
        std::fprintf(stderr, "photo-service: cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", bound);
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        // A stop that comes before the server loop has started is lost, so repeat it
        // until Run() has returned.
        while (!finished) {
            service.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    bool ok = service.Run();
    finished = true;
    // Run() also ends when the server fails; wake the waiter so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}

#pragma once
// A photo-service child process for tests: started with a scenario (JSON text), its port read
// from its first line, killed when the object goes. Header-only; the test target defines
// OVX_PHOTO_SERVICE as the built service's path.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace ovx::test {

#ifdef OVX_PHOTO_SERVICE
inline const char* const kServicePath = OVX_PHOTO_SERVICE;
#else
inline const char* const kServicePath = nullptr;
#endif

// One photo-service child: started with a scenario, stopped by a signal.
class ServiceProcess {
  public:
    ~ServiceProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (!scenario_.empty()) std::filesystem::remove(scenario_);
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Returns the port from the first line, or 0. `args` go after the scenario.
    int Start(const std::string& scenarioJson, std::vector<std::string> args = {}) {
        scenario_ =
            std::filesystem::temp_directory_path() / ("photo-service-" + std::to_string(getpid()) +
                                                      "-" + std::to_string(++counter_) + ".json");
        std::ofstream(scenario_) << scenarioJson;
        args.insert(args.begin(), {kServicePath, "--scenario", scenario_.string()});
        Spawn(args);
        return port_;
    }

    // Runs the service with `args` to its end; returns its exit status and keeps its output.
    int RunToEnd(std::vector<std::string> args) {
        args.insert(args.begin(), kServicePath);
        Spawn(args);
        char buffer[4096];
        for (ssize_t n; (n = read(out_, buffer, sizeof buffer)) > 0;)
            output_.append(buffer, static_cast<std::size_t>(n));
        return Wait();
    }

    // Sends `signal` and waits for the exit; returns the exit status (-1 for a crash).
    int Stop(int signal) {
        kill(pid_, signal);
        return Wait();
    }

    const std::string& Output() const { return output_; }

  private:
    int Spawn(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe(fds) != 0) return -1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
        if (rc != 0) {
            pid_ = -1;
            return -1;
        }
        // The first line, within a generous bound.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (output_.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1) break;
            output_.push_back(c);
        }
        std::size_t colon = output_.rfind(':');
        if (output_.rfind("listening on 127.0.0.1:", 0) == 0 && colon != std::string::npos) {
            port_ = std::atoi(output_.c_str() + colon + 1);
        }
        return 0;
    }

    int Wait() {
        int status = 0;
        if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static inline int counter_ = 0;
    std::filesystem::path scenario_;
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string output_;
};

}  // namespace ovx::test

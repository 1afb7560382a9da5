#pragma once
// One ovatrix-cli child for the tests: its standard output and error go to files, so a long
// run never blocks on a full pipe; it can be waited for with a bound, or signalled.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace ovx::test {

class CliProcess {
  public:
    // `outputFolder` receives the two output files.
    explicit CliProcess(std::filesystem::path outputFolder);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Starts `program` with `args`; false when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    // The exit status, -N when killed by signal N, or -1000 when it did not end in time (it
    // is then killed).
    int Wait(std::chrono::seconds bound = std::chrono::seconds(120));
    void Signal(int signal) const;

    std::string Out() const;
    std::string Err() const;

  private:
    std::filesystem::path outFile_;
    std::filesystem::path errFile_;
    pid_t pid_ = -1;
};

}  // namespace ovx::test

// A program run as a child process of a test (the built program by default), and the
// waits around it. The process tests of app/ use it; the program's path is built into
// the library (ENVIOZVR_PROGRAM).
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace enviozvr::testing {

// QProcess wants an application object: makes one unless one exists, and keeps it for
// as long as it lives.
class ApplicationInstance {
  public:
    explicit ApplicationInstance(std::string name = "app_tests");
    ApplicationInstance(const ApplicationInstance&) = delete;
    ApplicationInstance& operator=(const ApplicationInstance&) = delete;

  private:
    std::string name_;
    int argc_ = 1;
    char* argv_[2] = {nullptr, nullptr};
    std::unique_ptr<QCoreApplication> own_;
};

struct ChildOptions {
    std::string program{};  // empty: the built program
    // Variables set for the child on top of the test's own environment, and names taken
    // out of it.
    std::vector<std::pair<std::string, std::string>> environment{};
    std::vector<std::string> unset{};
    // Standard output and error both appended to this file, as a service's go to the
    // journal's stream (runChild reads the file back as `out`).
    std::string outputFile{};
    // How long Child::finish() waits for the end.
    std::chrono::milliseconds finishLimit{60000};
    // Child::finish() says false for a child that crashed or was killed, too.
    bool normalExitOnly = false;
};

// The program with `args` (UTF-8), started at once; killed at the end if still running.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args, ChildOptions options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void signal(int sig) const;
    // Waits until the child has taken the signals sent to it (none pending any more in
    // /proc/PID/status), so what the test does next happens after the child knows.
    bool waitUntilSignalsTaken() const;
    // Reads standard output into `out` until it holds `text` (at most a minute).
    bool waitForOutput(const std::string& text);
    // Waits for the end (options' finishLimit) and adds what the child wrote to `out` and
    // `err`; false when it did not end in time (or, with normalExitOnly, by itself).
    bool finish();

    QProcess process;
    bool started = false;
    std::string out, err;

  private:
    ChildOptions options_;
};

struct ChildRun {
    bool ended = false;  // by itself, in time
    int status = -1;     // its exit status when it ended
    std::string out;     // standard output, or both streams when they went to a file
    std::string err;
};

// Runs the program with `args` to its end (at most two minutes; then it is killed).
ChildRun runChild(const std::vector<std::string>& args, const ChildOptions& options = {});

// The lines of a child's output, without their line ends (a last line without one too).
std::vector<std::string> linesOf(const std::string& text);

// Waits (at most `limit`) until `done` holds, looking every few milliseconds.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::minutes(1));

}  // namespace enviozvr::testing

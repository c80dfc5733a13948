#include "support/childprocess.h"

#include <sys/types.h>

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QThread>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

namespace enviozvr::testing {

namespace {

void prepare(QProcess& process, const ChildOptions& options) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const std::string& name : options.unset) env.remove(QString::fromStdString(name));
    for (const auto& [name, value] : options.environment)
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    process.setProcessEnvironment(env);
    if (!options.outputFile.empty()) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(QString::fromStdString(options.outputFile),
                                      QIODevice::Append);
    }
}

void start(QProcess& process, const std::vector<std::string>& args, const ChildOptions& options) {
    QStringList list;
    for (const std::string& a : args) list << QString::fromUtf8(a.c_str());
    process.start(options.program.empty() ? QStringLiteral(ENVIOZVR_PROGRAM)
                                          : QString::fromStdString(options.program),
                  list);
}

}  // namespace

ApplicationInstance::ApplicationInstance(std::string name) : name_(std::move(name)) {
    if (QCoreApplication::instance()) return;
    argv_[0] = name_.data();
    own_ = std::make_unique<QCoreApplication>(argc_, argv_);
}

Child::Child(const std::vector<std::string>& args, ChildOptions options)
    : options_(std::move(options)) {
    prepare(process, options_);
    start(process, args, options_);
    started = process.waitForStarted(30000);
}

Child::~Child() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(10000);
    }
}

void Child::signal(int sig) const { ::kill(static_cast<pid_t>(process.processId()), sig); }

bool Child::waitUntilSignalsTaken() const {
    const std::string status = "/proc/" + std::to_string(process.processId()) + "/status";
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        std::ifstream in(status);
        std::string line;
        bool pending = false;
        while (std::getline(in, line)) {
            if ((line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0) &&
                line.find_first_not_of("0\t ", 7) != std::string::npos)
                pending = true;
        }
        if (!pending) return true;
        QThread::msleep(2);
    }
    return false;
}

bool Child::waitForOutput(const std::string& text) {
    QDeadlineTimer deadline(60000);
    while (out.find(text) == std::string::npos) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning) return false;
        if (process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            out += process.readAllStandardOutput().toStdString();
    }
    return true;
}

bool Child::finish() {
    const bool ended = process.waitForFinished(static_cast<int>(options_.finishLimit.count()));
    out += process.readAllStandardOutput().toStdString();
    err += process.readAllStandardError().toStdString();
    return ended && (!options_.normalExitOnly || process.exitStatus() == QProcess::NormalExit);
}

ChildRun runChild(const std::vector<std::string>& args, const ChildOptions& options) {
    QProcess process;
    prepare(process, options);
    start(process, args, options);
    ChildRun r;
    if (!process.waitForStarted(30000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(10000);
        r.err = "did not finish";
        return r;
    }
    r.ended = process.exitStatus() == QProcess::NormalExit;
    r.status = r.ended ? process.exitCode() : -1;
    if (options.outputFile.empty()) {
        r.out = process.readAllStandardOutput().toStdString();
        r.err = process.readAllStandardError().toStdString();
    } else {
        std::ifstream in(options.outputFile, std::ios::binary);
        r.out.assign(std::istreambuf_iterator<char>(in), {});
    }
    return r;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace enviozvr::testing

#include "sender/parallelcycle.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace enviozvr::sender {

namespace {

// A worker's status: passes messages and errors on to the cycle's status one call at a
// time (the progress and the last send it leaves to the calling thread), and keeps the summary of
// the destination in hand for the end of the cycle.
class WorkerStatus : public SendStatus {
  public:
    WorkerStatus(SendStatus& status, std::mutex& mutex) : status_(status), mutex_(mutex) {}

    // Where the next summary goes; cleared once it has come.
    std::optional<CompanySummary>* summary = nullptr;

    void showMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        status_.showMessage(text);
    }
    void setLastError(const std::string& text) override {
        std::lock_guard lock(mutex_);
        status_.setLastError(text);
    }
    bool stopRequested() const override {
        std::lock_guard lock(mutex_);
        return status_.stopRequested();
    }
    void companyServed(const CompanySummary& s) override {
        if (summary) *summary = s;
    }
    void setCurrentEvent(const std::string& text, bool visible) override {
        std::lock_guard lock(mutex_);
        status_.setCurrentEvent(text, visible);
    }

  private:
    SendStatus& status_;
    std::mutex& mutex_;
};

// A MainData of a worker: the login of `main` (nothing is read from the general
// database), the same origin company, the same destination limits and the same registry
// of abandoned attachments.
std::unique_ptr<MainData> workerData(const MainData& main, const std::string& originCompany) {
    // The destinations given up earlier, by any worker or an earlier cycle, are the
    // caller's: the worker records in the same registry.
    auto d = std::make_unique<MainData>(main.abandonedAttachments);
    d->loginRecord = main.loginRecord;
    d->DBEnvio.setTimeouts(main.DBEnvio.connectTimeout(), main.DBEnvio.stallLimit());
    // The worker's origin attachment under the same limits as the main one.
    d->DbCia.setTimeouts(main.DbCia.connectTimeout(), main.DbCia.stallLimit());
    d->selectCompany(originCompany);
    return d;
}

// Serves `companies` with up to `workers` threads; true when a stop request ended it.
bool serveSideBySide(MainData& main, const std::string& originCompany, int workers,
                     const SendOptions& options, SendStatus& status,
                     const std::vector<std::string>& companies) {
    // The options of the cycle, read once on this thread; each worker has its copy.
    const FixedSendOptions fixed(options);
    std::vector<std::optional<CompanySummary>> summaries(companies.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> halt{false};
    std::mutex mutex;  // status and the failure
    std::exception_ptr failure;

    auto work = [&] {
        FixedSendOptions own(fixed);
        WorkerStatus workerStatus(status, mutex);
        // The cycle's own timer is re-armed by the calling thread at its end.
        NullSendTimer timer;
        std::unique_ptr<MainData> d;
        try {
            for (;;) {
                if (halt || workerStatus.stopRequested()) break;
                const size_t i = next++;
                if (i >= companies.size()) break;
                if (!d) {
                    try {
                        d = workerData(main, originCompany);
                    } catch (const std::exception& error) {
                        // The destination taken is not served this cycle, and says why.
                        CompanySummary summary;
                        summary.company = companies[i];
                        if (data::waitsInterrupted() || workerStatus.stopRequested()) {
                            summary.stopped = true;
                        } else {
                            summary.originFailed = true;
                            std::string text = error.what();
                            if (text.rfind("SQL Server Error: ", 0) == 0) text.erase(0, 18);
                            summary.reason =
                                "fallo del origen: " + text.substr(0, text.find_first_of("\r\n"));
                        }
                        summaries[i] = summary;
                        throw;
                    }
                }
                CompanySummary summary;
                summary.company = companies[i];
                workerStatus.summary = &summaries[i];
                serveCompany(*d, own, workerStatus, timer, companies[i], summary);
                workerStatus.summary = nullptr;
                if (summary.stopped) halt = true;
            }
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure) failure = std::current_exception();
            halt = true;
        }
        // The worker's attachments end on the thread that made them.
        d.reset();
    };

    const size_t count = std::min(companies.size(), static_cast<size_t>(workers));
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (size_t t = 0; t < count; ++t) threads.emplace_back(work);
    for (std::thread& t : threads) t.join();

    bool stopped = false;
    bool any = false;
    for (const auto& s : summaries) {
        if (!s) continue;
        any = true;
        stopped = stopped || s->stopped;
        status.companyServed(*s);
    }
    if (failure) std::rethrow_exception(failure);
    if (any) showLastSend(main, status, true);
    // A stop that came before a destination was taken leaves it for a later cycle.
    return stopped || (next < companies.size() && status.stopRequested());
}

}  // namespace

CycleEnd runParallelSendCycle(MainData& data, const std::string& originCompany, int workers,
                              SendOptions& options, SendStatus& status, SendTimer& timer) {
    if (workers <= 1) return runSendCycle(data, options, status, timer);
    return runSendCycle(
        data, options, status, timer, [&](const std::vector<std::string>& companies) {
            return serveSideBySide(data, originCompany, workers, options, status, companies);
        });
}

}  // namespace enviozvr::sender

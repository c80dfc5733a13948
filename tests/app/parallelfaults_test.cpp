// The built program as a child process, serving four destinations side by side
// (--parallel=4), one of which (002, behind a relay) meets a fault in the middle of its
// batch: its link cut, its link silent past the stall limit, its attachment deleted at
// the server, or the whole program killed (SIGKILL). After that run, and again after a
// run that finishes the job, every destination's FACTURAS_ZVR is compared with what the
// queue implies: nothing lost, duplicated, stale or marked sent without its effect, and
// the other destinations did not wait for the faulty one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include "queuecheck.h"
#include "support/childprocess.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;

enum class Fault { LinkCut, SilentPastStallLimit, AttachmentDeleted, Killed };

struct FaultCase {
    const char* name;
    Fault fault;
};

using testing::waitUntil;

// The program with `args`, started at once; it may take two minutes to finish.
struct Child : testing::Child {
    explicit Child(const std::vector<std::string>& args)
        : testing::Child(args, {.finishLimit = std::chrono::minutes(2)}) {}
};

class ParallelFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ParallelFault, NothingLostDuplicatedStaleOrSentWithoutItsEffect) {
    const FaultCase& c = GetParam();
    testing::ApplicationInstance app;

    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    const std::vector<std::string> codes = {"002", "003", "004", "005"};
    w.makeDirectories("/datos/002");
    w.destinations["002"] = std::make_unique<TestDatabase>(
        w.root + "/datos/002/nivora.fdb", TestDatabase::Options{.viaServer = true});
    w.destinations["002"]->createCompanySchema();
    w.listCompany("002", relay.serverText() + w.root);
    for (size_t i = 1; i < codes.size(); ++i) w.addDestination(codes[i]);
    // Five rounds of mixed events per destination, queued destination by destination.
    int id = 1;
    for (size_t i = 0; i < codes.size(); ++i)
        for (int round = 0; round < 5; ++round)
            id = queueMixedEvents(w, codes[i], id, static_cast<int>(i) * 100 + round * 10);
    const std::string faultAt = ",4,236,";  // the ENVIO.TXT line of 002's 4th event

    const std::vector<std::string> args = {"--headless",
                                           "--once",
                                           "--parallel=4",
                                           "--stall-timeout=2",
                                           "--connect-timeout=2",
                                           w.server,
                                           "sysdba",
                                           w.password,
                                           "001"};
    {
        Child first(args);
        ASSERT_TRUE(first.started);
        ASSERT_TRUE(waitUntil([&] {
            for (const std::string& line : w.logLines("ENVIO.TXT"))
                if (line.find(faultAt) != std::string::npos) return true;
            return false;
        }));
        // The link is held in the middle of an event (nothing more passes on it), then
        // the fault comes.
        relay.holdAfterServerReplies(1);
        ASSERT_TRUE(waitUntil([&] { return relay.holding(); }));
        switch (c.fault) {
            case Fault::LinkCut:
                relay.cut();
                break;
            case Fault::SilentPastStallLimit:
                relay.freeze();
                break;
            case Fault::AttachmentDeleted:
                SenderWorld::dropAttachments(*w.destinations["002"]);
                relay.releaseHeld();
                break;
            case Fault::Killed:
                first.process.kill();
                break;
        }
        ASSERT_TRUE(first.finish()) << first.err;
        if (c.fault != Fault::Killed) {
            EXPECT_EQ(first.process.exitCode(), 0) << first.err;
            // Reported first, as the company list has it, cut short.
            EXPECT_EQ(first.out.rfind("002: 30 tomados, ", 0), 0u) << first.out;
            EXPECT_NE(first.out.find("; cortado ("), std::string::npos) << first.out;
            // The others were not held up.
            for (size_t i = 1; i < codes.size(); ++i)
                EXPECT_EQ(queueFaults(w, codes[i], true), std::vector<std::string>{});
        }
        for (const std::string& code : codes)
            EXPECT_EQ(queueFaults(w, code, false), std::vector<std::string>{}) << "after the fault";
        EXPECT_EQ(w.state(30), "pending");
    }

    // The destination answers again. An attachment the first run gave up may still be on
    // the server, in the middle of a request the released link brought in: ended as the
    // program ends one it remembers, and waited for, so that nothing it started can
    // commit during the next run (which, a new process, knows nothing of it).
    relay.thaw();
    relay.releaseHeld();
    SenderWorld::dropAttachments(*w.destinations["002"]);
    ASSERT_TRUE(waitUntil([&] { return w.destinations["002"]->otherAttachments() == 0; }));
    Child second(args);
    ASSERT_TRUE(second.started);
    ASSERT_TRUE(second.finish()) << second.err;
    EXPECT_EQ(second.process.exitCode(), 0) << second.err << second.out;
    for (const std::string& code : codes)
        EXPECT_EQ(queueFaults(w, code, true), std::vector<std::string>{}) << "after the next run";
    EXPECT_TRUE(w.logLines("ERRORES.TXT").empty());
}

INSTANTIATE_TEST_SUITE_P(SendCycle, ParallelFault,
                         ::testing::Values(FaultCase{"LinkCut", Fault::LinkCut},
                                           FaultCase{"SilentPastStallLimit",
                                                     Fault::SilentPastStallLimit},
                                           FaultCase{"AttachmentDeleted", Fault::AttachmentDeleted},
                                           FaultCase{"Killed", Fault::Killed}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enviozvr::sendertest

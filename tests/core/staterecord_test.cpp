// The state record of an origin company beside the logs: what a run of attempts leaves in
// it, what a reader makes of damaged text, changes from several threads at once, and a
// record that cannot be written.
#include "core/staterecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/appdir.h"

namespace core = enviozvr::core;
using enviozvr::testing::InstallDir;

namespace {

// 2026-12-10T09:58:01Z and some minutes after it.
constexpr std::int64_t kT0 = 1796896681;
constexpr std::int64_t kMinute = 60;

struct Attempt {
    std::string destination;
    bool reached;
    std::string reason;
    std::int64_t when;
};

struct AttemptsCase {
    const char* what;
    std::vector<Attempt> attempts;
    std::string record;  // the whole file afterwards
};

TEST(StateRecord, AttemptsLeaveTheLastOutcomeAndTheLastSuccessPerDestination) {
    const AttemptsCase cases[] = {
        {"a first success",
         {{"002", true, "", kT0}},
         "enviozvr-state 1\n002\t2026-12-10T09:58:01Z\tok\t2026-12-10T09:58:01Z\t\n"},
        {"a first failure: never a success",
         {{"003", false, "sin respuesta al conectar en 15 s", kT0}},
         "enviozvr-state 1\n003\t2026-12-10T09:58:01Z\tfailed\t-\tsin respuesta al conectar en "
         "15 s\t2026-12-10T09:58:01Z\n"},
        {"a failure after a success keeps the success",
         {{"002", true, "", kT0}, {"002", false, "conexion perdida", kT0 + 5 * kMinute}},
         "enviozvr-state 1\n002\t2026-12-10T10:03:01Z\tfailed\t2026-12-10T09:58:01Z\tconexion "
         "perdida\t2026-12-10T10:03:01Z\n"},
        {"the same reason in a row: since the first of them",
         {{"002", false, "r", kT0}, {"002", false, "r", kT0 + 5 * kMinute}},
         "enviozvr-state 1\n002\t2026-12-10T10:03:01Z\tfailed\t-\tr\t2026-12-10T09:58:01Z\n"},
        {"another reason: since it was first given",
         {{"002", false, "r", kT0}, {"002", false, "s", kT0 + 5 * kMinute}},
         "enviozvr-state 1\n002\t2026-12-10T10:03:01Z\tfailed\t-\ts\t2026-12-10T10:03:01Z\n"},
        {"served again after a failure: healthy, no reason left",
         {{"002", false, "conexion perdida", kT0}, {"002", true, "ignored", kT0 + kMinute}},
         "enviozvr-state 1\n002\t2026-12-10T09:59:01Z\tok\t2026-12-10T09:59:01Z\t\n"},
        {"other destinations are kept, in code order",
         {{"005", true, "", kT0}, {"002", false, "x", kT0 + kMinute}, {"005", true, "", kT0 + 2}},
         "enviozvr-state 1\n002\t2026-12-10T09:59:01Z\tfailed\t-\tx\t2026-12-10T09:59:01Z\n005\t"
         "2026-12-10T09:58:03Z\t"
         "ok\t2026-12-10T09:58:03Z\t\n"},
        {"a reason cannot split the record: control characters become blanks",
         {{"002", false, "servidor inalcanzable: a\tb\r\nc \xF1", kT0}},
         "enviozvr-state 1\n002\t2026-12-10T09:58:01Z\tfailed\t-\tservidor inalcanzable: a b  "
         "c \xF1\t2026-12-10T09:58:01Z\n"},
    };
    for (const AttemptsCase& c : cases) {
        SCOPED_TRACE(c.what);
        InstallDir dir;
        for (const Attempt& a : c.attempts)
            EXPECT_EQ(
                core::recordDestinationAttempt("001", a.destination, a.reached, a.reason, a.when),
                "");
        EXPECT_EQ(dir.readFile("enviozvr-001.state"), c.record);
        // Read back, the record is the same.
        EXPECT_EQ(core::stateRecordText(core::readStateRecord("001")), c.record);
        // Each origin has its own record.
        EXPECT_TRUE(core::readStateRecord("002").empty());
    }
}

TEST(StateRecord, AReaderSkipsWhatItDoesNotUnderstand) {
    const std::string good = "002\t2026-12-10T09:58:01Z\tok\t2026-12-10T09:58:01Z\t";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> destinations;
    } cases[] = {
        {"no header", good + "\n", {}},
        {"another version", "enviozvr-state 2\n" + good + "\n", {}},
        {"CR LF line ends", "enviozvr-state 1\r\n" + good + "\r\n", {"002"}},
        {"a last line without its end", "enviozvr-state 1\n" + good, {"002"}},
        {"short, unknown outcome, no time, empty code",
         "enviozvr-state 1\n003\tx\n004\t2026-12-10T09:58:01Z\tmaybe\t-\t\n"
         "005\t-\tok\t-\t\n\t2026-12-10T09:58:01Z\tok\t-\t\n" +
             good + "\n",
         {"002"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> got;
        for (const auto& [code, state] : core::parseStateRecord(c.text)) got.push_back(code);
        EXPECT_EQ(got, c.destinations);
    }
    const core::StateRecord r = core::parseStateRecord("enviozvr-state 1\n" + good + "\n");
    EXPECT_EQ(r.at("002").lastAttempt, kT0);
    EXPECT_EQ(r.at("002").lastSuccess, kT0);
    // A failed line of an earlier version, without the time its reason began: unknown.
    const core::StateRecord earlier =
        core::parseStateRecord("enviozvr-state 1\n002\t2026-12-10T09:58:01Z\tfailed\t-\tx\n");
    EXPECT_EQ(earlier.at("002").reason, "x");
    EXPECT_EQ(earlier.at("002").reasonSince, 0);
}

// The send cycle's workers record their destinations side by side: no change is lost,
// and no temporary file is left beside the logs.
TEST(StateRecord, ChangesFromSeveralThreadsAreAllKept) {
    InstallDir dir;
    constexpr int kThreads = 6;
    constexpr int kRounds = 15;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string code = "00" + std::to_string(t);
            for (int round = 1; round <= kRounds; ++round)
                core::recordDestinationAttempt("001", code, round % 2 == 1, "r",
                                               kT0 + std::int64_t{t} * 1000 + round);
        });
    }
    for (std::thread& t : threads) t.join();
    const core::StateRecord record = core::readStateRecord("001");
    ASSERT_EQ(record.size(), static_cast<size_t>(kThreads));
    for (int t = 0; t < kThreads; ++t) {
        const core::DestinationState& s = record.at("00" + std::to_string(t));
        EXPECT_EQ(s.lastAttempt, kT0 + std::int64_t{t} * 1000 + kRounds);
        EXPECT_TRUE(s.reached);  // the last round is odd
    }
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"enviozvr-001.state"});
}

// A record that cannot be replaced (here a folder stands in its place) is reported to the
// caller, said once on standard error with its path, and the sending goes on; without an
// installation directory nothing is written anywhere.
TEST(StateRecord, ARecordThatCannotBeWrittenIsSaidOnce) {
    InstallDir dir;
    std::filesystem::create_directory(dir.file("enviozvr-007.state"));
    ::testing::internal::CaptureStderr();
    const std::string first = core::recordDestinationAttempt("007", "002", true, "", kT0);
    const std::string second = core::recordDestinationAttempt("007", "002", true, "", kT0 + 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(first, "");
    EXPECT_NE(second, "");
    const std::string said =
        "enviozvr: the state record " + dir.file("enviozvr-007.state") + " cannot be written: ";
    EXPECT_EQ(err.rfind(said, 0), 0u) << err;
    EXPECT_EQ(err.find(said, 1), std::string::npos) << "said once: " << err;

    InstallDir none(InstallDir::Key::None);
    EXPECT_EQ(core::stateRecordPath("001"), "");
    EXPECT_NE(core::recordDestinationAttempt("001", "002", true, "", kT0), "");
    EXPECT_TRUE(core::readStateRecord("001").empty());
}

}  // namespace

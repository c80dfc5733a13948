// The built program as a child process with the origin behind a relay that goes silent in
// the middle of a cycle, one destination after another and side by side: the origin's
// attachments (the main one and each worker's) are under the connect and stall limits, so
// the cycle ends early with lines that say so instead of hanging, and the next run sends
// the rest.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <chrono>
#include <memory>
#include <thread>

#include "queuecheck.h"
#include "support/childprocess.h"
#include "support/relay.h"

namespace enviozvr::sendertest {
namespace {

using namespace std::chrono_literals;

using testing::Child;
using testing::waitUntil;

// The parameter: the number of destinations served side by side (--parallel).
class OriginLimits : public ::testing::TestWithParam<int> {};

TEST_P(OriginLimits, ASilentOriginEndsTheCycleEarlyAndTheNextRunGoesOn) {
    testing::ApplicationInstance app;

    const std::string parallel = "--parallel=" + std::to_string(GetParam());
    testing::FreezableRelay relay;
    SenderWorld w(WorldOptions{.viaServer = true});
    w.addDestination("002");
    int id = 1;
    for (int round = 0; round < 4; ++round) id = queueMixedEvents(w, "002", id, round * 10);
    // The general and the origin databases through the relay; the destination direct.
    const std::vector<std::string> args = {"--headless",
                                           "--once",
                                           parallel,
                                           "--stall-timeout=2",
                                           "--connect-timeout=2",
                                           relay.serverText() + w.root,
                                           "sysdba",
                                           w.password,
                                           "001"};
    {
        Child first(args);
        ASSERT_TRUE(first.started);
        ASSERT_TRUE(waitUntil([&] { return w.logLines("ENVIO.TXT").size() >= 3; }));
        relay.freeze();
        const auto frozenAt = std::chrono::steady_clock::now();
        ASSERT_TRUE(first.finish()) << "still waiting on the silent origin: " << first.err;
        RecordProperty("seconds_from_silence_to_exit",
                       static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::steady_clock::now() - frozenAt)
                                            .count()));
        EXPECT_EQ(first.process.exitCode(), 1) << first.err;
        EXPECT_EQ(first.out.rfind("002: 24 tomados, ", 0), 0u) << first.out;
        EXPECT_NE(first.out.find("; interrumpido (origen sin respuesta durante 2 s), el resto "
                                 "espera"),
                  std::string::npos)
            << first.out;
        EXPECT_NE(first.err.find("el ciclo termina antes de tiempo y el siguiente lo intenta "
                                 "de nuevo"),
                  std::string::npos)
            << first.err;
        EXPECT_EQ(queueFaults(w, "002", false), std::vector<std::string>{});
    }
    relay.thaw();
    Child second(args);
    ASSERT_TRUE(second.started);
    ASSERT_TRUE(second.finish()) << second.err;
    EXPECT_EQ(second.process.exitCode(), 0) << second.err << second.out;
    EXPECT_EQ(queueFaults(w, "002", true), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Parallel, OriginLimits, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Workers" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace enviozvr::sendertest

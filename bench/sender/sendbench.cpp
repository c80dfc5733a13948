// Send-cycle throughput against its floor, in one run on the local Firebird server.
//
// 3,000 invoice copy events for one destination company, taken in turns by three runs in
// chunks of 500, so that each run meets the machine's load of the same moments: the send
// cycle (with a batch of one chunk; its work per cycle counts), the floor, which issues
// per event the same statements and commits straight through the Firebird client's object
// API with the fewest round trips it allows (bench/sender/floor.h: the origin select with
// its text blob inside the row, the destination lookup, the insert, the mark-sent update,
// each prepared once per chunk, the changes committed as they succeed), and the floor with the
// ENVIO.TXT line per event, to show what the log costs. Every round starts from the same
// state and gives the ratio of the send cycle's rate to the floor's; their median is the
// figure (SENDER_BENCH_ROUNDS, 3; SENDER_BENCH_EVENTS and SENDER_BENCH_CHUNK change the
// sizes).
//
// Needs the local server (scripts/firebird-server); ENVIOZVR_TEST_SERVER, _USER and
// _PASSWORD default to localhost, SYSDBA and masterkey.
#include <firebird/Interface.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "data/sqltext.h"
#include "floor.h"
#include "sender/maindata.h"
#include "sender/sendcycle.h"
#include "support/appdir.h"
#include "support/testdb.h"

using namespace Firebird;
using namespace enviozvr;
using bench::EventRow;
using bench::Raw;
using bench::runFloor;

namespace {

// Events queued: 3,000, or SENDER_BENCH_EVENTS; the three runs take turns on chunks of
// 500 (SENDER_BENCH_CHUNK) of them.
const int kEvents =
    std::getenv("SENDER_BENCH_EVENTS") ? std::atoi(std::getenv("SENDER_BENCH_EVENTS")) : 3000;
const int kChunk =
    std::getenv("SENDER_BENCH_CHUNK") ? std::atoi(std::getenv("SENDER_BENCH_CHUNK")) : 500;

// With SENDER_BENCH_TRACE set, a line "== <run>" goes to standard error before each run,
// so that a system-call trace can be split by run (bench/sender/count-packets).
void mark(const char* run) {
    if (std::getenv("SENDER_BENCH_TRACE")) {
        std::fprintf(stderr, "== %s\n", run);
        std::fflush(stderr);
    }
}

class Options : public sender::SendOptions {
  public:
    sender::BatchSize batch{kEvents};
    bool companyChosen() const override { return true; }
    sender::BatchSize batchSize() const override { return batch; }
    void setBatchSize(int events) override { batch = sender::BatchSize(events); }
    bool newestFirst() const override { return false; }
    bool skipErrored() const override { return false; }
    std::string minutes() const override { return "1"; }
};

class Status : public sender::SendStatus {
  public:
    void setLastError(const std::string& t) override { std::fprintf(stderr, "%s\n", t.c_str()); }
    void companyServed(const sender::CompanySummary& s) override { summary = s; }
    sender::CompanySummary summary;
};

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall time of f; its CPU time in this process (the client side) is added to *cpu.
double seconds(const std::function<void()>& f, double* cpu = nullptr) {
    const double c0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (cpu) *cpu += processCpuSeconds() - c0;
    return wall;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ENVIOZVR_TEST_SERVER", "localhost", 0);
    setenv("ENVIOZVR_TEST_USER", "SYSDBA", 0);
    setenv("ENVIOZVR_TEST_PASSWORD", "masterkey", 0);
    QCoreApplication qapp(argc, argv);
    const std::string user = testing::serverUser(), password = testing::serverPassword();

    try {
        testing::InstallDir install;
        testing::TempDir dir;
        namespace fs = std::filesystem;
        const std::string root = dir.path() + "/srv";
        for (const std::string sub : {"", "/datos", "/datos/001", "/datos/002"}) {
            fs::create_directories(root + sub);
            fs::permissions(root + sub, fs::perms::all);
        }
        const std::string server = testing::serverHost() + ":" + root;

        testing::TestDatabase general(root + "/datos/general.fdb", true);
        general.createGeneralSchema();
        general.exec("INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen')");
        testing::TestDatabase origin(root + "/datos/001/nivora.fdb", true);
        origin.createCompanySchema();
        testing::TestDatabase dest(root + "/datos/002/nivora.fdb", true);
        dest.createCompanySchema();
        origin.exec({"INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Destino', " +
                         data::quoted(server) + ", 'N', 1, 'S')",
                     "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE "
                     "USUARIO PARA REPLICACION DE ARTICULOS', " +
                         data::quoted(user) + ")",
                     "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE "
                     "USUARIO PARA REPLICACION DE ARTICULOS', " +
                         data::quoted(password) + ")",
                     "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < " +
                         std::to_string(kEvents) +
                         ") DO BEGIN "
                         "INSERT INTO FACTURAS_ZVR VALUES ('FV', CAST(:i AS VARCHAR(6)), :i, "
                         "9000000000 + :i, 1234.56 + :i, 4012.345678, 12.5, CURRENT_DATE, "
                         "CURRENT_TIME, CURRENT_TIMESTAMP, 'A', 'Jos\xe9 Pe\xf1"
                         "a Mu\xf1oz', "
                         "'Entrega en bodega, se\xf1or Garc\xed"
                         "a', 'COP'); "
                         "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, "
                         "RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, "
                         "RPEV_OPER) VALUES (:i + 1, '002', 236, 'FV', CAST(:i AS VARCHAR(6)), "
                         "'V01', CURRENT_DATE, DATEADD(:i SECOND TO TIME '00:00:00'), 'I'); "
                         "i = i + 1; END END"});
        // The oldest pending events, in the order the send cycle takes them.
        auto oldestPending = [&](int n) {
            std::vector<EventRow> out;
            for (const auto& r : origin.query(
                     "SELECT FIRST " + std::to_string(n) +
                     " RPEV_ID, RPEV_PREF, RPEV_NUMERO FROM REPLICA_EVENTOS WHERE RPEV_FECREP "
                     "IS NULL ORDER BY RPEV_FECREG, RPEV_HORAREG"))
                out.push_back(
                    {static_cast<int>(r[0].asInteger()), r[1].asString(), r[2].asString()});
            return out;
        };

        auto reset = [&] {
            origin.exec("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = NULL, RPEV_HORAREP = NULL");
            dest.exec("DELETE FROM FACTURAS_ZVR");
            dest.exec("SELECT COUNT(*) FROM FACTURAS_ZVR");  // collects the deleted versions
            fs::remove(install.file("ENVIO.TXT"));
        };
        auto check = [&](int expected) {
            const auto n = dest.scalar("SELECT COUNT(*) FROM FACTURAS_ZVR").asInteger();
            const auto left =
                origin.scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL")
                    .asInteger();
            if (n != expected || left != kEvents - expected) {
                std::fprintf(stderr, "%lld rows copied, %lld events left, %d expected\n",
                             static_cast<long long>(n), static_cast<long long>(left), expected);
                std::exit(1);
            }
        };

        Raw raw;
        const std::string originLocation = testing::serverHost() + ":" + origin.path();
        const std::string destLocation = testing::serverHost() + ":" + dest.path();
        const int groups = std::max(1, kEvents / (3 * kChunk));
        const int perRun = groups * kChunk;  // events each of the three runs handles
        double best[3] = {1e9, 1e9, 1e9};
        double cpu[3] = {0, 0, 0};   // client CPU of each run, over every round
        std::vector<double> ratios;  // send cycle rate / floor rate, per round
        const int rounds =
            std::getenv("SENDER_BENCH_ROUNDS") ? std::atoi(std::getenv("SENDER_BENCH_ROUNDS")) : 3;
        for (int round = 0; round < rounds; ++round) {
            reset();
            // Each run keeps its own attachments for the whole round.
            mark("floor");
            IAttachment* o1 = raw.attach(originLocation, user, password);
            IAttachment* d1 = raw.attach(destLocation, user, password);
            mark("floor+log");
            IAttachment* o2 = raw.attach(originLocation, user, password);
            IAttachment* d2 = raw.attach(destLocation, user, password);
            mark("send cycle");
            sender::MainData data;
            data.loginAutomatic(server, user, password);
            data.selectCompany("001");
            Options options;
            options.batch = sender::BatchSize(kChunk);
            Status status;
            sender::NullSendTimer timer;

            double time[3] = {0, 0, 0};
            int done = 0;
            for (int g = 0; g < groups; ++g) {
                for (int k = 0; k < 3; ++k) {
                    const int run = (g + k) % 3;  // each run goes first in turn
                    if (run == 2) {
                        time[2] += seconds(
                            [&] { sender::runSendCycle(data, options, status, timer); }, &cpu[2]);
                        if (status.summary.sent != kChunk) {
                            std::fprintf(stderr, "send cycle sent %d\n", status.summary.sent);
                            return 1;
                        }
                    } else {
                        const std::vector<EventRow> chunk = oldestPending(kChunk);
                        time[run] += seconds(
                            [&] { runFloor(raw, run ? o2 : o1, run ? d2 : d1, chunk, run == 1); },
                            &cpu[run]);
                    }
                    done += kChunk;
                }
            }
            for (IAttachment* a : {o1, d1, o2, d2}) a->detach(&raw.st);
            check(done);
            for (int r = 0; r < 3; ++r) best[r] = std::min(best[r], time[r]);
            ratios.push_back(time[0] / time[2]);
            std::fprintf(stderr,
                         "round %d: floor %.2f s, floor + log %.2f s, send cycle %.2f s, "
                         "ratio %.2f\n",
                         round + 1, time[0], time[1], time[2], ratios.back());
        }
        std::vector<double> sorted = ratios;
        std::sort(sorted.begin(), sorted.end());
        const double medianRatio =
            sorted.size() % 2 ? sorted[sorted.size() / 2]
                              : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        const double floorRate = perRun / best[0];
        const double logRate = perRun / best[1];
        const double cycleRate = perRun / best[2];
        std::printf("events: %d invoice copies per run to one destination on %s, in chunks of %d\n",
                    perRun, testing::serverHost().c_str(), kChunk);
        std::printf("floor (client API only):   %8.1f events/s  (%.3f ms/event)\n", floorRate,
                    1000 * best[0] / perRun);
        std::printf("floor + ENVIO.TXT line:    %8.1f events/s  (%.3f ms/event)\n", logRate,
                    1000 * best[1] / perRun);
        std::printf("send cycle:                %8.1f events/s  (%.3f ms/event)\n", cycleRate,
                    1000 * best[2] / perRun);
        std::printf("ratio send cycle / floor:  %8.2f  (best runs)\n", cycleRate / floorRate);
        std::printf("ratio per round:          ");
        for (double r : ratios) std::printf(" %.2f", r);
        std::printf("\nmedian ratio of the rounds: %7.2f  (1.00: at the floor)\n", medianRatio);
        std::printf("of the extra time per event: log line %.3f ms, the rest %.3f ms\n",
                    1000 * (best[1] - best[0]) / perRun, 1000 * (best[2] - best[1]) / perRun);
        const double runs = static_cast<double>(perRun) * rounds;
        std::printf(
            "client CPU per event: floor %.3f ms, floor + log %.3f ms, send cycle %.3f ms\n",
            1000 * cpu[0] / runs, 1000 * cpu[1] / runs, 1000 * cpu[2] / runs);
    } catch (const FbException& e) {
        char text[1024];
        fb_get_master_interface()->getUtilInterface()->formatStatus(text, sizeof text,
                                                                    e.getStatus());
        std::fprintf(stderr, "Firebird: %s\n", text);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

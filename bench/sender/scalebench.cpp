// The send cycle at scale and a backlog draining, measured on the program itself
// (enviozvr --headless as a child process) against the local Firebird server.
//
// Scale: the origin queue holds 1,000 or 100,000 pending invoice events for one
// destination (and as many invoices); one headless cycle (--once) sends a batch of them.
// Per-event time is the child's wall time over the events it sent; peak memory is the
// child's maximum resident set. Both run with the indexes of the company schema and with
// those indexes made inactive; each round runs the four cases one after the other and
// gives the ratios 100,000 / 1,000, reported as their medians over SCALE_BENCH_ROUNDS
// rounds (3 by default). Batches: SCALE_BENCH_BATCH (1000) with
// the indexes, SCALE_BENCH_BATCH_NOINDEX (100) without, so that the slow case stays short.
//
// Drain: DRAIN_BENCH_EVENTS (20,000) pending events and the repeating headless mode with
// the default batch (100) and minutes (1): the time until its first cycle whose batch was
// not full, against the per-event time of one batch of the 1,000-event scale run.
//
// Needs the local server (scripts/firebird-server); ENVIOZVR_TEST_SERVER, _USER and
// _PASSWORD default to localhost, SYSDBA and masterkey. SCALE_BENCH_LARGE changes the
// large queue (100000), DRAIN_BENCH_EVENTS=0 leaves the drain out.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/sqltext.h"
#include "support/appdir.h"
#include "support/testdb.h"

using namespace enviozvr;
namespace fs = std::filesystem;

namespace {

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct ChildRun {
    double seconds = 0;
    long maxRssKb = 0;
    std::string out;  // standard output and standard error
    int status = 0;   // as wait4 gives it
};

// Runs the program with `args`; with `until`, reads its output and stops it (SIGKILL)
// once a line contains that text.
ChildRun runProgram(const std::vector<std::string>& args, const std::string& until = {}) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) throw std::runtime_error("pipe");
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        dup2(pipeFd[1], 2);
        close(pipeFd[0]);
        close(pipeFd[1]);
        std::vector<char*> argv;
        std::string program = ENVIOZVR_PROGRAM;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    ChildRun run;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.out.append(buffer, static_cast<size_t>(n));
        if (!until.empty() && run.out.find(until) != std::string::npos) {
            run.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            kill(pid, SIGKILL);
            break;
        }
    }
    close(pipeFd[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (until.empty())
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.maxRssKb = usage.ru_maxrss;
    run.status = status;
    return run;
}

const char* const kIndexes[] = {"REPLICA_EVENTOS_ID",       "REPLICA_EVENTOS_PENDIENTES",
                                "REPLICA_EVENTOS_ORDEN",    "REPLICA_EVENTOS_ORDEN_DESC",
                                "REPLICA_EVENTOS_ENVIADOS", "REPLICA_EVENTOS_ULTIMO_ENVIO",
                                "FACTURAS_ZVR_DOCUMENTO"};

class World {
  public:
    World(const std::string& root, const std::string& server, int events)
        : root_(root), server_(server) {
        const std::string user = testing::serverUser(), password = testing::serverPassword();
        for (const std::string sub : {"", "/datos", "/datos/001", "/datos/002"}) {
            fs::create_directories(root + sub);
            fs::permissions(root + sub, fs::perms::all);
        }
        general = std::make_unique<testing::TestDatabase>(root + "/datos/general.fdb", true);
        general->createGeneralSchema();
        general->exec("INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen')");
        origin = std::make_unique<testing::TestDatabase>(root + "/datos/001/nivora.fdb", true);
        origin->createCompanySchema();
        dest = std::make_unique<testing::TestDatabase>(root + "/datos/002/nivora.fdb", true);
        dest->createCompanySchema();
        origin->exec(std::vector<std::string>{
            "INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Destino', " + data::quoted(server) +
                ", 'N', 1, 'S')",
            "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO "
            "PARA REPLICACION DE ARTICULOS', " +
                data::quoted(user) + ")",
            "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO "
            "PARA REPLICACION DE ARTICULOS', " +
                data::quoted(password) + ")",
            "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < " + std::to_string(events) +
                ") DO BEGIN "
                "INSERT INTO FACTURAS_ZVR VALUES ('FV', CAST(:i AS VARCHAR(6)), :i, "
                "9000000000 + :i, 1234.56 + :i, 4012.345678, 12.5, CURRENT_DATE, "
                "CURRENT_TIME, CURRENT_TIMESTAMP, 'A', 'Jos\xe9 Pe\xf1"
                "a Mu\xf1oz', "
                "'Entrega en bodega', 'COP'); "
                "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, "
                "RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, "
                "RPEV_OPER) VALUES (:i + 1, '002', 236, 'FV', CAST(:i AS VARCHAR(6)), "
                "'V01', CURRENT_DATE - 1 - :i / 86400, DATEADD(MOD(:i, 86400) SECOND TO TIME "
                "'00:00:00'), 'I'); "
                "i = i + 1; END END"});
    }

    void setIndexes(bool active) {
        for (const char* name : kIndexes) {
            const std::string sql =
                std::string("ALTER INDEX ") + name + (active ? " ACTIVE" : " INACTIVE");
            origin->exec(sql);
            dest->exec(sql);
        }
    }
    void reset() {
        origin->exec(
            "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = NULL, RPEV_HORAREP = NULL "
            "WHERE RPEV_FECREP IS NOT NULL");
        dest->exec("DELETE FROM FACTURAS_ZVR");
        dest->exec("SELECT COUNT(*) FROM FACTURAS_ZVR");  // collects the deleted versions
        origin->exec("SELECT COUNT(*) FROM REPLICA_EVENTOS");
    }
    long long pending() {
        return origin->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL")
            .asInteger();
    }
    std::vector<std::string> args(const std::vector<std::string>& options) const {
        std::vector<std::string> a = {"--headless"};
        a.insert(a.end(), options.begin(), options.end());
        for (const std::string& s :
             {server_, testing::serverUser(), testing::serverPassword(), std::string("001")})
            a.push_back(s);
        return a;
    }

    std::string root_, server_;
    std::unique_ptr<testing::TestDatabase> general, origin, dest;
};

struct ScaleFigures {
    std::vector<double> msPerEvent;
    std::vector<double> rssMb;
};

// One --once cycle of `batch` events; adds its figures.
void measureCycle(World& w, int batch, ScaleFigures& f) {
    w.reset();
    const long long before = w.pending();
    ChildRun run = runProgram(w.args({"--once", "--batch=" + std::to_string(batch)}));
    const long long sent = before - w.pending();
    if (sent != batch) {
        std::fprintf(stderr, "cycle sent %lld of %d (exit status %d):\n%s", sent, batch, run.status,
                     run.out.c_str());
        std::exit(1);
    }
    f.msPerEvent.push_back(1000 * run.seconds / batch);
    f.rssMb.push_back(run.maxRssKb / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ENVIOZVR_TEST_SERVER", "localhost", 0);
    setenv("ENVIOZVR_TEST_USER", "SYSDBA", 0);
    setenv("ENVIOZVR_TEST_PASSWORD", "masterkey", 0);
    QCoreApplication qapp(argc, argv);
    const int rounds = envInt("SCALE_BENCH_ROUNDS", 3);
    const int batch = envInt("SCALE_BENCH_BATCH", 1000);
    const int batchNoIndex = envInt("SCALE_BENCH_BATCH_NOINDEX", 100);
    const int large = envInt("SCALE_BENCH_LARGE", 100000);
    const int drainEvents = envInt("DRAIN_BENCH_EVENTS", 20000);
    try {
        testing::InstallDir install;  // the child finds it through XDG_CONFIG_DIRS
        testing::TempDir dir;
        const std::string host = testing::serverHost();
        const int sizes[] = {1000, large};
        // Both queues exist side by side, and every round measures all four runs one after
        // the other, so that each round's ratios compare runs made under the same load.
        std::unique_ptr<World> worlds[2];
        for (int s = 0; s < 2; ++s) {
            const std::string root = dir.path() + "/scale" + std::to_string(s);
            std::fprintf(stderr, "queue of %d events: filling\n", sizes[s]);
            worlds[s] = std::make_unique<World>(root, host + ":" + root, sizes[s]);
        }
        ScaleFigures withIdx[2], withoutIdx[2];
        std::vector<double> timeRatio, memoryRatio, timeRatioNoIndex;
        for (int round = 0; round < rounds; ++round) {
            for (int s = 0; s < 2; ++s) {
                worlds[s]->setIndexes(true);
                measureCycle(*worlds[s], std::min(batch, sizes[s]), withIdx[s]);
            }
            for (int s = 0; s < 2; ++s) {
                worlds[s]->setIndexes(false);
                measureCycle(*worlds[s], std::min(batchNoIndex, sizes[s]), withoutIdx[s]);
            }
            timeRatio.push_back(withIdx[1].msPerEvent.back() / withIdx[0].msPerEvent.back());
            memoryRatio.push_back(withIdx[1].rssMb.back() / withIdx[0].rssMb.back());
            timeRatioNoIndex.push_back(withoutIdx[1].msPerEvent.back() /
                                       withoutIdx[0].msPerEvent.back());
            std::fprintf(stderr,
                         "  round %d: with indexes %.3f / %.3f ms/event (ratio %.2f), "
                         "without %.3f / %.3f ms/event\n",
                         round + 1, withIdx[0].msPerEvent.back(), withIdx[1].msPerEvent.back(),
                         timeRatio.back(), withoutIdx[0].msPerEvent.back(),
                         withoutIdx[1].msPerEvent.back());
        }
        worlds[0].reset();
        worlds[1].reset();
        std::printf("queued events      with indexes (batch %d)     without indexes (batch %d)\n",
                    batch, batchNoIndex);
        for (int s = 0; s < 2; ++s)
            std::printf("%8d           %7.3f ms/event %6.1f MB    %7.3f ms/event %6.1f MB\n",
                        sizes[s], median(withIdx[s].msPerEvent), median(withIdx[s].rssMb),
                        median(withoutIdx[s].msPerEvent), median(withoutIdx[s].rssMb));
        std::printf(
            "ratio %d / 1000, median of the rounds: time %.2f (target <= 1.30), memory "
            "%.2f (target <= 1.20); without indexes: time %.2f\n",
            large, median(timeRatio), median(memoryRatio), median(timeRatioNoIndex));
        std::printf("time ratio per round:");
        for (double r : timeRatio) std::printf(" %.2f", r);
        std::printf("\n");

        if (drainEvents > 0) {
            const std::string root = dir.path() + "/drain";
            std::fprintf(stderr, "drain of %d events: filling\n", drainEvents);
            World w(root, host + ":" + root, drainEvents);
            ChildRun run = runProgram(w.args({}), "siguiente ciclo en");
            const long long left = w.pending();
            int cycles = 0;
            for (size_t at = 0; at < run.out.size(); at = run.out.find('\n', at) + 1) {
                if (run.out.compare(at, 6, "ciclo ") == 0) ++cycles;
                if (run.out.find('\n', at) == std::string::npos) break;
            }
            const double perEvent = 1000 * run.seconds / drainEvents;
            std::printf(
                "drain of %d events, default batch (100): %.1f s in %d cycles, %lld left, "
                "%.3f ms/event; ratio to the per-event time of one batch: %.2f\n",
                drainEvents, run.seconds, cycles, left, perEvent,
                perEvent / median(withIdx[0].msPerEvent));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

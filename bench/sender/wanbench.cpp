// The send cycle across a slow link: time and round trips per event, against the floor.
//
// Both the origin and the destination databases sit behind relays on loopback
// (testing::DelayingRelay) that count the round trips made through them; one relay at a
// time also delays every chunk by WAN_BENCH_DELAY_MS (5) each way, so that one run shows
// a far destination and another a far origin (the desktop away from the origin server).
//
// Kinds: for each kind of event (copy, replace, delete, a copy the destination refuses)
// the program itself (`enviozvr --headless --once` as a child, with the arguments given
// to this benchmark added) sends one batch of WAN_BENCH_EVENTS (20) events and one of
// WAN_BENCH_BASE (2). Its time per event is the time from the first to the last ENVIO.TXT
// line of the large batch (each event writes its line as it starts) over the events
// between them, so that the start, the login and the attaches stay out; its round trips
// per event are the difference between the two batches over the difference of their
// events. The floor (bench/sender/floor.h: the same statements and commits through the
// bare client API with the fewest round trips it allows, attached, prepared and its
// transactions started before it starts) sends WAN_BENCH_EVENTS events. Figures are
// medians over WAN_BENCH_ROUNDS (3) rounds; the table gives each kind's round trips per
// event at each side, the floor's beside the program's.
//
// Destinations: WAN_BENCH_DESTINATIONS (4) destinations behind the delaying relay with
// WAN_BENCH_PARALLEL_EVENTS (200) copy events each (the origin reached directly), one
// cycle against one destination alone with as many events; the ratio of the two cycle
// times, median over WAN_BENCH_PARALLEL_ROUNDS (2) rounds.
//
// WAN_BENCH_MODE: "kinds" or "destinations" runs only that part (default both);
// WAN_BENCH_KINDS: the kinds to run, e.g. "copy,refused" (copy, replace, delete, refused).
// Usage: wan_bench [PROGRAM ARGUMENT...]   e.g. wan_bench --stall-timeout=30
// Needs the local server (scripts/firebird-server); ENVIOZVR_TEST_SERVER, _USER and
// _PASSWORD default to localhost, SYSDBA and masterkey.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/sqltext.h"
#include "floor.h"
#include "support/appdir.h"
#include "support/delayrelay.h"
#include "support/testdb.h"

using namespace enviozvr;
namespace fs = std::filesystem;
using Firebird::IAttachment;

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

double secondsOf(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct ChildRun {
    std::string out;  // standard output and standard error
    int status = 0;   // as waitpid gives it
    double seconds = 0;
    // When each ENVIO.TXT line was written (the start of each event), in seconds from the
    // start of the run.
    std::vector<double> eventStarts;
};

// Runs the program with `args` and watches the ENVIO.TXT of the installation folder
// `installDir` while it runs.
ChildRun runProgram(const std::vector<std::string>& args, const std::string& installDir) {
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || inotify_add_watch(watch, installDir.c_str(), IN_CLOSE_WRITE) < 0)
        throw std::runtime_error("inotify");
    int pipeFd[2];
    if (pipe2(pipeFd, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        dup2(pipeFd[1], 2);
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
    auto readWatch = [&] {
        alignas(inotify_event) char events[4096];
        for (;;) {
            const ssize_t n = read(watch, events, sizeof events);
            if (n <= 0) return;
            const double at =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            for (ssize_t i = 0; i < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + i);
                if (e->len && std::string(e->name) == "ENVIO.TXT") run.eventStarts.push_back(at);
                i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    };
    char buffer[4096];
    for (bool open = true; open;) {
        pollfd fds[] = {{pipeFd[0], POLLIN, 0}, {watch, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[1].revents) readWatch();
        if (fds[0].revents) {
            const ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
            if (n > 0)
                run.out.append(buffer, static_cast<size_t>(n));
            else
                open = false;
        }
    }
    close(pipeFd[0]);
    waitpid(pid, &run.status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    readWatch();
    close(watch);
    return run;
}

enum Kind { kCopy, kReplace, kDelete, kRefused };
const char* const kKindNames[] = {"copy", "replace", "delete", "refused copy"};
const char* const kKindWords[] = {"copy", "replace", "delete", "refused"};
const bench::FloorKind kFloorKinds[] = {bench::FloorKind::Copy, bench::FloorKind::Replace,
                                        bench::FloorKind::Delete, bench::FloorKind::RefusedCopy};

std::string companyCode(int i) {
    const std::string n = std::to_string(i + 2);  // 002, 003, ...
    return std::string(n.size() < 3 ? 3 - n.size() : 0, '0') + n;
}

// Origin 001 with `invoices` invoices FV 0.. and as many FR 0.. (the destinations refuse
// the FR ones), destinations 002.. behind `destinationServer`.
class World {
  public:
    World(const std::string& root, const std::string& destinationServer, int destinations,
          int invoices) {
        const std::string user = testing::serverUser(), password = testing::serverPassword();
        std::vector<std::string> subs = {"", "/datos", "/datos/001"};
        for (int i = 0; i < destinations; ++i) subs.push_back("/datos/" + companyCode(i));
        for (const std::string& sub : subs) {
            fs::create_directories(root + sub);
            fs::permissions(root + sub, fs::perms::all);
        }
        general = std::make_unique<testing::TestDatabase>(root + "/datos/general.fdb", true);
        general->createGeneralSchema();
        general->exec("INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen')");
        origin = std::make_unique<testing::TestDatabase>(root + "/datos/001/nivora.fdb", true);
        origin->createCompanySchema();
        std::vector<std::string> setup = {
            "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO "
            "PARA REPLICACION DE ARTICULOS', " +
                data::quoted(user) + ")",
            "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO "
            "PARA REPLICACION DE ARTICULOS', " +
                data::quoted(password) + ")",
            "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < " + std::to_string(invoices) +
                ") DO BEGIN " + invoiceInsert("FV") + invoiceInsert("FR") + "i = i + 1; END END"};
        for (int i = 0; i < destinations; ++i) {
            setup.push_back("INSERT INTO REPLICA_COMPANIA VALUES (" + data::quoted(companyCode(i)) +
                            ", 'Destino', " + data::quoted(destinationServer + root) +
                            ", 'N', 1, 'S')");
            dests.push_back(std::make_unique<testing::TestDatabase>(
                root + "/datos/" + companyCode(i) + "/nivora.fdb", true));
            dests.back()->createCompanySchema();
            dests.back()->exec(
                "ALTER TABLE FACTURAS_ZVR ADD CONSTRAINT REFUSES_FR "
                "CHECK (PREF_PRE <> 'FR')");
        }
        origin->exec(setup);
    }

    // The queue holds `n` events of `kind` for each of the first `destinations`, and
    // each of those destinations the rows that kind meets there.
    void prepare(Kind kind, int n, int destinations) {
        origin->exec("DELETE FROM REPLICA_EVENTOS");
        const std::string pref = kind == kRefused ? "FR" : "FV";
        const std::string oper = kind == kDelete ? "D" : kind == kReplace ? "M" : "I";
        for (int d = 0; d < destinations; ++d) {
            origin->exec("EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < " +
                         std::to_string(n) +
                         ") DO BEGIN INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, "
                         "RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, "
                         "RPEV_HORAREG, RPEV_OPER) VALUES (" +
                         std::to_string(d * n + 1) + " + :i, " + data::quoted(companyCode(d)) +
                         ", 236, " + data::quoted(pref) +
                         ", CAST(:i AS VARCHAR(6)), 'V01', CURRENT_DATE, DATEADD(:i SECOND TO "
                         "TIME '00:00:00'), " +
                         data::quoted(oper) + "); i = i + 1; END END");
            testing::TestDatabase& dest = *dests[static_cast<size_t>(d)];
            dest.exec("DELETE FROM FACTURAS_ZVR");
            if (kind == kReplace || kind == kDelete)
                dest.exec("EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN WHILE (i < " +
                          std::to_string(n) + ") DO BEGIN " + invoiceInsert("FV") +
                          "i = i + 1; END END");
            dest.exec("SELECT COUNT(*) FROM FACTURAS_ZVR");  // collects the deleted versions
        }
        origin->exec("SELECT COUNT(*) FROM REPLICA_EVENTOS");
    }

    // Exits when the first `destinations` do not show `n` events of `kind` done.
    void check(Kind kind, int n, int destinations, const std::string& what) {
        const long long pending =
            origin->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL")
                .asInteger();
        const long long errors =
            origin->scalar("SELECT COUNT(*) FROM REPLICA_EVENTOS WHERE RPEV_ERROR IS NOT NULL")
                .asInteger();
        const long long all = static_cast<long long>(n) * destinations;
        bool sound =
            kind == kRefused ? pending == all && errors == all : pending == 0 && errors == 0;
        for (int d = 0; d < destinations; ++d) {
            const long long rows = dests[static_cast<size_t>(d)]
                                       ->scalar("SELECT COUNT(*) FROM FACTURAS_ZVR")
                                       .asInteger();
            sound = sound && rows == (kind == kCopy || kind == kReplace ? n : 0);
        }
        if (!sound) {
            std::fprintf(stderr,
                         "%s: %s of %d events to %d destinations did not end as expected "
                         "(%lld pending, %lld with an error)\n",
                         what.c_str(), kKindNames[kind], n, destinations, pending, errors);
            std::exit(1);
        }
    }

    std::vector<bench::EventRow> pendingEvents() {
        std::vector<bench::EventRow> out;
        for (const auto& r : origin->query("SELECT RPEV_ID, RPEV_PREF, RPEV_NUMERO FROM "
                                           "REPLICA_EVENTOS WHERE RPEV_FECREP IS NULL ORDER BY "
                                           "RPEV_FECREG, RPEV_HORAREG, RPEV_ID"))
            out.push_back({static_cast<int>(r[0].asInteger()), r[1].asString(), r[2].asString()});
        return out;
    }

    std::unique_ptr<testing::TestDatabase> general, origin;
    std::vector<std::unique_ptr<testing::TestDatabase>> dests;

  private:
    static std::string invoiceInsert(const std::string& pref) {
        return "INSERT INTO FACTURAS_ZVR VALUES (" + data::quoted(pref) +
               ", CAST(:i AS VARCHAR(6)), :i, 9000000000 + :i, 1234.56 + :i, 4012.345678, 12.5, "
               "CURRENT_DATE, CURRENT_TIME, CURRENT_TIMESTAMP, 'A', 'Jos\xe9 Pe\xf1"
               "a Mu\xf1oz', "
               "'Entrega en bodega, se\xf1or Garc\xed"
               "a', 'COP'); ";
    }
};

// What one run cost: wall time and round trips at each side.
struct Cost {
    double seconds = 0;
    double originTrips = 0, destTrips = 0;
};

Cost operator-(const Cost& a, const Cost& b) {
    return {a.seconds - b.seconds, a.originTrips - b.originTrips, a.destTrips - b.destTrips};
}

Cost measured(testing::DelayingRelay* origin, testing::DelayingRelay& dest,
              const std::function<void()>& f) {
    const long long o0 = origin ? origin->roundTrips() : 0, d0 = dest.roundTrips();
    Cost c;
    c.seconds = secondsOf(f);
    c.originTrips = static_cast<double>((origin ? origin->roundTrips() : 0) - o0);
    c.destTrips = static_cast<double>(dest.roundTrips() - d0);
    return c;
}

struct Args {
    std::string server;  // the origin's server text
    std::vector<std::string> extra;
    std::string installDir;
    std::vector<std::string> operator()(int batch) const {
        std::vector<std::string> a = {"--headless", "--once", "--batch=" + std::to_string(batch)};
        a.insert(a.end(), extra.begin(), extra.end());
        for (const std::string& s :
             {server, testing::serverUser(), testing::serverPassword(), std::string("001")})
            a.push_back(s);
        return a;
    }
};

ChildRun runCycle(const Args& args, int batch) {
    ChildRun run = runProgram(args(batch), args.installDir);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        std::fprintf(stderr, "the program ended with status %d:\n%s", run.status, run.out.c_str());
        std::exit(1);
    }
    return run;
}

// Per kind: the program and the floor, each with the destination far and with the origin
// far.
struct KindFigures {
    std::vector<double> msDestFar, msOriginFar, floorMsDestFar, floorMsOriginFar;
    std::vector<double> destTrips, originTrips, floorDestTrips, floorOriginTrips;
};

void measureKinds(const std::string& root, const Args& common, std::chrono::microseconds delay) {
    const int events = std::max(2, envInt("WAN_BENCH_EVENTS", 20));
    const int base = std::clamp(envInt("WAN_BENCH_BASE", 2), 0, events - 1);
    const int rounds = envInt("WAN_BENCH_ROUNDS", 3);
    // WAN_BENCH_KINDS: the kinds to run, as words separated by commas (all by default).
    const std::string only = std::getenv("WAN_BENCH_KINDS") ? std::getenv("WAN_BENCH_KINDS") : "";
    std::vector<int> kinds;
    for (int k = kCopy; k <= kRefused; ++k)
        if (only.empty() ||
            ("," + only + ",").find(std::string(",") + kKindWords[k] + ",") != std::string::npos)
            kinds.push_back(k);
    testing::DelayingRelay originRelay, destRelay;
    std::fprintf(stderr, "kinds: filling\n");
    World w(root, destRelay.serverText(), 1, events);
    Args args = common;
    args.server = originRelay.serverText() + root;
    const std::string user = testing::serverUser(), password = testing::serverPassword();
    bench::Raw raw;
    IAttachment* floorOrigin =
        raw.attach(originRelay.serverText() + w.origin->path(), user, password);
    IAttachment* floorDest =
        raw.attach(destRelay.serverText() + w.dests[0]->path(), user, password);

    KindFigures fig[4];
    for (int round = 0; round < rounds; ++round) {
        for (const int k : kinds) {
            const Kind kind = static_cast<Kind>(k);
            KindFigures& f = fig[k];
            for (const bool destFar : {true, false}) {
                destRelay.setDelay(destFar ? delay : std::chrono::microseconds{});
                originRelay.setDelay(destFar ? std::chrono::microseconds{} : delay);
                Cost cost[2];
                for (int s = 0; s < 2; ++s) {
                    const int n = s ? events : base;
                    w.prepare(kind, n, 1);
                    ChildRun run;
                    cost[s] = measured(&originRelay, destRelay, [&] { run = runCycle(args, n); });
                    w.check(kind, n, 1, "program");
                    if (s == 0) continue;
                    const std::vector<double>& starts = run.eventStarts;
                    if (starts.size() != static_cast<size_t>(n)) {
                        std::fprintf(stderr, "%zu ENVIO.TXT lines seen for %d events\n",
                                     starts.size(), n);
                        std::exit(1);
                    }
                    (destFar ? f.msDestFar : f.msOriginFar)
                        .push_back(1000 * (starts.back() - starts.front()) / (n - 1));
                }
                // Each side's round trips from the runs where its link is the slow one.
                const Cost per = cost[1] - cost[0];
                const double d = events - base;
                if (destFar)
                    f.destTrips.push_back(per.destTrips / d);
                else
                    f.originTrips.push_back(per.originTrips / d);

                w.prepare(kind, events, 1);
                const std::vector<bench::EventRow> list = w.pendingEvents();
                // As the program's figures leave its start out, the floor's leave out the
                // statements prepared and the transactions started and committed per batch.
                bench::Floor batch(raw, floorOrigin, floorDest);
                const Cost floor = measured(&originRelay, destRelay,
                                            [&] { batch.send(list, false, kFloorKinds[k]); });
                batch.finish();
                w.check(kind, events, 1, "floor");
                (destFar ? f.floorMsDestFar : f.floorMsOriginFar)
                    .push_back(1000 * floor.seconds / events);
                if (destFar)
                    f.floorDestTrips.push_back(floor.destTrips / events);
                else
                    f.floorOriginTrips.push_back(floor.originTrips / events);
            }
            std::fprintf(stderr,
                         "  round %d, %-12s: %.1f ms/event (floor %.1f) with the destination "
                         "far, %.1f (floor %.1f) with the origin far\n",
                         round + 1, kKindNames[k], f.msDestFar.back(), f.floorMsDestFar.back(),
                         f.msOriginFar.back(), f.floorMsOriginFar.back());
        }
    }
    for (IAttachment* a : {floorOrigin, floorDest}) a->detach(&raw.st);

    const double ms = static_cast<double>(delay.count()) / 1000;
    std::printf(
        "per event, %.1f ms each way at one side at a time; medians of %d rounds. The program: "
        "time from the first to the last event of a batch of %d, round trips the difference "
        "between that batch and one of %d; the floor: %d events\n",
        ms, rounds, events, base, events);
    std::printf("%-13s %21s %21s %25s\n", "", "ms/event (floor)", "ms/event (floor)",
                "round trips/event (floor)");
    std::printf("%-13s %21s %21s %12s %12s\n", "kind", "destination far", "origin far",
                "destination", "origin");
    for (const int k : kinds) {
        const KindFigures& f = fig[k];
        std::printf("%-13s %10.1f (%7.1f) %10.1f (%7.1f) %5.1f (%4.1f) %5.1f (%4.1f)\n",
                    kKindNames[k], median(f.msDestFar), median(f.floorMsDestFar),
                    median(f.msOriginFar), median(f.floorMsOriginFar), median(f.destTrips),
                    median(f.floorDestTrips), median(f.originTrips), median(f.floorOriginTrips));
    }
}

void measureDestinations(const std::string& root, const Args& common,
                         std::chrono::microseconds delay) {
    const int destinations = envInt("WAN_BENCH_DESTINATIONS", 4);
    const int events = envInt("WAN_BENCH_PARALLEL_EVENTS", 200);
    const int rounds = envInt("WAN_BENCH_PARALLEL_ROUNDS", 2);
    testing::DelayingRelay destRelay(delay);
    std::fprintf(stderr, "destinations: filling\n");
    World w(root, destRelay.serverText(), destinations, events);
    Args args = common;
    args.server = testing::serverHost() + ":" + root;
    std::vector<double> alone, all, ratio;
    for (int round = 0; round < rounds; ++round) {
        for (const int count : {1, destinations}) {
            w.prepare(kCopy, events, count);
            const Cost c =
                measured(nullptr, destRelay, [&] { runCycle(args, events); });  // the whole cycle
            w.check(kCopy, events, count, "program");
            (count == 1 ? alone : all).push_back(c.seconds);
        }
        ratio.push_back(all.back() / alone.back());
        std::fprintf(stderr,
                     "  round %d: one destination %.2f s, %d destinations %.2f s, ratio %.2f\n",
                     round + 1, alone.back(), destinations, all.back(), ratio.back());
    }
    std::printf(
        "one cycle of %d copy events per destination, %.1f ms each way to the "
        "destinations: one destination %.2f s, %d destinations %.2f s; ratio %.2f "
        "(median of %d rounds:",
        events, static_cast<double>(delay.count()) / 1000, median(alone), destinations, median(all),
        median(ratio), rounds);
    for (double r : ratio) std::printf(" %.2f", r);
    std::printf(")\n");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ENVIOZVR_TEST_SERVER", "localhost", 0);
    setenv("ENVIOZVR_TEST_USER", "SYSDBA", 0);
    setenv("ENVIOZVR_TEST_PASSWORD", "masterkey", 0);
    const std::vector<std::string> extra(argv + 1, argv + argc);
    QCoreApplication qapp(argc, argv);
    const std::chrono::microseconds delay(static_cast<long long>(
        1000 *
        std::atof(std::getenv("WAN_BENCH_DELAY_MS") ? std::getenv("WAN_BENCH_DELAY_MS") : "5")));
    const std::string mode = std::getenv("WAN_BENCH_MODE") ? std::getenv("WAN_BENCH_MODE") : "";
    try {
        testing::InstallDir install;  // the child finds it through XDG_CONFIG_DIRS
        testing::TempDir dir;
        const Args common{{}, extra, install.path()};
        if (mode.empty() || mode == "kinds") measureKinds(dir.path() + "/k", common, delay);
        if (mode.empty() || mode == "destinations")
            measureDestinations(dir.path() + "/d", common, delay);
    } catch (const Firebird::FbException& e) {
        char text[1024];
        Firebird::fb_get_master_interface()->getUtilInterface()->formatStatus(text, sizeof text,
                                                                              e.getStatus());
        std::fprintf(stderr, "Firebird: %s\n", text);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

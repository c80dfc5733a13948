// Verification cost against the bare read of the same rows, in one run on the local server.
//
// One origin company with VERIFY_BENCH_DOCUMENTS (10,000) invoices, each queued as a sent
// copy event for one destination company that holds the same rows. The verification
// (sender::verifyDestinations, everything in line) runs with the destination behind a
// relay on loopback that delays every chunk VERIFY_BENCH_DELAY_MS (5) each way
// (testing::DelayingRelay, which counts the round trips), and with the destination
// reached directly. Beside each, the bare read: the same rows read with the fewest
// statements the client allows (the queue, and each side's FACTURAS_ZVR whole, its text
// blob inline), every value decoded, nothing compared. The figures: seconds of each,
// their ratio, and the round trips at the destination per 100 documents; medians of
// VERIFY_BENCH_ROUNDS (3) rounds.
//
// Needs the local server (scripts/firebird-server); ENVIOZVR_TEST_SERVER, _USER and
// _PASSWORD default to localhost, SYSDBA and masterkey.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/cursor.h"
#include "data/sqltext.h"
#include "sender/maindata.h"
#include "sender/verify.h"
#include "support/appdir.h"
#include "support/delayrelay.h"
#include "support/testdb.h"

using namespace enviozvr;

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

// The same invoices at both sides, made by the server itself.
std::string fillInvoices(int documents) {
    return "EXECUTE BLOCK AS DECLARE n INTEGER = 1; BEGIN WHILE (n <= " +
           std::to_string(documents) +
           ") DO BEGIN INSERT INTO FACTURAS_ZVR VALUES ('FV', :n, :n, 900000000000 + :n, :n + "
           "0.75, "
           "4012.345678, 0.125, DATE '2026-12-01' + MOD(:n, 10), TIME '09:10:05', TIMESTAMP "
           "'2026-12-01 23:59:59', 'A', 'Jos\xe9 Pe\xf1"
           "a \xc1ngel ' || :n, 'Nota \xfanica ' || :n || ' segunda l\xednea', 'COP'); n = n + 1; "
           "END END";
}

std::string fillQueue(int documents, const std::string& destination) {
    return "EXECUTE BLOCK AS DECLARE n INTEGER = 1; BEGIN WHILE (n <= " +
           std::to_string(documents) +
           ") DO BEGIN INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, "
           "RPEV_PREF, RPEV_NUMERO, RPEV_FECREG, RPEV_HORAREG, RPEV_FECREP, RPEV_HORAREP, "
           "RPEV_OPER) VALUES (:n, " +
           data::quoted(destination) +
           ", 236, 'FV', :n, CURRENT_DATE, '08:00:00', CURRENT_DATE, '10:00:00', 'I'); n = n + 1; "
           "END END";
}

// The floor: the queue and each side's invoices read whole, one statement each.
void bareRead(data::Connection& origin, data::Connection& destination) {
    const auto readAll = [](data::Connection& c, const std::string& sql) {
        auto cursor = c.open(sql);
        const int n = static_cast<int>(cursor->fields().size());
        long values = 0;
        while (cursor->fetch())
            for (int i = 0; i < n; ++i) values += cursor->value(i).isNull() ? 0 : 1;
        cursor->close();
        return values;
    };
    const std::string invoices =
        "SELECT PREF_PRE, FACT_NUMERO, FACT_ID, FACT_SERIAL, FACT_TOTAL, FACT_TASA, FACT_PESO, "
        "FACT_FECHA, FACT_HORA, FACT_REGISTRO, FACT_ESTADO, FACT_CLIENTE, "
        "CAST(SUBSTRING(FACT_NOTAS "
        "FROM 1 FOR 1000) AS VARCHAR(1000) CHARACTER SET NONE), FACT_MONEDA FROM FACTURAS_ZVR";
    readAll(origin,
            "SELECT RPEV_PREF, RPEV_NUMERO, RPEV_OPER, RPEV_FECREP, RPEV_ID FROM REPLICA_EVENTOS");
    readAll(origin, invoices);
    readAll(destination, invoices);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int documents = envInt("VERIFY_BENCH_DOCUMENTS", 10000);
    const int rounds = envInt("VERIFY_BENCH_ROUNDS", 3);
    const auto delay = std::chrono::milliseconds(envInt("VERIFY_BENCH_DELAY_MS", 5));

    testing::InstallDir install;
    testing::TempDir dir;
    const std::string root = dir.path() + "/srv";
    for (const char* folder : {"/datos/001", "/datos/002"}) {
        std::filesystem::create_directories(root + folder);
        std::filesystem::permissions(root + "/datos", std::filesystem::perms::all);
        std::filesystem::permissions(root + folder, std::filesystem::perms::all);
    }
    std::filesystem::permissions(root, std::filesystem::perms::all);
    const std::string host = testing::serverHost() + ":";
    const std::string password = testing::serverPassword();
    testing::TestDatabase general(root + "/datos/general.fdb", true);
    general.createGeneralSchema();
    general.exec("INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('001', 'Origen')");
    testing::TestDatabase origin(root + "/datos/001/nivora.fdb", true);
    origin.createCompanySchema();
    testing::TestDatabase destination(root + "/datos/002/nivora.fdb", true);
    destination.createCompanySchema();
    origin.exec(
        {"INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE "
         "USUARIO PARA REPLICACION DE ARTICULOS', 'SYSDBA')",
         "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO "
         "PARA REPLICACION DE ARTICULOS', " +
             data::quoted(password) + ")",
         fillInvoices(documents), fillQueue(documents, "002")});
    destination.exec(fillInvoices(documents));

    testing::DelayingRelay relay(delay);
    sender::MainData data;
    data.loginAutomatic(host + root, testing::serverUser(), password);
    data.selectCompany("001");
    const auto server = [&](const std::string& text) {
        data.DbCia.execute("DELETE FROM REPLICA_COMPANIA");
        data.DbCia.execute("INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Destino', " +
                           data::quoted(text) + ", 'N', 1, 'S')");
    };
    auto bare = data::Connection::company("bare");
    bare->setParam("User_Name", testing::serverUser());
    bare->setParam("password", password);

    std::printf("verify_bench: %d documents to one destination, %lld ms each way, %d rounds\n",
                documents, static_cast<long long>(delay.count()), rounds);
    for (const bool far : {true, false}) {
        server(far ? relay.serverText() + root : host + root);
        bare->disconnect();
        bare->setDatabase((far ? relay.serverText() : host) + destination.path());
        std::vector<double> verifyTimes, bareTimes, ratios, trips, bareTrips;
        for (int r = 0; r < rounds; ++r) {
            long long before = relay.roundTrips();
            std::vector<sender::DestinationCheck> checks;
            const double v = secondsOf([&] { checks = sender::verifyDestinations(data, {}); });
            const long long verifyTrips = relay.roundTrips() - before;
            if (checks.size() != 1 || !checks[0].reached || checks[0].inLine != documents) {
                std::fprintf(stderr, "verify_bench: the verification did not find %d in line\n",
                             documents);
                return 1;
            }
            before = relay.roundTrips();
            const double b = secondsOf([&] {
                bare->connect();
                bareRead(data.DbCia, *bare);
                bare->disconnect();
            });
            const long long floorTrips = relay.roundTrips() - before;
            verifyTimes.push_back(v);
            bareTimes.push_back(b);
            ratios.push_back(v / b);
            trips.push_back(100.0 * static_cast<double>(verifyTrips) / documents);
            bareTrips.push_back(100.0 * static_cast<double>(floorTrips) / documents);
        }
        std::printf("%-22s verify %6.2f s  bare read %6.2f s  ratio %5.2f",
                    far ? "destination far:" : "localhost:", median(verifyTimes), median(bareTimes),
                    median(ratios));
        if (far)
            std::printf("  round trips per 100 documents: verify %.2f, bare read %.2f",
                        median(trips), median(bareTrips));
        std::printf("\n");
    }
    return 0;
}

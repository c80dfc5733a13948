// enviozvr --verify on the local server: the check's lines and exit statuses, the CSV list
// and the Prometheus counts, --repair refused beside the service's lock and then mending
// everything, the record --status shows, bad arguments and an origin that cannot be used.
#include "app/verify.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/headless.h"
#include "app/instancelock.h"
#include "app/status.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

struct CheckRun {
    int status;
    std::string out;
};

CheckRun verify(SenderWorld& w, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--verify", w.server, "sysdba", w.password, "001"};
    args.insert(args.end(), extra.begin(), extra.end());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runVerify(args);
    std::string out = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    return {status, out};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Destination 002 served by the send cycle, then changed by hand: invoice 1 gone, 2 edited.
struct CheckWorld : SenderWorld {
    CheckWorld() : SenderWorld(WorldOptions{.viaServer = true}) {
        addDestination("002");
        for (int n = 1; n <= 3; ++n) {
            origin->exec(invoiceValues("FV", std::to_string(n), n));
            addEvent({.id = n, .company = "002", .numero = std::to_string(n)});
        }
        EXPECT_EQ(cycle(), sender::CycleEnd::Completed);
        addEvent({.id = 4, .company = "002", .numero = "3", .registeredAt = "09:00:00"});
        destinations["002"]->exec(
            std::vector<std::string>{"DELETE FROM FACTURAS_ZVR WHERE FACT_NUMERO = '1'",
                                     "UPDATE FACTURAS_ZVR SET FACT_HORA = '10:00:00', "
                                     "FACT_ESTADO = 'X' WHERE FACT_NUMERO = '2'"});
    }
};

TEST(VerifyCommand, ReportsAsACheckListsAndCountsThenRepairsBesideNoService) {
    CheckWorld w;
    CheckRun r = verify(w, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "ENVIOZVR WARNING - origen 001: 2 documentos fuera de linea en 002, 1 en camino | "
              "compared=3 missing=1 different=1 left=0 doubled=0 in_flight=1 unreachable=0\n"
              "002 FV1: falta en el destino\n"
              "002 FV2: diferente en FACT_HORA, FACT_ESTADO\n"
              "002 FV3: en camino (evento 4 o anterior pendiente)\n"
              "002: 3 comparados, 0 en linea, 1 faltan, 1 diferentes, 0 sobran, 0 duplicados, 1 "
              "en camino\n");

    const std::string csv = w.dir.file("lista.csv");
    r = verify(w, {"--format=csv", "--output=" + csv});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("ENVIOZVR WARNING - ", 0), 0u);
    EXPECT_EQ(readFile(csv),
              "Destino;Prefijo;Numero;Estado;Detalle;Ultimo evento\r\n"
              "002;FV;1;falta;falta en el destino;1\r\n"
              "002;FV;2;diferente;diferente en FACT_HORA, FACT_ESTADO;2\r\n"
              "002;FV;3;en camino;en camino (evento 4 o anterior pendiente);4\r\n");

    r = verify(w, {"--format=prometheus"});
    EXPECT_NE(r.out.find("enviozvr_verify_documents{origin=\"001\",destination=\"002\",state="
                         "\"missing\"} 1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("enviozvr_verify_status{origin=\"001\"} 1\n"), std::string::npos);

    {
        // The service of the origin holds its lock: the repair does not run beside it.
        app::InstanceLock service("001", w.data.DbCia);
        ASSERT_EQ(service.tryAcquire(), app::InstanceLock::Result::Acquired);
        r = verify(w, {"--repair"});
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.out.rfind("ENVIOZVR UNKNOWN - --repair no corre al lado del envio de 001: ", 0),
                  0u)
            << r.out;
        EXPECT_EQ(w.destinations["002"]->scalar("SELECT COUNT(*) FROM FACTURAS_ZVR"),
                  Value::integer(2));
    }
    r = verify(w, {"--repair"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("002 FV1: falta en el destino; reparado\n"), std::string::npos) << r.out;
    r = verify(w, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("ENVIOZVR OK - origen 001: 3 documentos en linea en 1 destinos, 1 en "
                          "camino | compared=3 missing=0",
                          0),
              0u)
        << r.out;

    // --status says when the destinations were last verified.
    ::testing::internal::CaptureStdout();
    app::runStatus({"--status", w.server, "sysdba", w.password, "001"});
    const std::string status = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(status.find("\nverificacion: hace 0 min, 3 comparados, 0 fuera de linea, 0 "
                          "reparados, 0 destinos sin conexion\n"),
              std::string::npos)
        << status;
}

// The service verifies after its cycle and mends what is out of line; the pending event
// of invoice 3 goes out with the cycle first, so nothing is left in flight.
TEST(VerifyCommand, TheServiceVerifiesAndRepairsBetweenItsCycles) {
    CheckWorld w;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = app::runHeadless({"--headless", "--once", "--verify-every=60", "--repair",
                                         w.server, "sysdba", w.password, "001"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\nverificacion: origen 001: 2 documentos fuera de linea en 002, 2 "
                       "reparados\n002 FV1: falta en el destino; reparado\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(verify(w, {}).status, 0);
    const auto record = app::readVerifyRecord("001");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->outOfLine, 0);
}

TEST(VerifyCommand, BadArgumentsAreUnknownAndAnOriginThatCannotBeUsedIsCritical) {
    SenderWorld w(WorldOptions{.login = false, .viaServer = true});
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--since=2026-13-01"}, {"--format=xml"}, {"--output=x.csv"}, {"--destination="}}) {
        const CheckRun r = verify(w, bad);
        EXPECT_EQ(r.status, 3) << bad[0];
        EXPECT_EQ(r.out.rfind("ENVIOZVR UNKNOWN - ", 0), 0u) << r.out;
    }
    w.server = testing::serverHost() + "/1:" + w.root;
    const CheckRun r = verify(w, {});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("ENVIOZVR CRITICAL - origen 001: ", 0), 0u) << r.out;
}

}  // namespace
}  // namespace enviozvr::sendertest

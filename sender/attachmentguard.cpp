#include "sender/attachmentguard.h"

#include <QString>
#include <QSysInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <thread>

#include "data/errors.h"
#include "data/sqltext.h"
#include "data/transaction.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace enviozvr::sender {

namespace {

constexpr const char* kNamePrefix = "enviozvr envio ";

// The server's code of a statement refused for lack of a right (isc_no_priv).
constexpr long kNoPrivilege = 335544352;

bool refusedForLackOfRight(const std::exception& e) {
    const auto* db = dynamic_cast<const data::DatabaseError*>(&e);
    if (!db) return false;
    const std::vector<long>& codes = db->codes();
    return db->sqlState() == "28000" || db->iscCode() == kNoPrivilege ||
           std::find(codes.begin(), codes.end(), kNoPrivilege) != codes.end();
}

std::string firstLineOf(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The start time of process `pid` in clock ticks since boot (field 22 of /proc/<pid>/stat);
// nothing when the process does not exist (or this system has no /proc).
std::optional<unsigned long long> startTicks(long long pid) {
    const std::string stat = firstLineOf("/proc/" + std::to_string(pid) + "/stat");
    // The command name (field 2) is in parentheses and may hold blanks: count after it.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int n = 3; n <= 22; ++n)
        if (!(fields >> field)) return std::nullopt;
    try {
        return std::stoull(field);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string bootId() { return firstLineOf("/proc/sys/kernel/random/boot_id").substr(0, 8); }

// The machine id of systemd (or of D-Bus on systems without it); empty when there is none.
std::string machineId() {
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::string id = firstLineOf(file).substr(0, 8);
        if (id.size() == 8 && id.find_first_not_of("0123456789abcdef") == std::string::npos)
            return id;
    }
    return {};
}

std::string namePrefix(const std::string& origin, const std::string& destination) {
    return kNamePrefix + origin + ">" + destination + " ";
}

// The process recorded in the part of a name after its prefix:
// "<pid>.<start>.<boot>.<machine> <serial> <host>", or without ".<machine>" (a name of an
// earlier version). Nothing when it does not read so.
std::optional<ProcessIdentity> ownerOf(const std::string& rest) {
    std::istringstream in(rest);
    std::string process, serial;
    if (!(in >> process >> serial)) return std::nullopt;
    std::string host;
    std::getline(in >> std::ws, host);
    host.erase(host.find_last_not_of(' ') + 1);  // CHAR padding, if any
    const auto dot1 = process.find('.');
    const auto dot2 = dot1 == std::string::npos ? dot1 : process.find('.', dot1 + 1);
    if (dot2 == std::string::npos || host.empty()) return std::nullopt;
    ProcessIdentity owner;
    try {
        owner.pid = std::stoll(process.substr(0, dot1));
        owner.start = std::stoull(process.substr(dot1 + 1, dot2 - dot1 - 1));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const auto dot3 = process.find('.', dot2 + 1);
    owner.boot = process.substr(dot2 + 1, dot3 == std::string::npos ? dot3 : dot3 - dot2 - 1);
    if (dot3 != std::string::npos) owner.machine = process.substr(dot3 + 1);
    owner.host = host;
    return owner;
}

std::string firstLine(const std::exception& e) {
    std::string text = e.what();
    if (text.rfind("SQL Server Error: ", 0) == 0) text.erase(0, 18);
    return text.substr(0, text.find_first_of("\r\n"));
}

// How many of the attachments `ids` the server still lists, read in a transaction of its
// own (the monitoring tables are read once per transaction).
int64_t stillListed(data::Connection& c, const std::string& ids) {
    data::Transaction tx(c);
    auto cursor =
        c.open("select count(*) from mon$attachments where mon$attachment_id in (" + ids + ")");
    const int64_t n = cursor->fetch() ? cursor->value(0).asInteger() : 0;
    cursor->close();
    tx.commit();
    return n;
}

}  // namespace

const char* const kLeftAttachmentWaits = "una conexion abandonada antes aun puede confirmar";

const ProcessIdentity& thisProcess() {
    static const ProcessIdentity self = [] {
#ifdef _WIN32
        const long long pid = _getpid();
#else
        const long long pid = ::getpid();
#endif
        ProcessIdentity p;
        p.pid = pid;
        p.start = startTicks(pid).value_or(0);
        p.boot = bootId();
        p.machine = machineId();
        p.host = QSysInfo::machineHostName().toStdString();
        if (p.host.empty()) p.host = "localhost";
        return p;
    }();
    return self;
}

std::optional<ProcessIdentity> runningProcess(long long pid) {
    const auto start = startTicks(pid);
    if (!start) return std::nullopt;
    ProcessIdentity p;
    p.pid = pid;
    p.start = *start;
    p.boot = thisProcess().boot;
    p.machine = thisProcess().machine;
    p.host = thisProcess().host;
    return p;
}

bool ofThisMachine(const ProcessIdentity& owner) {
    const ProcessIdentity& self = thisProcess();
    if (!owner.boot.empty() && owner.boot == self.boot) return true;
    if (!owner.machine.empty()) return owner.machine == self.machine;
    return owner.host == self.host;
}

bool mayStillRun(const ProcessIdentity& owner) {
    const ProcessIdentity& self = thisProcess();
    if (!ofThisMachine(owner)) return true;
    if (owner == self) return true;
    // Without /proc (another system) nothing can be told of a process by its pid.
    if (self.start == 0 || self.boot.empty()) return true;
    if (owner.boot != self.boot) return false;
    const auto start = startTicks(owner.pid);
    return start && *start == owner.start;
}

std::string destinationAttachmentName(const std::string& origin, const std::string& destination,
                                      const ProcessIdentity& owner) {
    // Destinations may be connected from several threads at once.
    static std::atomic<long long> serial{0};
    return namePrefix(origin, destination) + std::to_string(owner.pid) + "." +
           std::to_string(owner.start) + "." + owner.boot +
           (owner.machine.empty() ? std::string() : "." + owner.machine) + " " +
           std::to_string(++serial) + " " + owner.host;
}

LeftAttachments endLeftAttachments(data::Connection& c, const std::string& origin,
                                   const std::string& destination,
                                   const std::vector<std::string>& givenUp) {
    LeftAttachments result;
    const std::string prefix = namePrefix(origin, destination);
    std::string toEnd;  // attachment ids, comma-separated
    try {
        {
            data::Transaction tx(c);
            auto cursor = c.open(
                "select mon$attachment_id, mon$remote_process from mon$attachments where "
                "mon$remote_process starting with " +
                data::quoted(prefix) + " and mon$attachment_id <> current_connection");
            while (cursor->fetch()) {
                const std::string id = cursor->value(0).toText();
                std::string name = cursor->value(1).toText();
                name.erase(name.find_last_not_of(' ') + 1);
                const auto owner = ownerOf(name.substr(prefix.size()));
                const bool ours = owner && *owner == thisProcess();
                const bool end =
                    ours ? std::find(givenUp.begin(), givenUp.end(), name) != givenUp.end()
                         : owner && !mayStillRun(*owner);
                // This process's attachments in use are not in the way (each destination
                // is served by one of its threads at a time); another one that may still
                // run might commit: it remains.
                if (end) {
                    toEnd += (toEnd.empty() ? "" : ", ") + id;
                    ++result.ended;
                } else if (!ours) {
                    ++result.remaining;
                    if (result.why.empty())
                        result.why = "an attachment of a process that may still run: " + name;
                }
            }
            cursor->close();
            tx.commit();
        }
        if (toEnd.empty()) return result;
        const auto limit = c.stallLimit().count() > 0 ? c.stallLimit() : std::chrono::seconds(60);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        c.executeImmediate("delete from mon$attachments where mon$attachment_id in (" + toEnd +
                           ")");
        for (;;) {
            if (const int64_t listed = stillListed(c, toEnd); listed == 0) return result;
            if (std::chrono::steady_clock::now() >= deadline) {
                const int listed = static_cast<int>(stillListed(c, toEnd));
                result.ended -= listed;
                result.remaining += listed;
                if (result.why.empty()) result.why = "an ended attachment is still there";
                return result;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    } catch (const std::exception& e) {
        // Nothing is known to be gone: the list could not be read, or the attachments
        // could not be ended (no right to, a lost link).
        result.remaining += std::max(1, result.ended);
        result.ended = 0;
        result.why = firstLine(e);
        result.noRight = refusedForLackOfRight(e);
        return result;
    }
}

bool canEndAttachments(data::Connection& c, std::string* why) {
    try {
        // The right is checked when the statement is prepared; no row matches.
        c.executeImmediate("delete from mon$attachments where mon$attachment_id = 0");
        return true;
    } catch (const std::exception& e) {
        if (why) *why = firstLine(e);
        return false;
    }
}

}  // namespace enviozvr::sender

#include "core/staterecord.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include "core/localfiles.h"

namespace enviozvr::core {

namespace {

const char* const kHeader = "enviozvr-state 1";

// Changes of every origin's record, one at a time: each reads the record, changes one
// destination and replaces the file.
std::mutex& recordMutex() {
    static std::mutex m;
    return m;
}

std::string timeText(std::int64_t t) {
    if (t <= 0) return "-";
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODate).toStdString();
}

// 0 for "-" or a text that is no time.
std::int64_t timeValue(const std::string& text) {
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(text.c_str()), Qt::ISODate);
    return t.isValid() ? t.toSecsSinceEpoch() : 0;
}

// Control characters (a tab or a line end above all) would split the record's fields.
std::string oneField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += b < 0x20 || b == 0x7F ? ' ' : c;
    }
    return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// The record says when destinations were served and why not: nothing secret. A monitoring
// agent runs the check under its own account, and a record that the run's umask (0027
// for the service) kept from it would leave the check blind.
bool readableByAll(QSaveFile& file) {
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

}  // namespace

std::string stateRecordName(const std::string& origin) { return "enviozvr-" + origin + ".state"; }

std::string stateRecordPath(const std::string& origin) {
    try {
        return logFile(stateRecordName(origin));
    } catch (const std::exception&) {
        return {};  // the installation directory setting is unusable
    }
}

std::string stateRecordText(const StateRecord& record) {
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [destination, s] : record) {
        text += oneField(destination) + "\t" + timeText(s.lastAttempt) + "\t" +
                (s.reached ? "ok" : "failed") + "\t" + timeText(s.lastSuccess) + "\t" +
                (s.reached ? std::string() : oneField(s.reason)) +
                (s.reached ? std::string() : "\t" + timeText(s.reasonSince)) + "\n";
    }
    return text;
}

StateRecord parseStateRecord(const std::string& text) {
    StateRecord record;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line.rfind(kHeader, 0) != 0) return record;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> f = splitTabs(line);
        if (f.size() < 5 || f[0].empty() || (f[2] != "ok" && f[2] != "failed")) continue;
        DestinationState s;
        s.lastAttempt = timeValue(f[1]);
        s.reached = f[2] == "ok";
        s.lastSuccess = timeValue(f[3]);
        s.reason = f[4];
        if (f.size() > 5 && !s.reached) s.reasonSince = timeValue(f[5]);
        if (s.lastAttempt == 0) continue;
        record[f[0]] = s;
    }
    return record;
}

StateRecordReading readStateRecordFile(const std::string& origin) {
    StateRecordReading out;
    out.path = stateRecordPath(origin);
    if (out.path.empty()) return out;
    std::FILE* file = std::fopen(out.path.c_str(), "rb");
    if (!file) {
        // A record not written yet is no failure; any other reason (no right to the file
        // or to a folder on its path) leaves the check without the destinations' state.
        if (errno != ENOENT) out.problem = std::strerror(errno);
        return out;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        text.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(file)) out.problem = std::strerror(errno);
    std::fclose(file);
    if (out.problem.empty()) out.record = parseStateRecord(text);
    return out;
}

StateRecord readStateRecord(const std::string& origin) {
    return readStateRecordFile(origin).record;
}

std::string recordDestinationAttempt(const std::string& origin, const std::string& destination,
                                     bool reached, const std::string& reason, std::int64_t when) {
    const std::string path = stateRecordPath(origin);
    if (path.empty()) return "no installation directory";
    std::lock_guard lock(recordMutex());
    StateRecord record = readStateRecord(origin);
    DestinationState& s = record[destination];
    const std::string kept = oneField(reason);
    const bool sameReason = !reached && !s.reached && s.lastAttempt > 0 && s.reason == kept;
    if (reached)
        s.reasonSince = 0;
    else if (!sameReason || s.reasonSince == 0)
        s.reasonSince = sameReason ? s.lastAttempt : when;
    s.lastAttempt = when;
    s.reached = reached;
    s.reason = reached ? std::string() : kept;
    if (reached) s.lastSuccess = when;

    const std::string text = stateRecordText(record);
    QSaveFile file(QFile::decodeName(path.c_str()));
    const bool written = file.open(QIODevice::WriteOnly) && readableByAll(file) &&
                         file.write(text.data(), static_cast<qint64>(text.size())) ==
                             static_cast<qint64>(text.size()) &&
                         file.commit();
    if (written) return {};
    std::string problem = file.errorString().toStdString();
    if (problem.empty()) problem = "unknown error";
    // Said once per file and run: a record that cannot be kept fails every cycle alike.
    static std::set<std::string> told;
    if (told.insert(path).second)
        std::cerr << "enviozvr: the state record " << path << " cannot be written: " << problem
                  << std::endl;
    return problem;
}

std::string recordDestinationAttempt(const std::string& origin, const std::string& destination,
                                     bool reached, const std::string& reason) {
    return recordDestinationAttempt(origin, destination, reached, reason,
                                    QDateTime::currentSecsSinceEpoch());
}

}  // namespace enviozvr::core

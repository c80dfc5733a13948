#include "core/staterecord.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <fstream>
#include <iostream>
#include <iterator>
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

StateRecord readStateRecord(const std::string& origin) {
    const std::string path = stateRecordPath(origin);
    if (path.empty()) return {};
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return {};
        return parseStateRecord(
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    } catch (const std::exception&) {
        return {};  // a read error (a folder in its place, say): no record to go by
    }
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
    std::string problem;
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit())
        problem = file.errorString().toStdString();
    if (problem.empty()) return {};
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

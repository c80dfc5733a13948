#include "app/checkoutput.h"

#include <QFile>
#include <QSaveFile>

#include "app/consoletext.h"

namespace enviozvr::app {

const char* healthName(int health) {
    switch (health) {
        case kOk:
            return "OK";
        case kWarning:
            return "WARNING";
        case kCritical:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

core::Priority priorityOf(int health) {
    switch (health) {
        case kOk:
            return core::Priority::Info;
        case kWarning:
            return core::Priority::Warning;
        case kCritical:
            return core::Priority::Critical;
        default:
            return core::Priority::Error;
    }
}

std::string summaryLine(int health, const std::string& text, const std::string& perfdata) {
    std::string line = std::string("ENVIOZVR ") + healthName(health) + " - " + text;
    if (!perfdata.empty()) line += " | " + perfdata;
    return line;
}

std::string labelValue(const std::string& windows1252) {
    std::string out;
    for (const char c : encodingFromWindows1252(windows1252, "UTF-8")) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

std::string replaceFile(const std::string& name, const std::string& text, FileReaders readers) {
    QSaveFile file(QFile::decodeName(name.c_str()));
    // The textfile collector of prometheus-node-exporter reads the metrics under an
    // account of its own.
    const auto permitted = [&] {
        return readers == FileReaders::AsUmaskSays ||
               file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ReadGroup | QFileDevice::ReadOther);
    };
    if (file.open(QIODevice::WriteOnly) && permitted() &&
        file.write(text.data(), static_cast<qint64>(text.size())) ==
            static_cast<qint64>(text.size()) &&
        file.commit())
        return {};
    return file.errorString().toStdString();
}

}  // namespace enviozvr::app

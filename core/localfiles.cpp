#include "core/localfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

#ifndef _WIN32
#include <sys/stat.h>

#include <ctime>
#endif

#include "core/journal.h"
#include "core/messages.h"
#include "data/value.h"

namespace enviozvr::core {
namespace {

constexpr const char* kOrganization = "Orbalt";
constexpr const char* kCurrentProduct = "NivoraERP2016";
constexpr const char* kPreviousProduct = "NivoraERP2015";
constexpr const char* kValueName = "Directorio";
const std::string kMissingKeyMessage =
    "No se encontr\xF3 la Clave "
    "HKEY_LOCAL_MACHINE\\Software\\Orbalt\\NivoraERP2016\\Directorio";

#ifdef _WIN32
constexpr const char* kPathSeparator = "\\";

// HKEY_LOCAL_MACHINE\Software\Orbalt\<product>, read only, when the key exists.
std::unique_ptr<QSettings> openProductKey(const char* product) {
    QSettings organization(QSettings::NativeFormat, QSettings::SystemScope, kOrganization);
    if (!organization.childGroups().contains(QString::fromLatin1(product), Qt::CaseInsensitive))
        return nullptr;
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                       kOrganization, product);
}
#else
constexpr const char* kPathSeparator = "/";

// The XDG system config dirs in order of preference (/etc/xdg when none are set).
QStringList systemConfigDirs() {
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    QStringList dirs = QString::fromLocal8Bit(env ? env : "").split(u':', Qt::SkipEmptyParts);
    if (dirs.isEmpty()) dirs << QStringLiteral("/etc/xdg");
    return dirs;
}

// <config dir>/Orbalt/<product>.conf
QString productKeyFile(const QString& dir, const char* product) {
    return dir + u'/' + QString::fromLatin1(kOrganization) + u'/' + QString::fromLatin1(product) +
           QStringLiteral(".conf");
}

// The product's settings file in the first config dir that has one. A QSettings over a
// file that does not exist reads as empty, so the existence of the file is the existence
// of the key.
std::unique_ptr<QSettings> openProductKey(const char* product) {
    for (const QString& dir : systemConfigDirs()) {
        const QString file = productKeyFile(dir, product);
        if (QFileInfo(file).isFile())
            return std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    return nullptr;
}
#endif

#ifndef _WIN32
// The text of `key` as written in the [General] section (or before any section) of an
// INI file, after its "=" and without the blanks around it; empty when absent.
QString rawIniText(const QString& file, const QString& key) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    bool general = true;
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            general = line.compare(QStringLiteral("[General]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const auto eq = line.indexOf(u'=');
        if (general && eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
    }
    return {};
}
#endif

// Whether a log line of this run was lost, and the logs already said to be unwritable.
std::atomic<bool> logLineLostFlag{false};
std::mutex logWriteMutex;
std::set<std::string> unwritableLogsSaid;  // guarded by logWriteMutex

// Says on standard error that the log `path` cannot be written and why, the first time
// in the run for that file; later failures of the same file only count as lost lines.
// Called with logWriteMutex held.
void reportUnwritableLog(const std::string& path, const std::string& reason) {
    logLineLostFlag = true;
    if (!unwritableLogsSaid.insert(path).second) return;
    std::cerr << journalText(2, Priority::Error,
                             "enviozvr: no se puede escribir el log " + path + " (" + reason +
                                 "): sus lineas se pierden\n")
              << std::flush;
}

// Appends `line` to `path`, creating the file only when it does not exist (a log that
// exists is appended to even when it cannot be read). A line that cannot be written
// (open, write or close fails: no such folder, no right, a full disk) is lost and said
// on standard error (reportUnwritableLog). One writer at a time in the process:
// destinations served side by side log from several threads, and a line must reach the
// file whole.
void appendOrCreate(const std::string& path, const std::string& line) {
    std::lock_guard lock(logWriteMutex);
    errno = 0;
    std::FILE* out = std::fopen(path.c_str(), "ab");
    if (!out) {
        reportUnwritableLog(path, std::strerror(errno));
        return;
    }
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), out) == line.size();
    int error = written ? 0 : errno;
    // The data reaches the file when the buffer is flushed: a full disk shows here.
    if (std::fclose(out) != 0 && error == 0) error = errno;
    if (!written || error != 0) reportUnwritableLog(path, std::strerror(error ? error : EIO));
}

// The folder given for the logs (setLogDirectory); empty for the installation directory.
std::mutex logDirectoryMutex;
std::string chosenLogDirectory;  // guarded by logDirectoryMutex

std::atomic<bool>& missingKeyShown() {
    static std::atomic<bool> shown{false};
    return shown;
}

std::string readDirectory(bool tellUser) {
    std::unique_ptr<QSettings> key = openProductKey(kCurrentProduct);
    if (!key) key = openProductKey(kPreviousProduct);
    if (!key) {
        // Told once per run: a workstation without the setting would otherwise get a box
        // for every log line.
        if (tellUser && !missingKeyShown().exchange(true)) showUserMessage(kMissingKeyMessage);
        return {};
    }
    const QString name = QString::fromLatin1(kValueName);
    if (!key->contains(name)) return {};
    const QVariant value = key->value(name);
#ifndef _WIN32
    // The INI reader splits a value at its commas; a folder name may hold commas, so such
    // a value is taken as written.
    if (value.metaType().id() == QMetaType::QStringList)
        return rawIniText(key->fileName(), name).toLocal8Bit().toStdString();
#endif
    if (value.metaType().id() != QMetaType::QString)
        throw std::runtime_error(std::string("Invalid data type for '") + kValueName + "'");
    return value.toString().toLocal8Bit().toStdString();
}

// Seconds the clock of lookUpDirectory runs ahead of the real one (setSettingsClockAhead).
std::atomic<long> settingsClockAhead{0};

#ifdef _WIN32
std::string lookUpDirectory(bool tellUser) { return readDirectory(tellUser); }
#else
// The candidate settings files of the key, in the order openProductKey tries them.
std::vector<std::string> productKeyFiles() {
    std::vector<std::string> files;
    for (const char* product : {kCurrentProduct, kPreviousProduct})
        for (const QString& dir : systemConfigDirs())
            files.push_back(productKeyFile(dir, product).toLocal8Bit().toStdString());
    return files;
}

// What identifies one version of a settings file.
struct FileVersion {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};

    bool operator==(const FileVersion& o) const {
        return path == o.path && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

// Every log line asks for the directory, and parsing the settings file each time costs
// more than writing the line. The answer is kept with the version of the file it came
// from and reused while that file is still the one chosen and unchanged. A file changed
// in the last two seconds is read again each time, since a change within the clock tick
// of the file's times would not show in them. No file, or no value, always goes the full
// way, so the missing-key notice is unaffected.
std::string lookUpDirectory(bool tellUser) {
    static std::mutex mutex;
    static std::string cachedEnvironment;
    static std::vector<std::string> candidates;
    static FileVersion cachedVersion;
    static std::string cachedDirectory;

    std::unique_lock<std::mutex> lock(mutex);
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    const std::string environment = env ? std::string("=") + env : std::string();
    if (candidates.empty() || environment != cachedEnvironment) {
        candidates = productKeyFiles();
        cachedEnvironment = environment;
        cachedVersion = {};
    }
    FileVersion version;
    for (const std::string& file : candidates) {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        version = {file, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
        break;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    now.tv_sec += settingsClockAhead.load();
    const bool settled = !version.path.empty() && now.tv_sec - version.changed.tv_sec > 2 &&
                         now.tv_sec - version.modified.tv_sec > 2;
    if (settled && version == cachedVersion) return cachedDirectory;
    lock.unlock();

    std::string directory = readDirectory(tellUser);

    lock.lock();
    if (settled && !directory.empty()) {
        cachedVersion = version;
        cachedDirectory = directory;
    } else {
        cachedVersion = {};
    }
    return directory;
}
#endif

// The settings files behind the missing-key message, for an administrator: the one that
// was found without the value, or every file that was looked for.
std::string settingsFilesLookedFor() {
#ifdef _WIN32
    return {};
#else
    std::vector<std::string> files = productKeyFiles();
    std::string found;
    for (const std::string& f : files)
        if (found.empty() && QFileInfo(QString::fromLocal8Bit(f.c_str())).isFile()) found = f;
    if (!found.empty()) return " (archivo " + found + ")";
    std::string list;
    for (const std::string& f : files) list += (list.empty() ? "" : ", ") + f;
    return " (archivos buscados: " + list + ")";
#endif
}

}  // namespace

std::string diraplicacion() { return lookUpDirectory(true); }

std::string installationDirectoryProblem() {
    try {
        if (lookUpDirectory(false).empty()) return kMissingKeyMessage + settingsFilesLookedFor();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

void forgetMissingKeyNotice() { missingKeyShown() = false; }

void setSettingsClockAhead(std::chrono::seconds ahead) {
    settingsClockAhead = static_cast<long>(ahead.count());
}

std::string applicationFile(const std::string& name) {
    const std::string directory = diraplicacion();
    // Without an installation directory there is no file: nothing is read from or
    // written at the filesystem root.
    if (directory.empty()) return {};
    return directory + kPathSeparator + name;
}

std::vector<std::string> readServerList(const std::string& path) {
    std::vector<std::string> entries;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return entries;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    std::string entry;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            entries.push_back(std::move(entry));
            entry.clear();
            // A CR followed by LF is one line end; a lone CR keeps the next byte.
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            entry.push_back(c);
        }
    }
    if (!entry.empty()) entries.push_back(std::move(entry));
    return entries;
}

std::vector<std::string> leerServidores() {
    const std::string path = applicationFile("SERVIDORES.cfg");
    if (path.empty()) return {};
    return readServerList(path);
}

void setLogDirectory(const std::string& directory) {
    std::lock_guard lock(logDirectoryMutex);
    chosenLogDirectory = directory;
}

std::string logDirectory() {
    {
        std::lock_guard lock(logDirectoryMutex);
        if (!chosenLogDirectory.empty()) return chosenLogDirectory;
    }
    return diraplicacion();
}

bool logDirectoryChosen() {
    std::lock_guard lock(logDirectoryMutex);
    return !chosenLogDirectory.empty();
}

std::string logFile(const std::string& name) {
    const std::string directory = logDirectory();
    if (directory.empty()) return {};
    return directory + kPathSeparator + name;
}

bool logLineLost() { return logLineLostFlag; }

void forgetLostLogLines() {
    std::lock_guard lock(logWriteMutex);
    logLineLostFlag = false;
    unwritableLogsSaid.clear();
}

void appendLogLine(const std::string& fileName, const std::vector<std::string>& fields) {
    const std::string path = logFile(fileName);
    if (path.empty()) return;
    std::string line = data::shortDateText(data::today());
    line += ',';
    line += data::longTimeText(data::timeNow());
    for (const std::string& field : fields) {
        line += ',';
        // A control character inside a field (a line break above all) would let the field
        // forge a line of its own: it is written as a blank.
        for (const char c : field) {
            const auto b = static_cast<unsigned char>(c);
            line += b < 0x20 || b == 0x7F ? ' ' : c;
        }
    }
    line += "\r\n";
    appendOrCreate(path, line);
}

void archivo_auditoria(const std::string& id, const std::string& tipo,
                       const std::string& documento) {
    appendLogLine("ENVIO.TXT", {id, tipo, documento});
}

void logConnectionFailure(const std::string& databasePath, const std::string& reason) {
    std::vector<std::string> fields{"No se pudo conectar con el servidor " + databasePath};
    if (!reason.empty()) fields.push_back(reason);
    appendLogLine("errorenvio.txt", fields);
}

void logUnhandledError(const std::string& user, const std::string& message) {
    appendLogLine("ERRORES.TXT", {user, message});
}

}  // namespace enviozvr::core

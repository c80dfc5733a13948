#include "core/localfiles.h"

#include <QFileInfo>
#include <QMetaType>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "core/messages.h"
#include "data/value.h"

namespace enviozvr::core {
namespace {

constexpr const char* kOrganization = "Orbalt";
constexpr const char* kCurrentProduct = "NivoraERP2016";
constexpr const char* kPreviousProduct = "NivoraERP2015";
constexpr const char* kValueName = "Directorio";

#ifdef _WIN32
constexpr const char* kPathSeparator = "\\";

// HKEY_LOCAL_MACHINE\Software\Orbalt\<product>, read only, when the key exists.
std::unique_ptr<QSettings> openProductKey(const char* product)
{
    QSettings organization(QSettings::NativeFormat, QSettings::SystemScope, kOrganization);
    if (!organization.childGroups().contains(QString::fromLatin1(product), Qt::CaseInsensitive))
        return nullptr;
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                       kOrganization, product);
}
#else
constexpr const char* kPathSeparator = "/";

// The XDG system config dirs in order of preference (/etc/xdg when none are set).
QStringList systemConfigDirs()
{
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    QStringList dirs = QString::fromLocal8Bit(env ? env : "").split(u':', Qt::SkipEmptyParts);
    if (dirs.isEmpty()) dirs << QStringLiteral("/etc/xdg");
    return dirs;
}

// <config dir>/Orbalt/<product>.conf, the first that exists. A QSettings over a file
// that does not exist reads as empty, so the existence of the file is the existence of
// the key.
std::unique_ptr<QSettings> openProductKey(const char* product)
{
    const QString relative = QStringLiteral("%1/%2.conf")
                                 .arg(QString::fromLatin1(kOrganization),
                                      QString::fromLatin1(product));
    for (const QString& dir : systemConfigDirs()) {
        const QString file = dir + u'/' + relative;
        if (QFileInfo(file).isFile())
            return std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    return nullptr;
}
#endif

// Appends `line` to `path`, creating the file when it cannot be read. Failures are
// ignored: a log line that cannot be written is lost.
void appendOrCreate(const std::string& path, const std::string& line)
{
    bool readable = false;
    {
        std::ifstream probe(path, std::ios::binary);
        readable = probe.is_open();
    }
    std::ofstream out(path, std::ios::binary | (readable ? std::ios::app : std::ios::trunc));
    if (!out.is_open()) return;
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.close();
}

}  // namespace

std::string diraplicacion()
{
    std::unique_ptr<QSettings> key = openProductKey(kCurrentProduct);
    if (!key) key = openProductKey(kPreviousProduct);
    if (!key) {
        showUserMessage(
            "No se encontr\xF3 la Clave "
            "HKEY_LOCAL_MACHINE\\Software\\Orbalt\\NivoraERP2016\\Directorio");
        return {};
    }
    const QString name = QString::fromLatin1(kValueName);
    if (!key->contains(name)) return {};
    const QVariant value = key->value(name);
    if (value.metaType().id() != QMetaType::QString)
        throw std::runtime_error(std::string("Invalid data type for '") + kValueName + "'");
    return value.toString().toLocal8Bit().toStdString();
}

std::string applicationFile(const std::string& name)
{
    return diraplicacion() + kPathSeparator + name;
}

std::vector<std::string> readServerList(const std::string& path)
{
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

std::vector<std::string> leerServidores()
{
    return readServerList(applicationFile("SERVIDORES.cfg"));
}

void appendLogLine(const std::string& fileName, const std::vector<std::string>& fields)
{
    const std::string path = applicationFile(fileName);
    std::string line = data::shortDateText(data::today());
    line += ',';
    line += data::longTimeText(data::timeNow());
    for (const std::string& field : fields) {
        line += ',';
        line += field;
    }
    line += "\r\n";
    appendOrCreate(path, line);
}

void archivo_auditoria(const std::string& id, const std::string& tipo,
                       const std::string& documento)
{
    appendLogLine("ENVIO.TXT", {id, tipo, documento});
}

void logConnectionFailure(const std::string& databasePath)
{
    appendLogLine("errorenvio.txt", {"No se pudo conectar con el servidor " + databasePath});
}

void logUnhandledError(const std::string& user, const std::string& message)
{
    appendLogLine("ERRORES.TXT", {user, message});
}

}  // namespace enviozvr::core

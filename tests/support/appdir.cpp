#include "support/appdir.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace enviozvr::testing {

InstallDir::InstallDir(Key key, bool withValue) {
    if (!installRoot_.isValid() || !configRoot_.isValid())
        throw std::runtime_error("InstallDir: cannot create temporary folders");
    QFile::setPermissions(installRoot_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                   QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                                   QFileDevice::ReadOther |
                                                   QFileDevice::WriteOther | QFileDevice::ExeOther);
    path_ = installRoot_.path().toStdString();
    configDir_ = configRoot_.path().toStdString();

    if (const char* old = std::getenv("XDG_CONFIG_DIRS")) savedXdgConfigDirs_ = old;
    ::setenv("XDG_CONFIG_DIRS", configDir_.c_str(), 1);

    if (key != Key::None) {
        QDir(configRoot_.path()).mkpath(QStringLiteral("Orbalt"));
        QSettings settings(QString::fromStdString(settingsFile(key)), QSettings::IniFormat);
        if (withValue) settings.setValue("Directorio", QString::fromStdString(path_));
        // Without the value the file must still exist: it is what makes the key exist.
        settings.setValue("Version", QStringLiteral("test"));
        settings.sync();
    }
}

InstallDir::~InstallDir() {
    if (savedXdgConfigDirs_) {
        ::setenv("XDG_CONFIG_DIRS", savedXdgConfigDirs_->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_DIRS");
    }
}

std::string InstallDir::file(const std::string& name) const { return path_ + "/" + name; }

std::string InstallDir::settingsFile(Key key) const {
    return configDir_ + "/Orbalt/" +
           (key == Key::Nivora2015 ? "NivoraERP2015.conf" : "NivoraERP2016.conf");
}

void InstallDir::writeSettings(Key key, const std::string& contents) const {
    QDir(configRoot_.path()).mkpath(QStringLiteral("Orbalt"));
    std::ofstream out(settingsFile(key), std::ios::binary | std::ios::trunc);
    out << contents;
}

void InstallDir::writeFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> InstallDir::readFile(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> InstallDir::logLines(const std::string& name) const {
    std::vector<std::string> lines;
    const auto bytes = readFile(name);
    if (!bytes) return lines;
    std::string::size_type start = 0, end;
    while ((end = bytes->find("\r\n", start)) != std::string::npos) {
        lines.push_back(bytes->substr(start, end - start));
        start = end + 2;
    }
    if (start != bytes->size()) lines.push_back("<no CR LF>" + bytes->substr(start));
    return lines;
}

}  // namespace enviozvr::testing

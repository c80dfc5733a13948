// InstallDir: a throwaway installation directory for tests of the local files.
//
// Creates a fresh folder (world-writable, so the local Firebird server may use it too)
// and a fresh system config folder holding Orbalt/NivoraERP2016.conf (or ...2015.conf)
// whose value Directorio names that folder, and points XDG_CONFIG_DIRS at the config
// folder for the fixture's life; the destructor restores XDG_CONFIG_DIRS and removes both
// folders. Several InstallDirs must be nested (the last made is the one in effect);
// not thread-safe (it changes the environment).
#pragma once

#include <QTemporaryDir>
#include <optional>
#include <string>
#include <vector>

namespace enviozvr::testing {

class InstallDir {
  public:
    enum class Key { Nivora2016, Nivora2015, None };

    // `key`: which settings file to write (None: no file, so no key at all).
    // `withValue`: whether the file holds the value Directorio.
    explicit InstallDir(Key key = Key::Nivora2016, bool withValue = true);
    ~InstallDir();
    InstallDir(const InstallDir&) = delete;
    InstallDir& operator=(const InstallDir&) = delete;

    // The installation folder, as diraplicacion returns it.
    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string file(const std::string& name) const;
    // The folder XDG_CONFIG_DIRS points at.
    const std::string& configDir() const { return configDir_; }
    // Full path of Orbalt/<product>.conf in the config folder.
    std::string settingsFile(Key key) const;
    // Replaces the settings file of `key` with `contents` as written.
    void writeSettings(Key key, const std::string& contents) const;

    // Writes `bytes` to the file `name` of the installation folder (replacing it).
    void writeFile(const std::string& name, const std::string& bytes) const;
    // The bytes of the file `name` of the installation folder; nullopt when missing.
    std::optional<std::string> readFile(const std::string& name) const;
    // The lines of a log in the directory without their CR LF; a last piece without a
    // CR LF comes back as "<no CR LF>" followed by it, so tests see it.
    std::vector<std::string> logLines(const std::string& name) const;

  private:
    QTemporaryDir installRoot_;
    QTemporaryDir configRoot_;
    std::string path_;
    std::string configDir_;
    std::optional<std::string> savedXdgConfigDirs_;
};

}  // namespace enviozvr::testing

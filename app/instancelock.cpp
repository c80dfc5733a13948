#include "app/instancelock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/localfiles.h"
#include "data/sqltext.h"
#include "data/value.h"

namespace enviozvr::app {

// ---------------------------------------------------------------------------------------
// FileLock

FileLock::~FileLock() { release(); }

#ifdef _WIN32
bool FileLock::tryLock(const std::string& path) {
    release();
    openError_.clear();
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        openError_ = "error " + std::to_string(::GetLastError());
        return false;
    }
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        ::CloseHandle(h);
        return false;
    }
    handle_ = h;
    return true;
}

void FileLock::release() {
    if (!handle_) return;
    ::CloseHandle(static_cast<HANDLE>(handle_));  // closing the handle drops the lock
    handle_ = nullptr;
}

bool FileLock::held() const { return handle_ != nullptr; }
#else
bool FileLock::tryLock(const std::string& path) {
    release();
    openError_.clear();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        openError_ = std::strerror(errno);
        return false;
    }
    // A file left by an earlier version (or created under another umask) is made the
    // owner's only as well; a file of another user keeps its mode (not ours to change).
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        (void)::fchmod(fd, 0600);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FileLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the only descriptor drops the lock
    fd_ = -1;
}

bool FileLock::held() const { return fd_ >= 0; }
#endif

// ---------------------------------------------------------------------------------------
// InstanceLock

namespace {

// The oldest lock attachment on the database, and this attachment's own id.
std::string lockHoldersQuery() {
    return "SELECT MIN(MON$ATTACHMENT_ID), CURRENT_CONNECTION FROM MON$ATTACHMENTS "
           "WHERE MON$REMOTE_PROCESS = " +
           data::quoted(kLockProcessName);
}

}  // namespace

InstanceLock::InstanceLock(std::string company, const data::Connection& origin)
    : company_(std::move(company)), origin_(origin) {}

InstanceLock::~InstanceLock() {
    try {
        release();
    } catch (...) {
        // A destructor may not throw: a marker attachment that cannot be ended cleanly
        // (its server gone) ends with the process, and the lock file is closed anyway.
    }
}

std::string InstanceLock::lockFilePath() const { return lockFilePathFor(company_); }

std::string InstanceLock::lockFilePathFor(const std::string& company) {
    std::string name = company;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '-' && c != '_') c = '_';
    }
    return core::logFile("enviozvr-" + name + ".lock");
}

InstanceLock::Result InstanceLock::tryAcquire() {
    release();
    if (!file_.tryLock(lockFilePath()))
        return file_.openError().empty() ? Result::HeldHere : Result::DirectoryUnusable;
    try {
        marker_ = data::Connection::company("DbInstancia");
        marker_->setDatabase(origin_.database());
        marker_->setParam("User_Name", origin_.param("User_Name"));
        marker_->setParam("password", origin_.param("Password"));
        marker_->setParam("ProcessName", kLockProcessName);
        // Under the origin connection's limits: a silent origin holds nothing up for good.
        marker_->setTimeouts(origin_.connectTimeout(), origin_.stallLimit());
        marker_->connect();
        auto cursor = marker_->open(lockHoldersQuery());
        bool oldest = true;
        if (cursor->fetch()) {
            const data::Value first = cursor->value(0);
            const data::Value own = cursor->value(1);
            oldest = first.isNull() || first.asInteger() == own.asInteger();
        }
        cursor->close();
        if (oldest) return Result::Acquired;
    } catch (...) {
        release();
        throw;
    }
    release();
    return Result::HeldElsewhere;
}

std::string InstanceLock::directoryProblem(const std::string& company) {
    const std::string path = lockFilePathFor(company);
    FileLock probe;
    if (probe.tryLock(path) || probe.openError().empty()) return {};
    return unusableDirectoryMessage(path, probe.openError());
}

std::string InstanceLock::unusableDirectoryMessage(const std::string& path,
                                                   const std::string& reason) {
    return std::string(core::logDirectoryChosen()
                           ? "no se puede usar el directorio de logs "
                           : "no se puede usar el directorio de instalacion ") +
           std::filesystem::path(path).parent_path().string() +
           ": no se pudo crear el archivo de bloqueo " + path + " (" + reason + ")";
}

std::string InstanceLock::busyMessage(Result held) const {
    if (held == Result::DirectoryUnusable)
        return unusableDirectoryMessage(lockFilePath(), file_.openError());
    if (held == Result::HeldHere)
        return "otra instancia ya envia la compania " + company_ + " en este equipo (" +
               lockFilePath() + ")";
    return "otra instancia ya envia la compania " + company_ + " desde otra conexion a " +
           origin_.database();
}

void InstanceLock::release() {
    if (marker_) {
        std::unique_ptr<data::Connection> marker = std::move(marker_);
        marker->disconnect();
    }
    file_.release();
}

}  // namespace enviozvr::app

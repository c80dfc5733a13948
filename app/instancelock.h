// One instance per origin company: the lock a headless run holds for each send cycle.
//
// Two layers, both released by the operating system or the server when the process dies:
// - on this machine, an exclusive flock on a lock file in the installation directory,
//   beside the logs ("enviozvr-<company>.lock");
// - across machines, an attachment to the origin company database that carries the name
//   kLockProcessName (MON$REMOTE_PROCESS). Of all such attachments the server lists in
//   MON$ATTACHMENTS, the oldest (lowest MON$ATTACHMENT_ID) holds the lock; a later one
//   sees the earlier and gives way. Attachment ids grow, and each instance looks only
//   after its own attachment exists, so two instances never both hold it. It needs no
//   change of the schema. A user other than SYSDBA or the database owner sees only its
//   own attachments in MON$ATTACHMENTS, so instances that log in as different such users
//   do not see each other there (the file lock still holds on one machine).
//
// Not thread-safe; one InstanceLock per run.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"

namespace enviozvr::app {

inline constexpr const char* kLockProcessName = "enviozvr (one instance per origin company)";

// An exclusive lock on a file, held until release() or destruction (or the process's end).
class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the file when missing, readable and writable by its owner only (whatever
    // the umask: another local user could otherwise hold the lock and stop the sending),
    // and takes the lock without waiting. False when another
    // process (or another FileLock of this one) holds it, or the file cannot be opened; in
    // the second case openError() says why.
    bool tryLock(const std::string& path);
    void release();
    bool held() const;
    // Why the last tryLock could not open or create the file ("" when it could).
    const std::string& openError() const { return openError_; }

  private:
    std::string openError_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

class InstanceLock {
  public:
    // DirectoryUnusable: the lock file cannot be created or opened in the installation
    // directory (missing, not writable, no free inodes): nothing to do with another
    // instance.
    enum class Result { Acquired, HeldHere, HeldElsewhere, DirectoryUnusable };

    // `company`: the origin company code; `origin`: the origin company connection, whose
    // location, user and password the database lock attaches with.
    InstanceLock(std::string company, const data::Connection& origin);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes both locks without waiting. HeldHere: another process of this machine holds
    // the file lock; HeldElsewhere: another instance holds the database lock. A failure
    // to attach to the origin database is thrown (data::DatabaseError), with nothing held.
    Result tryAcquire();
    void release();

    // What a second instance says when the lock is held (not Acquired), or what is wrong
    // with the directory (its path and the reason).
    std::string busyMessage(Result held) const;

    // What is wrong with the installation directory for `company`'s lock file (the
    // message of busyMessage(DirectoryUnusable)), "" when the file can be opened or
    // created there. Takes no lock.
    static std::string directoryProblem(const std::string& company);

    // The lock file: the installation directory's "enviozvr-<company>.lock" (characters
    // other than letters, digits, '-' and '_' in the code written as '_').
    std::string lockFilePath() const;

  private:
    static std::string lockFilePathFor(const std::string& company);
    static std::string unusableDirectoryMessage(const std::string& path, const std::string& reason);

    std::string company_;
    const data::Connection& origin_;
    FileLock file_;
    std::unique_ptr<data::Connection> marker_;
};

}  // namespace enviozvr::app

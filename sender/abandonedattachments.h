// The destination attachments this process gave up in the middle of an event, by
// destination database location, each by the name it attached with (MON$REMOTE_PROCESS):
// a commit of theirs may still be on its way, so the destination is not sent to again
// until they are gone (sender/attachmentguard.h ends them).
//
// One registry serves every thread that sends for the process: a MainData refers to it,
// and the workers of a parallel cycle share the caller's (sender/parallelcycle.h). Every
// call may come from any thread; each holds the registry's own lock for its duration
// only, so no call waits on a database. Each destination is served by one thread at a
// time, which alone gives up or clears the entry of its location; nothing throws but
// std::bad_alloc.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace enviozvr::sender {

class AbandonedAttachments {
  public:
    AbandonedAttachments() = default;
    AbandonedAttachments(const AbandonedAttachments&) = delete;
    AbandonedAttachments& operator=(const AbandonedAttachments&) = delete;

    // The name of the attachment given up at `location`, if any.
    std::optional<std::string> find(const std::string& location) const;
    // Records `name` as given up at `location`, in place of one given up there before.
    void giveUp(const std::string& location, const std::string& name);
    // The attachment `name` at `location` is gone: forgets it, unless another attachment
    // has been given up there since.
    void gone(const std::string& location, const std::string& name);

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> names_;
};

}  // namespace enviozvr::sender

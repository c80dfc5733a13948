// The floor of the send-cycle benchmarks: per event, the statements the send cycle issues,
// straight through the Firebird client's object API with nothing else around them, each
// in a read-committed transaction of its own (the replace's delete and insert in one).
#pragma once

#include <firebird/Interface.h>

#include <string>
#include <vector>

namespace enviozvr::bench {

struct Raw {
    Firebird::IMaster* master = Firebird::fb_get_master_interface();
    Firebird::IProvider* provider = master->getDispatcher();
    Firebird::ThrowStatusWrapper st{master->getStatus()};
    Raw() = default;
    ~Raw();
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    Firebird::IAttachment* attach(const std::string& location, const std::string& user,
                                  const std::string& password);
    Firebird::ITransaction* begin(Firebird::IAttachment* a);
};

struct EventRow {
    int id;
    std::string pref, numero;
};

enum class FloorKind {
    Copy,         // origin read, destination lookup (no row), insert, mark sent
    Replace,      // origin read, lookup (a row), delete + lookup + insert at once, mark sent
    Delete,       // destination lookup (a row), delete, mark sent
    RefusedCopy,  // origin read, lookup, refused insert, the error text kept on the event
};

// Sends `events` of one kind from `origin` to `dest`; with `withLog`, writes the ENVIO.TXT
// line of each event first.
void runFloor(Raw& r, Firebird::IAttachment* origin, Firebird::IAttachment* dest,
              const std::vector<EventRow>& events, bool withLog, FloorKind kind = FloorKind::Copy);

}  // namespace enviozvr::bench

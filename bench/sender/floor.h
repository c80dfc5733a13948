// The floor of the send-cycle benchmarks: per event, the statements and commits the send
// cycle issues, straight through the Firebird client's object API with nothing else around
// them and with the fewest round trips that API allows. Each statement is prepared once
// per run and executed with an input message; a select reads its row in the same request
// (a text blob inline, as its bytes); the statements that commit at once run in one
// transaction per side that commits each of them as it succeeds (isc_tpb_autocommit), the
// reads in one read-only read-committed transaction per side, and a replace's delete,
// lookup and insert in one transaction of their own, committed.
//
// Round trips per event, origin and destination: copy 2 and 2 (origin read, mark sent;
// lookup, insert), replace 2 and 6 (lookup; start, delete, lookup, insert, commit), delete
// 1 and 1 (mark sent; delete), refused copy 2 and 2 (origin read, error stored; lookup,
// refused insert).
#pragma once

#include <firebird/Interface.h>

#include <memory>
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
};

struct EventRow {
    int id;
    std::string pref, numero;
};

enum class FloorKind {
    Copy,         // origin read, destination lookup (no row), insert, mark sent
    Replace,      // origin read, lookup (a row), delete + lookup + insert at once, mark sent
    Delete,       // destination delete, mark sent
    RefusedCopy,  // origin read, lookup, refused insert, the error text kept on the event
};

// The statements prepared and the transactions started at both sides: what the send
// cycle holds for a batch. finish() commits the transactions and frees the statements.
class Floor {
  public:
    Floor(Raw& r, Firebird::IAttachment* origin, Firebird::IAttachment* dest);
    ~Floor();
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    // Sends `events` of one kind; with `withLog`, writes the ENVIO.TXT line of each event
    // first.
    void send(const std::vector<EventRow>& events, bool withLog, FloorKind kind);
    void finish();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One batch: a Floor made, `events` sent and finished.
void runFloor(Raw& r, Firebird::IAttachment* origin, Firebird::IAttachment* dest,
              const std::vector<EventRow>& events, bool withLog, FloorKind kind = FloorKind::Copy);

}  // namespace enviozvr::bench

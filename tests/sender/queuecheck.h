// Compares a destination's FACTURAS_ZVR with what the origin's queue implies for it, for
// tests that break a send cycle somewhere and look at what it left behind.
//
// The invoice events queued for one destination, in the order it is sent (registered date, time,
// id): events marked sent must be a prefix of it (nothing sent past one left pending); every
// document must be at the destination at most once; a document whose events are all sent
// must be there exactly when its last event is a copy, with the origin's row as it is
// (nothing lost, nothing stale, nothing marked sent without its effect). A document with an
// event still pending may be either way: a transfer given up in the middle may or may not
// have committed, and the next cycle sends it again.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "senderworld.h"

namespace enviozvr::sendertest {

// What is wrong with destination `code`, one text per fault; empty when nothing is.
// `allSent`: every event of the destination must be sent by now.
inline std::vector<std::string> queueFaults(SenderWorld& w, const std::string& code, bool allSent) {
    std::vector<std::string> faults;
    TestDatabase& dest = *w.destinations.at(code);
    const auto events = w.origin->query(
        "SELECT RPEV_ID, RPEV_PREF, RPEV_NUMERO, RPEV_OPER, RPEV_FECREP FROM REPLICA_EVENTOS "
        "WHERE RPEV_COMPANIA = " +
        data::quoted(code) + " AND RPEV_TIPO = " + std::to_string(sender::kInvoiceType) +
        " ORDER BY RPEV_FECREG, RPEV_HORAREG, RPEV_ID");
    struct Document {
        bool pending = false;
        bool present = false;  // as the sent events leave it
    };
    std::map<std::pair<std::string, std::string>, Document> documents;
    bool pendingSeen = false;
    for (const auto& e : events) {
        const std::string id = e[0].toText();
        const bool sent = !e[4].isNull();
        Document& d = documents[{e[1].toText(), e[2].toText()}];
        if (!sent) {
            pendingSeen = true;
            d.pending = true;
            if (allSent) faults.push_back(code + ": event " + id + " still pending");
            continue;
        }
        if (pendingSeen) faults.push_back(code + ": event " + id + " sent after a pending one");
        if (!d.pending) d.present = e[3].toText() != "D";
    }
    for (const auto& [key, d] : documents) {
        const std::string name = code + ": " + key.first + key.second;
        const auto rows = SenderWorld::invoiceRows(dest, key.first, key.second);
        if (rows.size() > 1) faults.push_back(name + " duplicated");
        if (d.pending) continue;
        if (d.present && rows.empty()) faults.push_back(name + " lost");
        if (!d.present && !rows.empty()) faults.push_back(name + " deleted but still there");
        if (d.present && rows.size() == 1 &&
            rows[0] != SenderWorld::invoiceRows(*w.origin, key.first, key.second).at(0))
            faults.push_back(name + " stale");
    }
    return faults;
}

// Queues for destination `code` events `firstId`.. on invoices FV<base+1>..FV<base+3>:
// copy 1, copy 2, delete 1, copy 3, copy 1, delete 2 (in that order: sent in another
// order they leave another result). Adds the origin rows. Returns the next free id.
inline int queueMixedEvents(SenderWorld& w, const std::string& code, int firstId, int base) {
    const auto number = [&](int n) { return std::to_string(base + n); };
    for (int n = 1; n <= 3; ++n) w.origin->exec(invoiceValues("FV", number(n), n));
    const std::pair<int, const char*> steps[] = {{1, "I"}, {2, "I"}, {1, "D"},
                                                 {3, "I"}, {1, "I"}, {2, "D"}};
    int id = firstId;
    for (const auto& [n, oper] : steps) {
        const int second = id % 60;
        w.addEvent({.id = id,
                    .company = code,
                    .numero = number(n),
                    .oper = oper,
                    .registeredAt = "08:" + std::string(id / 60 % 60 < 10 ? "0" : "") +
                                    std::to_string(id / 60 % 60) + ":" + (second < 10 ? "0" : "") +
                                    std::to_string(second)});
        ++id;
    }
    return id;
}

}  // namespace enviozvr::sendertest

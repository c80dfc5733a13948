// Helpers shared by the app tests: capturing user messages and the date,time stamp of
// log lines.
#pragma once

#include <string>
#include <vector>

#include "core/messages.h"
#include "data/value.h"

namespace enviozvr::coretest {

// Collects every showUserMessage text while it lives; restores the default afterwards.
class MessageCapture {
  public:
    MessageCapture() {
        core::setUserMessageHandler([this](const std::string& text) { messages.push_back(text); });
    }
    ~MessageCapture() { core::setUserMessageHandler({}); }
    std::vector<std::string> messages;
};

// "date,time" as a log line starts now.
inline std::string stampNow() {
    return data::shortDateText(data::today()) + "," + data::longTimeText(data::timeNow());
}

// The stamps taken just before and just after a line was written; the line carries one
// of them (two only when the clock ticked in between).
struct StampWindow {
    std::string before = stampNow();
    std::string after;
    void close() { after = stampNow(); }
    bool matches(const std::string& line, const std::string& rest) const {
        return line == before + rest || line == after + rest;
    }
};

}  // namespace enviozvr::coretest

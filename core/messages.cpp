#include "core/messages.h"

#include <iostream>
#include <utility>

namespace enviozvr::core {
namespace {

void writeToStandardError(const std::string& text) { std::cerr << text << '\n' << std::flush; }

std::function<void(const std::string&)>& currentHandler() {
    static std::function<void(const std::string&)> handler = writeToStandardError;
    return handler;
}

}  // namespace

void showUserMessage(const std::string& text) {
    // Copy first: a handler may install another handler while it runs.
    const auto handler = currentHandler();
    handler(text);
}

void setUserMessageHandler(std::function<void(const std::string&)> handler) {
    currentHandler() = handler ? std::move(handler) : writeToStandardError;
}

}  // namespace enviozvr::core

#include "core/unhandled.h"

#include <iostream>
#include <stdexcept>

#include "core/localfiles.h"
#include "data/errors.h"

namespace enviozvr::core {
namespace {

struct HandlerState {
    const LoginRecord* login = nullptr;
    ErrorDisplay* display = nullptr;
};

HandlerState& handlerState() {
    static HandlerState state;
    return state;
}

// The text after the first double quote of `text`, up to the next double quote; empty
// when `text` holds fewer than two double quotes.
std::string quotedPart(std::string_view text) {
    const auto open = text.find('"');
    if (open == std::string_view::npos) return {};
    const auto close = text.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

void StandardErrorDisplay::showError(const std::string& text) {
    std::cerr << text << '\n' << std::flush;
}

std::string translateErrorMessage(const std::string& message) {
    if (contains(message, "Your user name and password are not defined"))
        return "El nombre de Usuario o la clave son incorrectas.";

    const std::string missingFile =
        "No se encontr\xF3"
        " el archivo o la ruta ";
    if (contains(message, "I/O error for file")) return missingFile + quotedPart(message);
    // Firebird 3 words the same failure differently and quotes the operation first:
    // I/O error during "open" operation for file "<path>".
    constexpr std::string_view openWording = "I/O error during \"open\" operation for file";
    if (const auto at = message.find(openWording); at != std::string::npos)
        return missingFile + quotedPart(std::string_view(message).substr(at + openWording.size()));

    if (contains(message, "Unable to complete network request"))
        return "No se encontr\xF3"
               " el equipo servidor con nombre " +
               quotedPart(message);

    return "Se presento el siguiente error: " + message;
}

void installUnhandledErrorHandler(const LoginRecord* login, ErrorDisplay* display) {
    handlerState() = HandlerState{login, display};
}

std::string recordUnhandled(const std::exception& error) {
    const HandlerState state = handlerState();
    const std::string message = error.what();
    try {
        logUnhandledError(state.login ? state.login->UsuarioSesion : std::string(), message);
    } catch (...) {
        // The log's path could not be formed; the line is lost, the message still shows.
    }
    return translateErrorMessage(message);
}

void ENoManejada(const std::exception& error) {
    const HandlerState state = handlerState();
    const std::string text = recordUnhandled(error);
    if (state.display) {
        state.display->showError(text);
    } else {
        StandardErrorDisplay().showError(text);
    }
}

bool runGuardedOk(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const data::SilentAbort&) {
        return false;
    } catch (const std::exception& error) {
        try {
            ENoManejada(error);
        } catch (...) {
            // Nothing may escape into the event loop, not even a failing display.
        }
    } catch (...) {
        try {
            ENoManejada(std::runtime_error("Unknown error"));
        } catch (...) {
            // As above: nothing may escape into the event loop.
        }
    }
    return false;
}

void runGuarded(const std::function<void()>& handler) { runGuardedOk(handler); }

}  // namespace enviozvr::core

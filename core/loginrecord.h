// The login record: the credentials of the current login, kept by the main screen.
//
// Plain value type, no ownership, no exceptions. ClaveSesion holds the password
// scrambled with CifrarClave (core/scrambler.h); it may contain zero bytes.
#pragma once

#include <string>

namespace enviozvr::core {

struct LoginRecord {
    std::string UsuarioSesion;   // user name in upper case (a-z only)
    std::string ClaveSesion;     // CifrarClave of the password
    std::string ServidorSesion;  // server text that starts every database path
};

// `text` with the letters a to z turned into A to Z; every other byte stays as it is.
std::string upperAscii(std::string text);

}  // namespace enviozvr::core

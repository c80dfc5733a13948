// The installation directory and the plain files kept in it: the server list
// SERVIDORES.cfg and the three logs ENVIO.TXT, errorenvio.txt and ERRORES.TXT.
//
// The directory is looked up anew on every call. The log writers may be called from any
// thread; the rest from the user-interface thread.
// diraplicacion (and therefore every path and log writer) throws std::runtime_error
// "Invalid data type for 'Directorio'" when the configured value is not a text. A log
// line that cannot be written (create, open, write, close) is lost; the first such
// failure of each log in the run is said on standard error with the file's name and
// the reason, and logLineLost() tells that it happened.
// Texts are bytes: Windows-1252 for log contents, the local 8-bit encoding for paths.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace enviozvr::core {

// The installation directory: the value "Directorio" of the business system's settings
// key "Orbalt/NivoraERP2016", or of "Orbalt/NivoraERP2015" when the first is missing
// (the HKEY_LOCAL_MACHINE registry on Windows; Orbalt/NivoraERP2016.conf under the XDG
// system config dirs elsewhere). A key without the value gives empty text. Without
// either key the result is empty text, and the user is told through showUserMessage the
// first time in the run. An INI value holding commas is one text, as written.
std::string diraplicacion();

// Why the program has no usable installation directory: the missing-key message when
// there is no key or no value, followed by the settings file that has no value or the
// files that were looked for, in parentheses; the error text when the value is not a
// text; empty when the directory is known. Tells the user nothing.
std::string installationDirectoryProblem();

// Lets the next lookup without a key tell the user again (for tests).
void forgetMissingKeyNotice();

// Runs the clock by which a settings file counts as unchanged for a while (and its answer
// is kept) `ahead` of the real one, so that tests need not wait for a file to age; zero
// returns to the real clock.
void setSettingsClockAhead(std::chrono::seconds ahead);

// directory + separator + name ("/" here, "\" on Windows); the separator is added even
// when the directory already ends in one. Empty text when the directory is empty: no
// file is ever read or written at the filesystem root.
std::string applicationFile(const std::string& name);

// The server entries of a server list file, one per line. A line ends at CR, LF or
// CR LF; an empty line gives an empty entry; a last line without a line end is still an
// entry. Entries are kept whole, however long. A missing or unreadable file gives an
// empty list.
std::vector<std::string> readServerList(const std::string& path);

// readServerList(applicationFile("SERVIDORES.cfg")).
std::vector<std::string> leerServidores();

// The folder of the logs and of what the service modes keep beside them (the instance
// lock file): `directory` from now on; empty text returns to the installation directory,
// the default. Lets several origin companies on one machine keep their files apart.
void setLogDirectory(const std::string& directory);

// The folder set by setLogDirectory, else diraplicacion().
std::string logDirectory();

// True while a folder set by setLogDirectory is in force.
bool logDirectoryChosen();

// logDirectory() + separator + name; empty text when there is no folder.
std::string logFile(const std::string& name);

// True once a log line of this run could not be written.
bool logLineLost();

// Forgets lost lines and the logs already said to be unwritable (for tests).
void forgetLostLogLines();

// Appends one line to the log `fileName` in the log folder (logDirectory()): the current
// date and time, then `fields`, joined by "," without quoting, ended by CR LF; control
// characters inside a field are written as blanks. Creates the file only when it does not
// exist. The file is opened and closed for this one line. Without a log folder the line
// is lost (the missing installation directory is told instead).
void appendLogLine(const std::string& fileName, const std::vector<std::string>& fields);

// ENVIO.TXT: one line per replication event handled by the send cycle.
void archivo_auditoria(const std::string& id, const std::string& tipo,
                       const std::string& documento);

// errorenvio.txt: "No se pudo conectar con el servidor " followed by the path, and when
// given the reason the destination was given up as a field of its own.
void logConnectionFailure(const std::string& databasePath, const std::string& reason = {});

// ERRORES.TXT: the logged-in user (empty before a login) and the error's message text.
void logUnhandledError(const std::string& user, const std::string& message);

}  // namespace enviozvr::core

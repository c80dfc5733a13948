// The program's options in one table: for each option the run modes it belongs to, its
// value and what it does. The usage texts (--help and each mode's own), the list of
// options the program knows and the tests that keep the manual page in step read it.
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// The run modes that take options, as bits of OptionEntry::modes.
enum RunModeBit : unsigned { kHeadlessMode = 1, kStatusMode = 2, kVerifyMode = 4, kExportMode = 8 };

// How an option stands in a synopsis.
enum class InSynopsis {
    Optional,    // [--name=VALUE]
    Repeatable,  // [--name=VALUE]...
    Required,    // --name=VALUE
    Hidden,      // only in the option list (its synopsis is another option's)
};

struct OptionEntry {
    std::string name;   // "--minutes"
    unsigned modes;     // RunModeBit values
    std::string value;  // "N"; empty for an option without a value
    std::string description;
    InSynopsis synopsis = InSynopsis::Optional;
    std::string synopsisText = {};  // when not empty, the synopsis as written here
};

// Every option, in the order the usage lists them.
const std::vector<OptionEntry>& optionTable();

// A run mode chosen by an option ("--headless", "--export=errores|pendientes").
struct RunModeEntry {
    unsigned bit;
    std::string option;      // "--export"
    std::string value;       // "errores|pendientes"; empty for a mode without a value
    std::string positional;  // the arguments before the options ("SERVER USER ...")
    std::string trailing;    // the arguments after them
    std::string exitStatus;  // the paragraph of its exit statuses, wrapped
};

const std::vector<RunModeEntry>& runModeTable();

// True when `argument` is an option of the table or a run mode's ("--once",
// "--minutes=5", "--export=errores").
bool knownOption(const std::string& argument);

// "enviozvr <mode> ..." with the mode's options, wrapped at `width` columns with
// continuation lines indented by `indent` spaces; `lead` starts the first line.
std::string synopsis(unsigned mode, const std::string& lead, std::size_t width, std::size_t indent);

// The option list of the modes in `modes`, grouped under "Options of --mode:" headings.
std::string optionList(unsigned modes);

// The usage of every run mode, its options, exit statuses and files (--help).
std::string helpText();

// The usage of one run mode: its synopsis, its options and its exit statuses.
std::string modeUsage(unsigned mode);

}  // namespace enviozvr::app

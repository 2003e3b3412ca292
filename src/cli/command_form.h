#pragma once
// The command line people type:
//   sheetpak extract ROM [TARGET] [--raw] [--sheets LIST] [--force] [-n] [-q]
//   sheetpak insert  ROM [SOURCE...] [--at OFFSET] [--all] [--smallest] [--no-fill]
//                        [--anywhere] [--raw | --png] [--sheets LIST] [--patch FILE] [-n] [-q]
//   sheetpak expand  ROM 2M|3M [--patch FILE] [-n] [-q]
//   sheetpak info    ROM [--json]
//   sheetpak help [COMMAND], COMMAND --help, --help, --version
// read once into the same request the mode word fills (run_request.h).

#include <string>

#include "cli/run_request.h"

// Whether the arguments are for this form: the first is a command word or an
// option (a dash and no hexadecimal digit after it, which a mode word would
// be), or the only one names an existing file (a ROM dropped onto the program).
bool isCommandForm(int argc, const char* const* argv);

// What the command line asks for.
enum class CommandAsk : std::uint8_t {
    Run,       // the operation in `request`
    Info,      // info of infoRom
    Help,      // the help of helpTopic ("" for all of it)
    Version,
    UseError,  // an error of use, already printed: exit status 2
};

struct CommandLine {
    CommandAsk ask = CommandAsk::UseError;
    RunRequest request;
    std::string infoRom;
    bool json = false;        // info: one JSON object
    bool droppedRom = false;  // a lone ROM: its info, then how to go on
    std::string helpTopic;
};

// Reads the arguments (argv[1] on) into `line`; an error of use is printed
// as one line naming it, then "Try 'sheetpak help COMMAND'.".
void readCommandLine(int argc, const char* const* argv, CommandLine& line);

// Prints the help of `topic` (a command word, or "" for every command).
void printCommandHelp(const std::string& topic);

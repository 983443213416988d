// Commands of vaultleaf-cli. Each table entry declares the command's
// arguments and the options it takes; the command line parser (CommandLine.cpp)
// fills Options from that declaration. run returns the process exit code:
// 0 success, 1 error, 2 usage, 3 wrong password, 4 the database could not be
// opened (grep: 0 found, 1 not found).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// What the command line gave a command: its positional arguments and the
// values of the options it declares (the others keep their defaults).
struct Options {
    std::vector<std::string> positional;
    std::string passwordFile;      // --password-file FILE ("-": standard input)
    std::string newPasswordFile;   // --new-password-file FILE
    std::string pattern = "*.*";   // --pattern P
    bool json = false;             // --json
    bool raw = false;              // --raw
    bool wav = false;              // --wav: a sound node as a WAV file
    bool png = false;              // --png: a whiteboard as a PNG image
    bool text = false;             // --text
    bool ignoreCase = false;       // --ignore-case
    bool noIdentify = false;       // --no-identify
    bool noSubnodes = false;       // --no-subnodes
    bool filesOnly = false;        // --files-only
    bool noOverwrite = false;      // --no-overwrite
    bool keepEmptyDirs = false;    // --keep-empty-dirs
    bool skipErrors = false;       // --skip-errors
    bool repair = false;           // --repair
};

// The options a command can declare: bits of Command::options. Each is
// described once, in the option table of CommandLine.cpp.
enum OptionBit : unsigned {
    kOptPasswordFile = 1u << 0,
    kOptNewPasswordFile = 1u << 1,
    kOptJson = 1u << 2,
    kOptRaw = 1u << 3,
    kOptText = 1u << 4,
    kOptWav = 1u << 5,
    kOptPng = 1u << 6,
    kOptIgnoreCase = 1u << 7,
    kOptPattern = 1u << 8,
    kOptNoIdentify = 1u << 9,
    kOptNoSubnodes = 1u << 10,
    kOptFilesOnly = 1u << 11,
    kOptNoOverwrite = 1u << 12,
    kOptKeepEmptyDirs = 1u << 13,
    kOptSkipErrors = 1u << 14,
    kOptRepair = 1u << 15,
};

constexpr size_t kAnyCount = static_cast<size_t>(-1);

struct Command {
    const char* name;
    const char* arguments;   // the positional part of the usage line, e.g. "DB [ID]"
    size_t minArgs, maxArgs;   // how many positional arguments it takes
    unsigned options;          // OptionBit set
    const char* help;          // what it does, lines separated by '\n'
    int (*run)(const Options& options);
};

// Each group of commands registers its table here.
const std::vector<Command>& DumpCommands();
const std::vector<Command>& StoreCommands();
const std::vector<Command>& LunarCommands();
const std::vector<Command>& TransferCommands();
const std::vector<Command>& SearchCommands();

// Parses argv and runs the command named; the process exit code.
int RunCommandLine(int argc, char** argv);

}  // namespace cli

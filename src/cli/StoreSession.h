// Shared pieces of the store commands: option parsing, password entry, and
// opening a database with its login, each failure mapped to its exit code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "db/CaseDB.h"

namespace cli {

constexpr int kExitOk = 0, kExitError = 1, kExitUsage = 2, kExitWrongPassword = 3, kExitNoDatabase = 4;

// Positional arguments and the options every store command understands.
struct StoreArgs {
    std::vector<std::string> positional;
    std::string passwordFile;      // --password-file FILE
    std::string newPasswordFile;   // --new-password-file FILE
    bool json = false;             // --json
    bool raw = false;              // --raw
    bool text = false;             // --text
};

// Parses args; false (after a message on stderr) on an unknown option.
bool ParseStoreArgs(const Args& args, StoreArgs& out);

// Prints "vaultleaf-cli: <message>" to stderr and returns code.
int Fail(int code, const std::string& message);

// A password in the database code page: the first line of file when one is
// named, else typed on the terminal without echo. Empty optional on failure.
std::optional<std::string> ReadPassword(const std::string& file, const char* prompt);
// A new password: from file, or typed twice on the terminal (both must match).
std::optional<std::string> ReadNewPassword(const std::string& file);

// Opens the database (read-only unless the command writes) and logs in.
// Returns kExitOk or the exit code, with the message already printed.
int OpenAndLogin(CaseDB& db, const std::string& path, const std::string& passwordFile, bool writes,
                 std::string* password = nullptr);
// The Open result's message, as the window program shows it; a system error
// (err) is named as the cause.
std::string OpenFailureMessage(int result, const std::string& path, int err);

// Parses a node id (a 32-bit signed decimal); false when it is none.
bool ParseId(const std::string& text, int32_t& id);

}  // namespace cli

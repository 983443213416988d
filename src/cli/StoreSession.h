// Shared pieces of the store commands: password entry, and
// opening a database with its login, each failure mapped to its exit code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "db/CaseDB.h"
#include "public/Wipe.h"

namespace cli {

constexpr int kExitOk = 0, kExitError = 1, kExitUsage = 2, kExitWrongPassword = 3, kExitNoDatabase = 4;

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8);

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

// Common frame of the commands on an existing database: open (read-only
// unless the command writes) and login; then body(db, options, password).
enum Access { kReads, kWrites };
template <typename Body>
int WithDatabase(const Options& options, Access access, Body body) {
    SetInternalFailureReporter([](const std::string& m) { Fail(kExitError, m); });
    CaseDB db;
    std::string password;
    WipeOnExit wipe(password);
    int rc = OpenAndLogin(db, options.positional[0], options.passwordFile, access == kWrites, &password);
    if (rc != kExitOk) return rc;
    return body(db, options, password);
}

// Parses a node id (a 32-bit signed decimal); false when it is none.
bool ParseId(const std::string& text, int32_t& id);

// Parent ids 0 and -1 always exist; any other must be a node.
bool ParentExists(CaseDB& db, int32_t parent);
// The id in positional argument index; 0 (the top level) when it is absent.
int IdArg(const Options& a, size_t index, int32_t& id);
// The node named by argument index, read (with content when asked).
int NodeArg(CaseDB& db, const Options& a, size_t index, CaseNode& node, bool withData);
// A parent id from argument index (the top level when absent) that exists.
int ParentArg(CaseDB& db, const Options& a, size_t index, int32_t& parent);

}  // namespace cli

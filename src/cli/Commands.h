// Commands of vaultleaf-cli. Each takes the arguments after the command name
// and returns the process exit code: 0 success, 1 error, 2 usage,
// 3 wrong password, 4 the database could not be opened (grep: 0 found, 1 not found).
#pragma once

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;   // one line for --help
    int (*run)(const Args& args);
};

// Each group of commands registers its table here.
const std::vector<Command>& DumpCommands();
const std::vector<Command>& StoreCommands();
const std::vector<Command>& LunarCommands();
const std::vector<Command>& TransferCommands();
const std::vector<Command>& SearchCommands();

}  // namespace cli

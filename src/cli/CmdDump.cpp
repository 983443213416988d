// dump FILE: prints a storage file as JSON, read-only, without a password.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "mk/Dump.h"
#include "mk/Storage.h"

namespace cli {

namespace {

const char* StatusText(mk::Status status) {
    switch (status) {
    case mk::Status::IoError: return "cannot be read";
    case mk::Status::OldFormat: return "is in the pre-2.3 Metakit format, which is not supported";
    case mk::Status::Corrupt: return "is damaged: no readable commit found";
    default: return "cannot be opened";
    }
}

int RunDump(const Options& options) {
    const std::vector<std::string>& args = options.positional;
    mk::Storage storage;
    mk::Status status = storage.Open(args[0], true);
    if (status != mk::Status::Ok && status != mk::Status::Recovered) {
        std::fprintf(stderr, "vaultleaf-cli: %s %s\n", args[0].c_str(), StatusText(status));
        return 4;
    }
    if (status == mk::Status::Recovered)
        std::fprintf(stderr, "vaultleaf-cli: %s: the end of the file is damaged; showing the last complete commit\n",
                     args[0].c_str());
    std::string json = mk::DumpJson(storage);
    Write(json);
    return 0;
}

}  // namespace

const std::vector<Command>& DumpCommands() {
    static const std::vector<Command> commands = {
        {"dump", "FILE", 1, 1, 0, "Prints a storage file as JSON, read-only, without a password.", RunDump},
    };
    return commands;
}

}  // namespace cli

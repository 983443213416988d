// vaultleaf-cli: the command-line tool for scripts, backups and terminals.
#include <cstdio>
#include <cstring>
#include <exception>

#include "cli/Commands.h"
#include "kellib/Kelapputil.h"

namespace {

std::vector<cli::Command> AllCommands() {
    std::vector<cli::Command> all;
    for (const auto* group : {&cli::StoreCommands(), &cli::TransferCommands(), &cli::SearchCommands(), &cli::DumpCommands(), &cli::LunarCommands()})
        all.insert(all.end(), group->begin(), group->end());
    return all;
}

void PrintHelp(FILE* out) {
    std::fprintf(out, "Usage: vaultleaf-cli COMMAND [ARGS]\n\nCommands:\n");
    for (const auto& c : AllCommands()) std::fprintf(out, "  %s\n", c.usage);
    std::fprintf(out,
                 "\nExit codes: 0 success, 1 error, 2 usage, 3 wrong password, "
                 "4 database could not be opened; grep: 0 found, 1 nothing found.\n");
}

}  // namespace

int main(int argc, char** argv) {
    HardenProcess();
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        PrintHelp(stdout);
        return 0;
    }
    cli::Args args(argv + 2, argv + argc);
    for (const auto& c : AllCommands()) {
        if (std::strcmp(argv[1], c.name)) continue;
        // No exception may end the process unwound: every lock is released.
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vaultleaf-cli: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "vaultleaf-cli: unexpected failure\n");
        }
        return 1;
    }
    std::fprintf(stderr, "vaultleaf-cli: unknown command '%s' (see --help)\n", argv[1]);
    return 2;
}

// vaultleaf-cli: the command-line tool for scripts, backups and terminals.
#include "cli/Commands.h"
#include "kellib/Kelapputil.h"

int main(int argc, char** argv) {
    HardenProcess();
    return cli::RunCommandLine(argc, argv);
}

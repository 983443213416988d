#include "cli/Commands.h"

namespace cli {

const std::vector<Command>& DumpCommands() {
    static const std::vector<Command> commands;
    return commands;
}

}  // namespace cli

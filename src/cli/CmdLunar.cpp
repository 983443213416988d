#include "cli/Commands.h"

namespace cli {

const std::vector<Command>& LunarCommands() {
    static const std::vector<Command> commands;
    return commands;
}

}  // namespace cli

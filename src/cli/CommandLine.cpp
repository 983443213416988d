// The command line of vaultleaf-cli, parsed with CLI11 from the command tables:
// each command's table entry names its arguments and options, and the option
// table below describes each option once. The usage lines and the help texts
// are made from the same tables.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/StoreSession.h"

namespace cli {

namespace {

struct OptionSpec {
    unsigned bit;
    const char* name;        // "--json"
    const char* valueName;   // "FILE" for an option with a value; nullptr for a flag
    const char* help;
    bool Options::*flag;
    std::string Options::*value;
};

const OptionSpec kOptionTable[] = {
    {kOptJson, "--json", nullptr, "print a JSON list", &Options::json, nullptr},
    {kOptRaw, "--raw", nullptr, "the bytes as they are stored, without conversion", &Options::raw, nullptr},
    {kOptText, "--text", nullptr, "the text the search reads (RTF and HTML without markup, a card's fields)", &Options::text, nullptr},
    {kOptWav, "--wav", nullptr, "a sound node as a WAV file", &Options::wav, nullptr},
    {kOptPng, "--png", nullptr, "a whiteboard as a PNG image", &Options::png, nullptr},
    {kOptIgnoreCase, "--ignore-case", nullptr, "letters match in either case", &Options::ignoreCase, nullptr},
    {kOptPattern, "--pattern", "P", "folders take the files matching P (default *.*), subfolders all", nullptr,
     &Options::pattern},
    {kOptNoIdentify, "--no-identify", nullptr, "files named *.vl_txt, *.vl_htm, ... stay file nodes",
     &Options::noIdentify, nullptr},
    {kOptNoSubnodes, "--no-subnodes", nullptr, "the node without its subtree", &Options::noSubnodes, nullptr},
    {kOptFilesOnly, "--files-only", nullptr, "only file nodes", &Options::filesOnly, nullptr},
    {kOptNoOverwrite, "--no-overwrite", nullptr, "files that exist are left as they are", &Options::noOverwrite, nullptr},
    {kOptKeepEmptyDirs, "--keep-empty-dirs", nullptr, "folders without files are made too", &Options::keepEmptyDirs,
     nullptr},
    {kOptSkipErrors, "--skip-errors", nullptr,
     "an entry that cannot be imported is left out and named on stderr with its cause (else nothing is written)",
     &Options::skipErrors, nullptr},
    {kOptRepair, "--repair", nullptr, "nodes that are not in the tree are moved under a new top-level folder",
     &Options::repair, nullptr},
    {kOptPasswordFile, "--password-file", "FILE",
     "the password is the first line of FILE (\"-\": standard input); without it the password is asked on the "
     "terminal without echo",
     nullptr, &Options::passwordFile},
    {kOptNewPasswordFile, "--new-password-file", "FILE", "the new password is the first line of FILE (\"-\": standard input)",
     nullptr, &Options::newPasswordFile},
};

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (const auto* group : {&StoreCommands(), &TransferCommands(), &SearchCommands(), &DumpCommands(), &LunarCommands()})
        all.insert(all.end(), group->begin(), group->end());
    return all;
}

const Command* FindCommand(const std::vector<Command>& all, const std::string& name) {
    for (const Command& c : all)
        if (name == c.name) return &c;
    return nullptr;
}

std::string OptionText(const OptionSpec& o) {
    return std::string(o.name) + (o.valueName ? std::string(" ") + o.valueName : "");
}

std::string UsageLine(const Command& c) {
    std::string line = std::string(c.name) + (*c.arguments ? " " : "") + c.arguments;
    for (const OptionSpec& o : kOptionTable)
        if (c.options & o.bit) line += " [" + OptionText(o) + "]";
    return line;
}

// Each line of text with indent in front.
std::string Indented(const std::string& text, const char* indent) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += indent + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

std::string OverviewText() {
    std::string text = "Usage: vaultleaf-cli COMMAND [ARGS]\n"
                       "       vaultleaf-cli help COMMAND | COMMAND --help | --version\n\nCommands:\n";
    for (const Command& c : AllCommands()) text += "  " + UsageLine(c) + "\n" + Indented(c.help, "      ");
    return text +
           "\nOptions take their value as --option VALUE or --option=VALUE.\n"
           "Exit codes: 0 success, 1 error, 2 usage, 3 wrong password, "
           "4 database could not be opened; grep: 0 found, 1 nothing found.\n";
}

std::string CommandHelpText(const Command& c) {
    std::string text = "Usage: vaultleaf-cli " + UsageLine(c) + "\n\n" + Indented(c.help, "");
    bool first = true;
    for (const OptionSpec& o : kOptionTable) {
        if (!(c.options & o.bit)) continue;
        text += std::string(first ? "\nOptions:\n" : "") + "  " + OptionText(o) + "\n      " + o.help + "\n";
        first = false;
    }
    return text;
}

// The overview on stderr, for a command line without a command.
int UsageFailure() {
    std::fputs(OverviewText().c_str(), stderr);
    return kExitUsage;
}

// The parser: one subcommand per command, holding exactly the options it declares.
struct Parser {
    CLI::App app{"", "vaultleaf-cli"};
    Options options;
    bool help = false, version = false, commandHelp = false;
    std::string helpTopic;
    CLI::App* helpCommand = nullptr;

    explicit Parser(const std::vector<Command>& all) {
        app.set_help_flag();
        app.add_flag("-h,--help", help);
        app.add_flag("--version", version);
        app.require_subcommand(0, 1);   // so an argument that names a command stays an argument
        helpCommand = app.add_subcommand("help");
        helpCommand->add_option("COMMAND", helpTopic);
        for (const Command& c : all) {
            CLI::App* sub = app.add_subcommand(c.name);
            sub->set_help_flag();
            sub->add_flag("-h,--help", commandHelp);
            // The arguments are what CLI11 leaves over (TakeArguments); its own
            // positionals would split an argument such as "[a,b]" in two.
            sub->allow_extras();
            for (const OptionSpec& o : kOptionTable) {
                if (!(c.options & o.bit)) continue;
                if (o.flag)
                    sub->add_flag(o.name, options.*o.flag);
                else
                    sub->add_option(o.name, options.*o.value);
            }
        }
    }
};

// A word that is no declared option but looks like one: "-x", "--x", "--x=1"
// (a negative number such as -1, the recycle bin, is an argument).
bool LooksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

// The command's arguments in their order: what it left over, then everything after "--".
bool TakeArguments(const CLI::App& command, const std::vector<std::string>& afterMark, Options& options) {
    for (const std::string& word : command.remaining()) {
        if (LooksLikeOption(word)) {
            Fail(kExitUsage, "unknown option '" + word + "' (see vaultleaf-cli help " + command.get_name() + ")");
            return false;
        }
        options.positional.push_back(word);
    }
    options.positional.insert(options.positional.end(), afterMark.begin(), afterMark.end());
    return true;
}

int RunCommand(const Command& c, const Options& options) {
    if (options.positional.size() < c.minArgs || options.positional.size() > c.maxArgs)
        return Fail(kExitUsage, "usage: vaultleaf-cli " + UsageLine(c));
    // No exception may end the process unwound: every lock is released.
    try {
        return c.run(options);
    } catch (const std::exception& e) {
        return Fail(kExitError, e.what());
    } catch (...) {
        return Fail(kExitError, "unexpected failure");
    }
}

int ShowHelp(const std::vector<Command>& all, const std::string& topic) {
    const Command* c = topic.empty() ? nullptr : FindCommand(all, topic);
    if (!topic.empty() && !c) return Fail(kExitUsage, "unknown command '" + topic + "' (see --help)");
    Write(c ? CommandHelpText(*c) : OverviewText());
    return kExitOk;
}

int Dispatch(int argc, char** argv) {
    const std::vector<Command> all = AllCommands();
    if (argc < 2) return UsageFailure();
    const std::string first = argv[1];
    if (!first.starts_with("-") && first != "help" && !FindCommand(all, first))
        return Fail(kExitUsage, "unknown command '" + first + "' (see --help)");
    // Everything after "--" is an argument. CLI11 would hand what follows a
    // command's "--" back to the main parser, so it is split off here.
    int end = 2;
    while (end < argc && std::string_view(argv[end]) != "--") ++end;
    Parser parser(all);
    try {
        parser.app.parse(end, argv);
    } catch (const CLI::ParseError& e) {
        return Fail(kExitUsage, std::string(e.what()) + " (see --help)");
    }
    if (parser.version) {
        Print("vaultleaf-cli %s\n", VAULTLEAF_VERSION);
        return kExitOk;
    }
    if (parser.help || parser.helpCommand->parsed()) return ShowHelp(all, parser.helpTopic);
    std::vector<CLI::App*> chosen = parser.app.get_subcommands();
    if (chosen.empty()) return UsageFailure();
    const Command& c = *FindCommand(all, chosen.front()->get_name());
    if (parser.commandHelp) return ShowHelp(all, c.name);
    const std::vector<std::string> afterMark(argv + std::min(end + 1, argc), argv + argc);
    if (!TakeArguments(*chosen.front(), afterMark, parser.options)) return kExitUsage;
    return RunCommand(c, parser.options);
}

}  // namespace

int RunCommandLine(int argc, char** argv) { return FinishOutput(Dispatch(argc, argv)); }

}  // namespace cli

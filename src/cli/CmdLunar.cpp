// vaultleaf-cli lunar [YYYY-MM-DD]: the Gregorian and the lunar date of a day.
#include <cstdio>
#include <ctime>
#include <string>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "kellib/Kelcodepage.h"
#include "lunar/LunarCalendar.h"

namespace cli {
namespace {

struct Date {
    unsigned year = 0, month = 0, day = 0;
};

// Exactly YYYY-MM-DD, digits only.
bool ParseDate(const std::string& text, Date& date) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return false;
    date.year = std::stoul(text.substr(0, 4));
    date.month = std::stoul(text.substr(5, 2));
    date.day = std::stoul(text.substr(8, 2));
    return true;
}

Date Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
            static_cast<unsigned>(local.tm_mday)};
}

int RunLunar(const Options& options) {
    const std::vector<std::string>& args = options.positional;
    Date date = Today();
    if (!args.empty() && !ParseDate(args[0], date)) {
        std::fprintf(stderr, "vaultleaf-cli lunar: '%s' is not a date of the form YYYY-MM-DD\n", args[0].c_str());
        return 2;
    }
    lunar::LunarCalendar cal;
    if (!cal.SelectDate(date.year, date.month, date.day)) {
        std::fprintf(stderr, "vaultleaf-cli lunar: %04u-%02u-%02u is not a date between 1901-01-01 and 2050-12-31\n",
                     date.year, date.month, date.day);
        return 2;
    }
    Print("%s\n%s\n", AnsiToUtf8(cal.SolarDateText()).c_str(), AnsiToUtf8(cal.LunarDateText()).c_str());
    return 0;
}

}  // namespace

const std::vector<Command>& LunarCommands() {
    static const std::vector<Command> commands = {
        {"lunar", "[YYYY-MM-DD]", 0, 1, 0, "Prints the date and its lunar date (today without a date).", RunLunar},
    };
    return commands;
}

}  // namespace cli

#include "lunar/CalendarGrid.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace lunar {
namespace {

const char kMorning[] = "\xC9\xCF\xCE\xE7";    // 上午
const char kAfternoon[] = "\xCF\xC2\xCE\xE7";  // 下午
const char kHour[] = "\xCA\xB1";               // 时
const char kMinute[] = "\xB7\xD6";             // 分
const char kSecond[] = "\xC3\xEB";             // 秒
const char kTodayIs[] = "\xBD\xF1\xCC\xEC\xCA\xC7\xA3\xBA";  // 今天是：
const char kCircle[] = "\xA1\xF2";                           // ◎
const char kSolar[] = "\xB9\xAB\xC0\xFA";                    // 公历

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

GridCell CellOfDay(unsigned year, unsigned month, unsigned day)
{
    const int cell = static_cast<int>(day + DayOfWeek(year, month, 1)) - 1;
    GridCell c;
    c.column = cell % 7;
    c.row = cell / 7;
    c.x = c.column * kCellWidth + kGridLeft;
    c.y = c.row * kCellHeight + kGridTop;
    return c;
}

unsigned DayAtPoint(unsigned year, unsigned month, int x, int y)
{
    // Division truncates toward zero, so a press left of the first column
    // or above the first row still counts as column or row 0.
    const int column = (x - kGridLeft) / kCellWidth;
    if (column > 6)
        return 0;
    const int day = column + (y - kGridTop) / kCellHeight * 7 - static_cast<int>(DayOfWeek(year, month, 1)) + 1;
    if (day < 1 || day > static_cast<int>(DaysInMonth(year, month)))
        return 0;
    return static_cast<unsigned>(day);
}

unsigned ClampDay(unsigned year, unsigned month, unsigned day)
{
    const unsigned last = DaysInMonth(year, month);
    return day > last ? last : day;
}

LunarLine CellLunarLine(unsigned year, unsigned month, unsigned day)
{
    unsigned term = 0;
    const LunarDate date = GregorianToLunar(year, month, day, &term);
    if (date.day == 1)
        return {Trimmed(LunarMonthText(date.month)), LineColor::Red};
    if (term)
        return {SolarTermText(year, month, day), LineColor::Green};
    return {LunarDayText(date.day), LineColor::Current};
}

bool IsWeekend(unsigned year, unsigned month, unsigned day)
{
    const unsigned weekday = DayOfWeek(year, month, day);
    return weekday == 0 || weekday == 6;
}

ClockGeometry ClockGeometryOf(int width, int height, int margin)
{
    return {(width - 2 * margin) / 2 + margin, (height - 2 * margin) / 2 + margin, width / 2 - margin};
}

ClockPoint ClockPointAt(const ClockGeometry& clock, double value, double units, double distance)
{
    const double radians = (value / units * 360.0 - 90.0) / 180.0 * std::numbers::pi;
    return {distance * std::cos(radians) + clock.centerX, distance * std::sin(radians) + clock.centerY};
}

std::string TimeLineText(int hour, int minute, int second)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %02d%s%02d%s%02d%s %02d:%02d:%02d", hour <= 11 ? kMorning : kAfternoon,
                  hour > 11 ? hour - 12 : hour, kHour, minute, kMinute, second, kSecond, hour, minute, second);
    return buf;
}

std::string TodayTipText(const LunarCalendar& today)
{
    return std::string(kTodayIs) + "\n" + kCircle + " " + kSolar + " " + today.SolarDateText() + "\n" + kCircle +
           " " + today.LunarDateText();
}

}  // namespace lunar

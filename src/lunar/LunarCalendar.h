// Gregorian dates 1901-01-01 to 2050-12-31 and their Chinese lunar dates, with
// the texts in the database code page (GB18030 bytes). Table-driven: the
// tables in LunarTables.cpp are computed by tools/lunar_tables.
#pragma once

#include <cstdint>
#include <string>

namespace lunar {

constexpr unsigned kFirstYear = 1901;
constexpr unsigned kLastYear = 2050;

// One selected Gregorian date; a new calendar holds today's local date (the
// nearest day of 1901-2050 when the clock is outside them).
class LunarCalendar {
public:
    LunarCalendar();
    virtual ~LunarCalendar();

    // Takes the date when 1901 <= year <= 2050 and it is a real date.
    bool SelectDate(unsigned year, unsigned month, unsigned day);

    // "农历 <year> <month> <day>" and " <solar term>" when one falls on the date.
    std::string LunarDateText() const;
    // "<y>年<m>月<d>日 星期<weekday>".
    std::string SolarDateText() const;

    unsigned Year() const { return year_; }
    unsigned Month() const { return month_; }
    unsigned Day() const { return day_; }

private:
    uint16_t year_ = kFirstYear;
    uint16_t month_ = 1;
    uint16_t day_ = 1;
};

struct LunarDate {
    unsigned year = 0, month = 0, day = 0;  // a leap month carries the number it follows
};

struct LunarMonthLengths {
    unsigned length = 0;      // 29 or 30
    unsigned leapLength = 0;  // of the leap month that follows this one, else 0
};

// Gregorian month length; 0 for month 0 or above 12. Year 0 counts as a leap year.
unsigned DaysInMonth(unsigned year, unsigned month);
// 0 Sunday to 6 Saturday.
unsigned DayOfWeek(unsigned year, unsigned month, unsigned day);
// Days from the second date to the first.
long DaysBetween(unsigned y1, unsigned m1, unsigned d1, unsigned y2, unsigned m2, unsigned d2);

// The month followed by the year's leap month, 0 for none (and outside 1901-2050).
unsigned LeapMonthOf(unsigned lunarYear);
// Outside 1901-2050 every month has 30 days and no leap month follows.
LunarMonthLengths LunarMonthLength(unsigned lunarYear, unsigned month);
unsigned LunarYearLength(unsigned lunarYear);
// Lunar date of the day `offset` days after 1901-01-01 (a negative offset counts as 0).
LunarDate LunarFromOffset(long offset);
LunarDate GregorianToLunar(unsigned year, unsigned month, unsigned day, unsigned* solarTerm = nullptr);

// 1 to 24 when a solar term falls on the day, else 0.
unsigned SolarTermIndex(unsigned year, unsigned month, unsigned day);
// The term's name, or empty.
std::string SolarTermText(unsigned year, unsigned month, unsigned day);

// Stem, branch, a space, the zodiac animal and 年: 9 bytes.
std::string YearText(unsigned lunarYear);
// Always 6 bytes: "  正月", "  二月" … "  十月", "十一月", "十二月"; empty for no month.
std::string LunarMonthText(unsigned lunarMonth);
// 初一 … 初十, 十一 … 十九, 二十, 廿一 … 廿九, 三十; empty for no day.
std::string LunarDayText(unsigned lunarDay);

}  // namespace lunar

#include "lunar/LunarCalendar.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "lunar/LunarTables.h"
#include "GbText.h"

using namespace lunar;

namespace {

struct LunarCase {
    unsigned y, m, d;
    LunarDate lunar;
};

}  // namespace

TEST(LunarCalendar, GregorianToLunarEdgeDates) {
    const LunarCase cases[] = {
        {1901, 1, 1, {1900, 11, 11}},  {1901, 1, 20, {1900, 12, 1}}, {1901, 2, 18, {1900, 12, 30}},
        {1901, 2, 19, {1901, 1, 1}},   {2023, 3, 22, {2023, 2, 1}},  // first day of the leap month
        {2023, 4, 20, {2023, 3, 1}},   {2024, 2, 10, {2024, 1, 1}},  {2050, 12, 31, {2050, 11, 18}},
        {2000, 2, 5, {2000, 1, 1}},    {2000, 1, 6, {1999, 11, 30}},
        // months whose start the computed tables moved (see tools/lunar_tables/notes.txt)
        {2025, 4, 27, {2025, 3, 30}},  {2025, 4, 28, {2025, 4, 1}},  {2013, 6, 8, {2013, 5, 1}},
        {1989, 8, 1, {1989, 6, 30}},   {1989, 8, 2, {1989, 7, 1}},
    };
    for (const auto& c : cases) {
        LunarDate l = GregorianToLunar(c.y, c.m, c.d);
        EXPECT_EQ(l.year, c.lunar.year) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(l.month, c.lunar.month) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(l.day, c.lunar.day) << c.y << "-" << c.m << "-" << c.d;
    }
}

TEST(LunarCalendar, EveryDayFollowsTheDayBefore) {
    // Walk 1901-01-01 to 2050-12-31: each lunar day is the previous one plus one,
    // or day 1 of a month after day 29 or 30.
    LunarDate prev = LunarFromOffset(0);
    long n = DaysBetween(2050, 12, 31, 1901, 1, 1);
    for (long i = 1; i <= n; ++i) {
        LunarDate cur = LunarFromOffset(i);
        if (cur.day != 1) {
            ASSERT_EQ(cur.day, prev.day + 1) << i;
            ASSERT_EQ(cur.month, prev.month) << i;
        } else {
            ASSERT_TRUE(prev.day == 29 || prev.day == 30) << i;
        }
        prev = cur;
    }
}

TEST(LunarCalendar, YearAndMonthLengths) {
    EXPECT_EQ(LunarYearLength(1901), 354u);
    EXPECT_EQ(LunarYearLength(1903), 383u);
    EXPECT_EQ(LunarYearLength(2023), 384u);
    EXPECT_EQ(LeapMonthOf(2023), 2u);
    EXPECT_EQ(LeapMonthOf(2033), 11u);
    EXPECT_EQ(LeapMonthOf(2024), 0u);
    EXPECT_EQ(LeapMonthOf(1900), 0u);
    EXPECT_EQ(LunarMonthLength(1900, 5).length, 30u);
    EXPECT_EQ(LunarMonthLength(1900, 5).leapLength, 0u);
    // 2023: month 2 (02-20 to 03-21) is followed by a leap month (03-22 to 04-19).
    EXPECT_EQ(LunarMonthLength(2023, 2).length, 30u);
    EXPECT_EQ(LunarMonthLength(2023, 2).leapLength, 29u);
    EXPECT_EQ(LunarMonthLength(2023, 3).leapLength, 0u);
    for (unsigned y = kFirstYear; y <= kLastYear; ++y) {
        unsigned len = LunarYearLength(y);
        EXPECT_TRUE(len >= 353 && len <= 385) << y;
        EXPECT_EQ(len >= 383, LeapMonthOf(y) != 0) << y;
    }
}

TEST(LunarCalendar, GregorianHelpers) {
    EXPECT_EQ(DaysInMonth(2000, 2), 29u);
    EXPECT_EQ(DaysInMonth(1900, 2), 28u);
    EXPECT_EQ(DaysInMonth(0, 2), 29u);  // year 0 counts as a leap year
    EXPECT_EQ(DaysInMonth(2001, 4), 30u);
    EXPECT_EQ(DaysInMonth(2001, 0), 0u);
    EXPECT_EQ(DaysInMonth(2001, 13), 0u);
    EXPECT_EQ(DayOfWeek(2000, 1, 1), 6u);
    EXPECT_EQ(DayOfWeek(2024, 2, 10), 6u);
    EXPECT_EQ(DayOfWeek(2026, 12, 10), 4u);
    EXPECT_EQ(DaysBetween(2000, 1, 1, 1901, 1, 1), 36159);
    EXPECT_EQ(DaysBetween(1901, 1, 1, 2000, 1, 1), -36159);
    EXPECT_EQ(DaysBetween(2000, 3, 1, 2000, 2, 28), 2);
}

TEST(LunarCalendar, DayOfWeekAgreesWithTheSystemClock) {
    for (unsigned y : {1901u, 1970u, 2000u, 2038u, 2050u})
        for (unsigned m = 1; m <= 12; ++m) {
            std::tm t{};
            t.tm_year = static_cast<int>(y) - 1900;
            t.tm_mon = static_cast<int>(m) - 1;
            t.tm_mday = 13;
            t.tm_hour = 12;
            timegm(&t);
            EXPECT_EQ(DayOfWeek(y, m, 13), static_cast<unsigned>(t.tm_wday)) << y << "-" << m;
        }
}

TEST(LunarCalendar, SolarTerms) {
    // 2000: January 6 and 21, February 4 and 19, March 5 and 20.
    EXPECT_EQ(SolarTermIndex(2000, 1, 6), 1u);
    EXPECT_EQ(SolarTermIndex(2000, 1, 21), 2u);
    EXPECT_EQ(SolarTermIndex(2000, 2, 4), 3u);
    EXPECT_EQ(SolarTermIndex(2000, 2, 19), 4u);
    EXPECT_EQ(SolarTermIndex(2000, 3, 20), 6u);
    EXPECT_EQ(SolarTermIndex(2000, 3, 21), 0u);
    EXPECT_EQ(SolarTermIndex(2050, 9, 7), 17u);  // 白露 2050-09-07 (printed table: 09-08)
    EXPECT_EQ(SolarTermIndex(2050, 9, 8), 0u);
    EXPECT_EQ(SolarTermIndex(1900, 1, 6), 0u);
    EXPECT_EQ(SolarTermIndex(2051, 1, 5), 0u);
    EXPECT_EQ(SolarTermText(2050, 9, 7), Gb("白露"));
    EXPECT_EQ(SolarTermText(2000, 12, 21), Gb("冬至"));
    EXPECT_EQ(SolarTermText(2000, 12, 20), "");
    // The rows the calendar's documentation prints, with the corrected September 2050.
    const uint8_t row2000[12] = {0x96, 0xB4, 0xA5, 0xB5, 0xA6, 0xA6, 0x87, 0x88, 0x88, 0x78, 0x87, 0x86};
    const uint8_t row2050[12] = {0xA5, 0xC3, 0xA5, 0xB5, 0xA6, 0xA6, 0x87, 0x88, 0x88, 0x78, 0x87, 0x87};
    const uint8_t row1901[12] = {0x96, 0xB4, 0x96, 0xA6, 0x97, 0x97, 0x78, 0x79, 0x79, 0x69, 0x78, 0x77};
    for (int m = 0; m < 12; ++m) {
        EXPECT_EQ(kSolarTerms[m], row1901[m]) << m;
        EXPECT_EQ(kSolarTerms[99 * 12 + m], row2000[m]) << m;
        EXPECT_EQ(kSolarTerms[149 * 12 + m], row2050[m]) << m;
    }
}

TEST(LunarCalendar, Texts) {
    EXPECT_EQ(YearText(2000), Gb("庚辰 龙年"));
    EXPECT_EQ(YearText(2024), Gb("甲辰 龙年"));
    EXPECT_EQ(YearText(1900), Gb("庚子 鼠年"));
    EXPECT_EQ(YearText(2000).size(), 9u);
    EXPECT_EQ(LunarMonthText(1), Gb("  正月"));
    EXPECT_EQ(LunarMonthText(2), Gb("  二月"));
    EXPECT_EQ(LunarMonthText(10), Gb("  十月"));
    EXPECT_EQ(LunarMonthText(11), Gb("十一月"));
    EXPECT_EQ(LunarMonthText(12), Gb("十二月"));
    for (unsigned m = 1; m <= 12; ++m) EXPECT_EQ(LunarMonthText(m).size(), 6u) << m;
    EXPECT_EQ(LunarMonthText(0), "");
    EXPECT_EQ(LunarMonthText(13), "");
    const char* days[] = {"初一", "初十", "十一", "十九", "二十", "廿一", "廿九", "三十"};
    const unsigned numbers[] = {1, 10, 11, 19, 20, 21, 29, 30};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(LunarDayText(numbers[i]), Gb(days[i])) << numbers[i];
    EXPECT_EQ(LunarDayText(0), "");
    EXPECT_EQ(LunarDayText(31), "");
}

TEST(LunarCalendar, DateTexts) {
    LunarCalendar cal;
    ASSERT_TRUE(cal.SelectDate(2000, 2, 5));
    EXPECT_EQ(cal.LunarDateText(), Gb("农历 庚辰 龙年   正月 初一"));
    ASSERT_TRUE(cal.SelectDate(2000, 1, 6));
    EXPECT_EQ(cal.LunarDateText(), Gb("农历 己卯 兔年 十一月 三十 小寒"));
    ASSERT_TRUE(cal.SelectDate(2000, 1, 1));
    EXPECT_EQ(cal.SolarDateText(), Gb("2000年1月1日 星期六"));
    ASSERT_TRUE(cal.SelectDate(2024, 2, 10));
    EXPECT_EQ(cal.LunarDateText(), Gb("农历 甲辰 龙年   正月 初一"));
}

TEST(LunarCalendar, SelectDateRejectsWhatIsNotACalendarDate) {
    LunarCalendar cal;
    ASSERT_TRUE(cal.SelectDate(2000, 2, 29));
    struct {
        unsigned y, m, d;
    } rejected[] = {{1900, 12, 31}, {2051, 1, 1}, {2000, 13, 1}, {2000, 0, 1}, {2000, 1, 0}, {2001, 2, 29},
                    {2000, 4, 31}};
    for (const auto& r : rejected) {
        EXPECT_FALSE(cal.SelectDate(r.y, r.m, r.d)) << r.y << "-" << r.m << "-" << r.d;
        EXPECT_EQ(cal.Year(), 2000u);
        EXPECT_EQ(cal.Month(), 2u);
        EXPECT_EQ(cal.Day(), 29u);
    }
}

TEST(LunarCalendar, NewCalendarHoldsTodaysLocalDate) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    LunarCalendar cal;
    if (local.tm_year + 1900 > 2050) GTEST_SKIP() << "today is beyond the calendar's range";
    EXPECT_EQ(cal.Year(), static_cast<unsigned>(local.tm_year + 1900));
    EXPECT_EQ(cal.Month(), static_cast<unsigned>(local.tm_mon + 1));
    EXPECT_EQ(cal.Day(), static_cast<unsigned>(local.tm_mday));
}

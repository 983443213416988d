#include "lunar/CalendarGrid.h"

#include <gtest/gtest.h>

#include <cmath>

#include "GbText.h"

using namespace lunar;

TEST(CalendarGrid, January2000Cells) {
    // 2000-01-01 is a Saturday: column 6 of row 0; the 2nd starts row 1.
    const GridCell first = CellOfDay(2000, 1, 1);
    EXPECT_EQ(first.column, 6);
    EXPECT_EQ(first.row, 0);
    EXPECT_EQ(first.x, 6 * 33 + 10);
    EXPECT_EQ(first.y, 1);
    const GridCell second = CellOfDay(2000, 1, 2);
    EXPECT_EQ(second.column, 0);
    EXPECT_EQ(second.row, 1);
    EXPECT_EQ(second.y, 29);
    const GridCell last = CellOfDay(2000, 1, 31);
    EXPECT_EQ(last.column, 1);
    EXPECT_EQ(last.row, 5);
    EXPECT_TRUE(IsWeekend(2000, 1, 1));
    EXPECT_TRUE(IsWeekend(2000, 1, 2));
    EXPECT_FALSE(IsWeekend(2000, 1, 3));
}

TEST(CalendarGrid, LunarLinesAndTheirColours) {
    struct Case {
        unsigned y, m, d;
        const char* text;
        LineColor color;
    };
    const Case cases[] = {
        {2000, 1, 6, "小寒", LineColor::Green},      // a solar term
        {2000, 2, 5, "正月", LineColor::Red},        // first day of a lunar month, spaces trimmed
        {2000, 1, 7, "十二月", LineColor::Red},      // lunar 1999-12-01
        {2000, 1, 8, "初二", LineColor::Current},
        {2000, 1, 26, "二十", LineColor::Current},
        {2000, 2, 3, "廿八", LineColor::Current},
        {2000, 2, 4, "立春", LineColor::Green},      // lunar 廿九, but the term wins
    };
    for (const Case& c : cases) {
        const LunarLine line = CellLunarLine(c.y, c.m, c.d);
        EXPECT_EQ(line.text, Gb(c.text)) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(line.color, c.color) << c.y << "-" << c.m << "-" << c.d;
    }
}

TEST(CalendarGrid, PickingADayAtItsEdges) {
    // January 2000: day 1 in column 6, row 0; day 31 in column 1, row 5.
    struct Case {
        int x, y;
        unsigned day;
    };
    const Case cases[] = {
        {6 * 33 + 10, 1, 1},        // the first day's cell
        {6 * 33 + 10 + 32, 28, 1},  // its bottom-right pixel
        {0, 29, 2},                 // left of the first column counts as column 0
        {9, 29, 2},
        {7 * 33 + 10, 29, 0},       // right of column 6: nothing
        {5 * 33 + 10, 1, 0},        // before day 1
        {1 * 33 + 10, 5 * 28 + 1, 31},
        {2 * 33 + 10, 5 * 28 + 1, 0},  // beyond the last day
        {10, 0, 0},                 // above row 0 counts as row 0: before day 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(DayAtPoint(2000, 1, c.x, c.y), c.day) << c.x << "," << c.y;
}

TEST(CalendarGrid, ClampingToShorterMonths) {
    EXPECT_EQ(ClampDay(2000, 4, 31), 30u);
    EXPECT_EQ(ClampDay(2000, 2, 31), 29u);
    EXPECT_EQ(ClampDay(2001, 2, 29), 28u);
    EXPECT_EQ(ClampDay(2000, 5, 31), 31u);
}

TEST(CalendarGrid, TimeLines) {
    EXPECT_EQ(TimeLineText(0, 0, 0), Gb("上午 00时00分00秒 00:00:00"));
    EXPECT_EQ(TimeLineText(11, 59, 59), Gb("上午 11时59分59秒 11:59:59"));
    EXPECT_EQ(TimeLineText(12, 5, 9), Gb("下午 00时05分09秒 12:05:09"));
    EXPECT_EQ(TimeLineText(23, 59, 59), Gb("下午 11时59分59秒 23:59:59"));
}

TEST(CalendarGrid, ClockGeometryAndAngles) {
    const ClockGeometry clock = ClockGeometryOf(166, 166);
    EXPECT_EQ(clock.centerX, 83);
    EXPECT_EQ(clock.centerY, 83);
    EXPECT_EQ(clock.radius, 63);
    struct Case {
        double value, units, x, y;
    };
    const Case cases[] = {
        {0, 60, 83, 20},    // up
        {15, 60, 146, 83},  // right: clockwise
        {30, 60, 83, 146},  // down
        {9, 12, 20, 83},    // nine o'clock: left
    };
    for (const Case& c : cases) {
        const ClockPoint p = ClockPointAt(clock, c.value, c.units, 63);
        EXPECT_NEAR(p.x, c.x, 1e-9) << c.value << "/" << c.units;
        EXPECT_NEAR(p.y, c.y, 1e-9) << c.value << "/" << c.units;
    }
}

TEST(CalendarGrid, TodayTipForAFixedDate) {
    LunarCalendar day;
    ASSERT_TRUE(day.SelectDate(2004, 1, 22));
    EXPECT_EQ(TodayTipText(day), Gb("今天是：\n◎ 公历 2004年1月22日 星期四\n◎ 农历 甲申 猴年   正月 初一"));
}

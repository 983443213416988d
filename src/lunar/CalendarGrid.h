// The calendar window's arithmetic without widgets: where each day of a
// month sits in the grid, which day a point picks, what the small line under
// a day says, the clock's geometry and the time line; and today's text for
// the tray icon's tip. Texts are GB18030 bytes like the calendar's own.
#pragma once

#include <string>

#include "lunar/LunarCalendar.h"

namespace lunar {

// The grid: 7 columns of 33 pixels from x = 10, rows of 28 pixels from y = 1.
constexpr int kGridLeft = 10;
constexpr int kGridTop = 1;
constexpr int kCellWidth = 33;
constexpr int kCellHeight = 28;

struct GridCell {
    int column = 0, row = 0;
    int x = 0, y = 0;  // top-left point of the day's text
};

// The cell of a day of the month.
GridCell CellOfDay(unsigned year, unsigned month, unsigned day);
// The day a press at (x, y) picks: 0 when it picks none (right of column 6,
// before day 1 or beyond the month's last day).
unsigned DayAtPoint(unsigned year, unsigned month, int x, int y);
// day, or the month's last day when the month is shorter.
unsigned ClampDay(unsigned year, unsigned month, unsigned day);

enum class LineColor { Current, Red, Green };
struct LunarLine {
    std::string text;
    LineColor color = LineColor::Current;
};
// The line under a day: the lunar month's name (red) on its first day, else
// the solar term (green), else the lunar day.
LunarLine CellLunarLine(unsigned year, unsigned month, unsigned day);
// Saturday and Sunday are written in red.
bool IsWeekend(unsigned year, unsigned month, unsigned day);

struct ClockGeometry {
    int centerX = 0, centerY = 0, radius = 0;
};
// Centre and radius of the clock in a box of width x height with the margin.
ClockGeometry ClockGeometryOf(int width, int height, int margin = 20);

struct ClockPoint {
    double x = 0, y = 0;
};
// The point at distance from the centre for value out of a full turn of
// units: 0 points up, angles grow clockwise (screen y points down).
ClockPoint ClockPointAt(const ClockGeometry& clock, double value, double units, double distance);

// "上午 09时05分07秒 09:05:07"; afternoon hours count from 00 again.
std::string TimeLineText(int hour, int minute, int second);

// "今天是：\n◎ 公历 <SolarDateText>\n◎ <LunarDateText>".
std::string TodayTipText(const LunarCalendar& today);

}  // namespace lunar

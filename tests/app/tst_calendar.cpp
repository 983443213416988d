// The calendar window: its controls, the painted month grid, picking days,
// paging months and years, the time line, applying the date and the one
// window at a time.
#include "ScriptedResponder.h"
#include "TestSettings.h"

#include "app/Cal_form.h"
#include "app/Main.h"
#include "kellib/qt/Kelregistry.h"
#include "kellib/qt/Kelsystemtime.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <optional>

namespace {

const QColor kRed(0xFF, 0, 0);
const QColor kGreen(0, 0x80, 0);
const QColor kNavy(0, 0, 0x80);
const QColor kYellow(0xFF, 0xFF, 0);

// The colour of the grid's palette nearest to a pixel: glyphs are smoothed,
// so their pixels lie between the text colour and the background.
QColor nearestOfPalette(const QColor& pixel)
{
    const QColor palette[] = {Qt::white, Qt::black, QColor(0x80, 0x80, 0x80), QColor(0xC0, 0xC0, 0xC0), kRed,
                              kGreen, kNavy, kYellow, QColor(0, 0, 0xFF)};
    auto distance = [&](const QColor& c) {
        const int r = c.red() - pixel.red(), g = c.green() - pixel.green(), b = c.blue() - pixel.blue();
        return r * r + g * g + b * b;
    };
    QColor best = palette[0];
    for (const QColor& c : palette)
        if (distance(c) < distance(best))
            best = c;
    return best;
}

// How many pixels in the rectangle are nearest to colour.
int pixelsOf(const QImage& image, const QRect& area, const QColor& colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += nearestOfPalette(image.pixelColor(x, y)) == colour;
    return count;
}

// The day number's and the lunar line's parts of a day's cell.
QRect numberArea(const lunar::GridCell& c) { return QRect(c.x, c.y, 30, 13); }
QRect lunarArea(const lunar::GridCell& c) { return QRect(c.x, c.y + 14, 30, 11); }

} // namespace

class TestCalendar : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QImage paintedGrid(TFormCalendar& form)
    {
        return form.PaintBoxDate->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    void click(TFormCalendar& form, int x, int y)
    {
        QTest::mousePress(form.PaintBoxDate, Qt::LeftButton, {}, QPoint(x, y));
    }
    QString selected(const TFormCalendar& form)
    {
        const auto& c = form.Calendar();
        return QString("%1-%2-%3").arg(c.Year()).arg(c.Month()).arg(c.Day());
    }

private slots:
    void initTestCase()
    {
        UseSettingsIn(dir_.path());
    }

    void controlsUnderTheirNames()
    {
        TFormCalendar form(nullptr);
        form.show();
        QCOMPARE(form.windowTitle(), QString("日历 "));
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        for (const char* name : {"ComboBoxMonth", "EditYear", "UpDown1", "LabelYear", "PaintBoxDate", "LabelTime",
                                 "PaintBoxTime", "Timer1", "ButtonOK", "ButtonCancel", "ButtonApply"})
            QVERIFY2(form.findChild<QObject*>(QLatin1String(name)), name);
        QCOMPARE(form.PaintBoxDate->size(), QSize(244, 166));
        QCOMPARE(form.PaintBoxTime->size(), QSize(166, 166));
        QCOMPARE(form.ComboBoxMonth->count(), 12);
        QCOMPARE(form.ComboBoxMonth->itemText(0), QString("一月"));
        QCOMPARE(form.ComboBoxMonth->itemText(11), QString("十二月"));
        QCOMPARE(form.UpDown1->minimum(), 1901);
        QCOMPARE(form.UpDown1->maximum(), 2050);
        QVERIFY(form.EditYear->isReadOnly());
        QCOMPARE(form.Timer1->interval(), 1000);
        QVERIFY(form.Timer1->isActive());
        QCOMPARE(form.ButtonOK->text(), QString("确认"));
        QCOMPARE(form.ButtonCancel->text(), QString("取消"));
        QCOMPARE(form.ButtonApply->text(), QString("应用"));
        QVERIFY(!form.ButtonOK->isEnabled() && !form.ButtonApply->isEnabled());
        // Starts on today.
        const QDate today = QDate::currentDate();
        QCOMPARE(selected(form), QString("%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day()));
        QCOMPARE(form.EditYear->text(), QString::number(today.year()));
        QCOMPARE(form.ComboBoxMonth->currentIndex(), today.month() - 1);
    }

    void january2000IsPaintedAsDescribed()
    {
        TFormCalendar form(nullptr);
        form.show();
        QVERIFY(form.SelectDate(2000, 1, 5));
        QCOMPARE(form.EditYear->text(), QString("2000"));
        QCOMPARE(form.ComboBoxMonth->currentIndex(), 0);
        QCOMPARE(form.LabelYear->text(), QString("农历 己卯 兔年 十一月 廿九"));
        const QImage grid = paintedGrid(form);
        // Day 1, a Saturday, in column 6 of row 0, in red; Monday the 3rd in black.
        const lunar::GridCell first = lunar::CellOfDay(2000, 1, 1);
        QCOMPARE(QPoint(first.column, first.row), QPoint(6, 0));
        QVERIFY(pixelsOf(grid, numberArea(first), kRed) > 5);
        const lunar::GridCell monday = lunar::CellOfDay(2000, 1, 3);
        QCOMPARE(pixelsOf(grid, numberArea(monday), kRed), 0);
        QVERIFY(pixelsOf(grid, numberArea(monday), Qt::black) > 5);
        // 小寒 on the 6th in green; the lunar day of the 3rd is not.
        QVERIFY(pixelsOf(grid, lunarArea(lunar::CellOfDay(2000, 1, 6)), kGreen) > 5);
        QCOMPARE(pixelsOf(grid, lunarArea(monday), kGreen), 0);
        // The selected 5th: navy cell, yellow number and lunar line.
        const lunar::GridCell fifth = lunar::CellOfDay(2000, 1, 5);
        QCOMPARE(grid.pixelColor(fifth.x - 1, fifth.y - 1), kNavy);
        QCOMPARE(grid.pixelColor(fifth.x + 29, fifth.y + 24), kNavy);
        QCOMPARE(grid.pixelColor(fifth.x + 30, fifth.y + 25), QColor(Qt::white));
        QVERIFY(pixelsOf(grid, numberArea(fifth), kYellow) > 5);
        QVERIFY(pixelsOf(grid, lunarArea(fifth), kYellow) > 5);
        // No cell beyond the 31st.
        const lunar::GridCell last = lunar::CellOfDay(2000, 1, 31);
        QCOMPARE(pixelsOf(grid, QRect(last.x + 33, last.y, 100, 25), Qt::black), 0);

        // February 5, 2000 shows 正月 in red.
        QVERIFY(form.SelectDate(2000, 1, 10));
        form.ComboBoxMonth->setCurrentIndex(1);
        QCOMPARE(selected(form), QString("2000-2-10"));
        const QImage february = paintedGrid(form);
        QVERIFY(pixelsOf(february, lunarArea(lunar::CellOfDay(2000, 2, 5)), kRed) > 5);
    }

    void pickingDays()
    {
        TFormCalendar form(nullptr);
        form.show();
        QVERIFY(form.SelectDate(2000, 1, 5));
        struct Press { int x, y; const char* date; bool enabled; };
        const Press presses[] = {
            {7 * 33 + 10, 29, "2000-1-5", false},    // right of column 6: nothing
            {5 * 33 + 10, 1, "2000-1-5", false},     // before day 1: nothing
            {2 * 33 + 10, 5 * 28 + 1, "2000-1-5", false},  // beyond the 31st
            {3 * 33 + 15, 29 + 10, "2000-1-5", false},     // the selected day again
            {3, 29, "2000-1-2", true},               // left of the first column: column 0
            {6 * 33 + 10, 1, "2000-1-1", true},
            {1 * 33 + 10, 5 * 28 + 1, "2000-1-31", true},
        };
        for (const Press& p : presses) {
            click(form, p.x, p.y);
            QCOMPARE(selected(form), QString(p.date));
            QCOMPARE(form.ButtonApply->isEnabled(), p.enabled);
            QCOMPARE(form.ButtonOK->isEnabled(), p.enabled);
        }
    }

    void pagingMonthsAndYears()
    {
        TFormCalendar form(nullptr);
        form.show();
        QVERIFY(form.SelectDate(2000, 3, 31));
        form.ComboBoxMonth->setCurrentIndex(3);   // April has 30 days
        QCOMPARE(selected(form), QString("2000-4-30"));
        QVERIFY(form.SelectDate(2000, 2, 29));
        form.UpDown1->stepUp();                   // 2001 is a common year
        QCOMPARE(selected(form), QString("2001-2-28"));
        QCOMPARE(form.EditYear->text(), QString("2001"));
        QVERIFY(form.SelectDate(2050, 12, 31));
        form.UpDown1->stepUp();                   // no wrap beyond 2050
        QCOMPARE(selected(form), QString("2050-12-31"));
        QVERIFY(form.SelectDate(1901, 1, 1));
        form.UpDown1->stepDown();
        QCOMPARE(selected(form), QString("1901-1-1"));
        QVERIFY(!form.SelectDate(1900, 12, 31));
        QCOMPARE(form.EditYear->text(), QString("1901"));
        QVERIFY(!form.ButtonApply->isEnabled());   // paging alone picks no day
    }

    void timeLines_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("line");
        QTest::newRow("midnight") << QTime(0, 0, 0) << "上午 00时00分00秒 00:00:00";
        QTest::newRow("noon") << QTime(12, 5, 9) << "下午 00时05分09秒 12:05:09";
        QTest::newRow("last second") << QTime(23, 59, 59) << "下午 11时59分59秒 23:59:59";
    }
    void timeLines()
    {
        QFETCH(QTime, time);
        QFETCH(QString, line);
        TFormCalendar form(nullptr);
        form.show();
        form.ShowTime(time);
        QCOMPARE(form.LabelTime->text(), line);
    }

    void clockHandsArePainted()
    {
        TFormCalendar form(nullptr);
        form.show();
        form.Timer1->stop();
        form.ShowTime(QTime(3, 0, 30));   // hour hand right, minute hand just past 12, second hand down
        const QImage clock = form.PaintBoxTime->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(clock.pixelColor(83 + 30, 83), QColor(Qt::black));        // hour hand, length 38
        QVERIFY(pixelsOf(clock, QRect(82, 38, 8, 12), QColor(0, 0x80, 0)) > 5);   // minute hand, length 48
        QCOMPARE(clock.pixelColor(83, 83 + 50), QColor(0, 0, 0xFF));       // second hand, length 57
        QCOMPARE(clock.pixelColor(83, 20), QColor(Qt::black));             // the filled dot at 12
        QCOMPARE(clock.pixelColor(83 - 30, 83), QColor(Qt::white));
    }

    void applyingSetsTheSystemDate()
    {
        std::optional<QDateTime> set;
        SetSystemTimeService([&](const QDateTime& when) { set = when; });
        TFormCalendar form(nullptr);
        form.show();
        QVERIFY(form.SelectDate(2000, 1, 5));
        click(form, 3, 29);
        const QTime before = QTime::currentTime();
        form.ButtonApply->click();
        QVERIFY(set.has_value());
        QCOMPARE(set->date(), QDate(2000, 1, 2));
        QVERIFY(qAbs(set->time().secsTo(before)) <= 2 || qAbs(set->time().secsTo(before)) >= 86398);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(!form.ButtonApply->isEnabled() && !form.ButtonOK->isEnabled());

        // OK closes without touching the clock.
        set.reset();
        TFormCalendar other(nullptr);
        other.show();
        click(other, 3, 29 + 28);
        other.ButtonOK->click();
        QVERIFY(!set.has_value());
        QCOMPARE(other.result(), int(QDialog::Accepted));
        SetSystemTimeService(nullptr);
    }

    void oneCalendarWindowAtATime()
    {
        ScriptedResponder responder;
        TFormMain form(nullptr);
        SetAppMainWindow(&form);
        form.FormCreate(QString());
        form.UpdateActions();
        QVERIFY(form.ActionCalendar->isEnabled());
        TFormCalendar* seen = nullptr;
        responder.dialogs << [&](QDialog* d) {
            seen = qobject_cast<TFormCalendar*>(d);
            QVERIFY(seen);
            QCOMPARE(TFormCalendar::OpenWindow(), seen);
            form.ActionCalendar->trigger();   // brings the open one forward
            d->reject();
        };
        form.ActionCalendar->trigger();
        QCOMPARE(responder.dialogsRun, 1);
        QVERIFY(!TFormCalendar::OpenWindow());   // destroyed when closed
        form.close();
        SetAppMainWindow(nullptr);
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"

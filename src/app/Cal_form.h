// TFormCalendar: one Gregorian month with its lunar days, solar terms and
// lunar month names, an analogue clock and the time line; the picked date
// can be applied to the computer's clock. One window at a time.
#pragma once

#include <QDialog>
#include <QTime>

#include <functional>

#include "lunar/CalendarGrid.h"
#include "lunar/LunarCalendar.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QSpinBox;
class QTimer;

// A box its owner paints and takes presses on.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    TPaintBox(const char* name, int width, int height, QWidget* parent);
    std::function<void(QPainter&)> OnPaint;
    std::function<void(const QPoint&)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
};

class TFormCalendar : public QDialog {
    Q_OBJECT
public:
    explicit TFormCalendar(QWidget* owner);

    // ActionCalendarExecute: runs the window modally, or brings the open
    // one to the front.
    static void Execute(QWidget* owner);
    static TFormCalendar* OpenWindow();

    const lunar::LunarCalendar& Calendar() const { return calendar_; }
    bool SelectDate(unsigned year, unsigned month, unsigned day);
    // The time line and the hands for a time of day.
    void ShowTime(const QTime& time);

    QComboBox* ComboBoxMonth = nullptr;
    QLineEdit* EditYear = nullptr;
    QSpinBox* UpDown1 = nullptr;
    QLabel* LabelYear = nullptr;
    TPaintBox* PaintBoxDate = nullptr;
    QLabel* LabelTime = nullptr;
    TPaintBox* PaintBoxTime = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonApply = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QWidget* CreateDatePanel();
    QWidget* CreateClockPanel();
    void DrawMonth();
    void PaintBoxDatePaint(QPainter& p);
    void PaintBoxDateMouseDown(const QPoint& pos);
    void PaintBoxTimePaint(QPainter& p);
    void DrawHands(QPainter& p);
    void ComboBoxMonthChange(int index);
    void UpDown1Click(int year);
    void ButtonApplyClick();
    void SetChangeButtons(bool enabled);

    lunar::LunarCalendar calendar_;
    bool updating_ = false;
    int margin_ = 20;
    lunar::ClockGeometry clock_;
    QTime time_;
};

#include "app/Cal_form.h"

#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelsystemtime.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QColor kRed(0xFF, 0, 0);
const QColor kGreen(0, 0x80, 0);
const QColor kNavy(0, 0, 0x80);
const QColor kYellow(0xFF, 0xFF, 0);
const QColor kBlue(0, 0, 0xFF);
const QColor kGray(0x80, 0x80, 0x80);

QString fromAnsi(const std::string& text)
{
    return QString::fromStdString(AnsiToUtf8(text));
}

QFont gridFont(int pointSize, bool bold)
{
    QFont font;
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

// Text with its top-left point at (x, y) on the painter's background.
void textOut(QPainter& p, int x, int y, const QString& text)
{
    const QRect box = p.fontMetrics().boundingRect(QRect(x, y, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
    p.fillRect(box, p.background());
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
}

QPointF roundedHalfUp(const lunar::ClockPoint& point)
{
    return QPointF(std::floor(point.x + 0.5), std::floor(point.y + 0.5));
}

QPointer<TFormCalendar>& openWindow()
{
    static QPointer<TFormCalendar> window;
    return window;
}

} // namespace

TPaintBox::TPaintBox(const char* name, int width, int height, QWidget* parent) : QWidget(parent)
{
    setObjectName(QLatin1String(name));
    setFixedSize(width, height);
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (OnPaint)
        OnPaint(p);
}

void TPaintBox::mousePressEvent(QMouseEvent* e)
{
    if (OnMouseDown)
        OnMouseDown(e->position().toPoint());
}

TFormCalendar::TFormCalendar(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FormCalendar"));
    setWindowTitle(QStringLiteral("日历 "));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint
                   | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* sheet = new QWidget(pages);
    sheet->setObjectName(QStringLiteral("TabSheetDateTime"));
    auto* sheetLayout = new QHBoxLayout(sheet);
    sheetLayout->addWidget(CreateDatePanel());
    sheetLayout->addWidget(CreateClockPanel());
    pages->addTab(sheet, QStringLiteral("日期和时间"));

    ButtonOK = new QPushButton(QStringLiteral("确认"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonCancel = new QPushButton(QStringLiteral("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonApply = new QPushButton(QStringLiteral("应用"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    for (QPushButton* b : {ButtonOK, ButtonCancel, ButtonApply})
        b->setAutoDefault(false);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);   // Escape too
    connect(ButtonApply, &QPushButton::clicked, this, &TFormCalendar::ButtonApplyClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonApply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { ShowTime(QTime::currentTime()); });
    Timer1->start();
}

QWidget* TFormCalendar::CreateDatePanel()
{
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);

    ComboBoxMonth = new QComboBox(panel);
    ComboBoxMonth->setObjectName(QStringLiteral("ComboBoxMonth"));
    ComboBoxMonth->addItems({QStringLiteral("一月"), QStringLiteral("二月"), QStringLiteral("三月"),
                             QStringLiteral("四月"), QStringLiteral("五月"), QStringLiteral("六月"),
                             QStringLiteral("七月"), QStringLiteral("八月"), QStringLiteral("九月"),
                             QStringLiteral("十月"), QStringLiteral("十一月"), QStringLiteral("十二月")});
    connect(ComboBoxMonth, &QComboBox::currentIndexChanged, this, &TFormCalendar::ComboBoxMonthChange);

    // The year box is the up-down control's own read-only edit.
    UpDown1 = new QSpinBox(panel);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(int(lunar::kFirstYear), int(lunar::kLastYear));
    UpDown1->setGroupSeparatorShown(false);
    UpDown1->setWrapping(false);
    EditYear = UpDown1->findChild<QLineEdit*>();
    EditYear->setObjectName(QStringLiteral("EditYear"));
    EditYear->setReadOnly(true);
    connect(UpDown1, &QSpinBox::valueChanged, this, &TFormCalendar::UpDown1Click);

    LabelYear = new QLabel(panel);
    LabelYear->setObjectName(QStringLiteral("LabelYear"));
    LabelYear->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* weekdays = new QWidget(panel);
    weekdays->setFixedSize(244, 16);
    const char* names[] = {"日", "一", "二", "三", "四", "五", "六"};
    for (int i = 0; i < 7; ++i) {
        auto* label = new QLabel(QString::fromUtf8(names[i]), weekdays);
        label->setObjectName(QStringLiteral("LabelWeek%1").arg(i));
        label->setGeometry(i * lunar::kCellWidth + lunar::kGridLeft, 0, 24, 16);
        label->setAlignment(Qt::AlignCenter);
    }

    PaintBoxDate = new TPaintBox("PaintBoxDate", 244, 166, panel);
    PaintBoxDate->OnPaint = [this](QPainter& p) { PaintBoxDatePaint(p); };
    PaintBoxDate->OnMouseDown = [this](const QPoint& pos) { PaintBoxDateMouseDown(pos); };

    grid->addWidget(ComboBoxMonth, 0, 0);
    grid->addWidget(UpDown1, 0, 1);
    grid->addWidget(LabelYear, 1, 0, 1, 2);
    grid->addWidget(weekdays, 2, 0, 1, 2);
    grid->addWidget(PaintBoxDate, 3, 0, 1, 2);
    return panel;
}

QWidget* TFormCalendar::CreateClockPanel()
{
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    LabelTime = new QLabel(panel);
    LabelTime->setObjectName(QStringLiteral("LabelTime"));
    LabelTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PaintBoxTime = new TPaintBox("PaintBoxTime", 166, 166, panel);
    PaintBoxTime->OnPaint = [this](QPainter& p) { PaintBoxTimePaint(p); };
    column->addWidget(LabelTime);
    column->addStretch(1);
    column->addWidget(PaintBoxTime);
    return panel;
}

void TFormCalendar::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    clock_ = lunar::ClockGeometryOf(PaintBoxTime->width(), PaintBoxTime->height(), margin_);
    DrawMonth();
    ShowTime(QTime::currentTime());
    SetChangeButtons(false);
}

TFormCalendar* TFormCalendar::OpenWindow()
{
    return openWindow();
}

void TFormCalendar::Execute(QWidget* owner)
{
    if (TFormCalendar* open = openWindow()) {
        BringAppToFront();
        open->raise();
        open->activateWindow();
        return;
    }
    TFormCalendar form(owner);
    openWindow() = &form;
    ExecDialog(&form);
}

bool TFormCalendar::SelectDate(unsigned year, unsigned month, unsigned day)
{
    if (!calendar_.SelectDate(year, month, day))
        return false;
    DrawMonth();
    return true;
}

void TFormCalendar::SetChangeButtons(bool enabled)
{
    ButtonOK->setEnabled(enabled);
    ButtonApply->setEnabled(enabled);
}

void TFormCalendar::DrawMonth()
{
    updating_ = true;
    UpDown1->setValue(int(calendar_.Year()));
    ComboBoxMonth->setCurrentIndex(int(calendar_.Month()) - 1);
    updating_ = false;
    LabelYear->setText(fromAnsi(calendar_.LunarDateText()));
    PaintBoxDate->update();
}

void TFormCalendar::PaintBoxDatePaint(QPainter& p)
{
    p.fillRect(PaintBoxDate->rect(), Qt::white);
    const unsigned year = calendar_.Year(), month = calendar_.Month();
    for (unsigned day = 1; day <= lunar::DaysInMonth(year, month); ++day) {
        const lunar::GridCell cell = lunar::CellOfDay(year, month, day);
        const QString number = QString::number(day);
        p.setFont(gridFont(11, true));
        p.setBackground(Qt::white);
        p.setPen(lunar::IsWeekend(year, month, day) ? kRed : Qt::black);
        textOut(p, cell.x, cell.y, number);
        QColor current = Qt::black;
        if (day == calendar_.Day()) {
            p.fillRect(QRect(QPoint(cell.x - 1, cell.y - 1), QPoint(cell.x + 29, cell.y + 24)), kNavy);
            p.setBackground(kNavy);
            current = kYellow;
            p.setPen(current);
            textOut(p, cell.x, cell.y, number);
        }
        const lunar::LunarLine line = lunar::CellLunarLine(year, month, day);
        p.setFont(gridFont(7, false));
        p.setPen(line.color == lunar::LineColor::Red     ? kRed
                 : line.color == lunar::LineColor::Green ? kGreen
                                                         : current);
        textOut(p, cell.x, cell.y + 14, fromAnsi(line.text));
    }
}

void TFormCalendar::PaintBoxDateMouseDown(const QPoint& pos)
{
    bool isNumber = false;
    unsigned year = EditYear->text().toUInt(&isNumber);
    if (!isNumber)
        year = lunar::kFirstYear;
    const unsigned month = unsigned(ComboBoxMonth->currentIndex()) + 1;
    const unsigned day = lunar::DayAtPoint(year, month, pos.x(), pos.y());
    if (day == 0 || (year == calendar_.Year() && month == calendar_.Month() && day == calendar_.Day()))
        return;
    if (!calendar_.SelectDate(year, month, day))
        return;
    SetChangeButtons(true);
    DrawMonth();
}

void TFormCalendar::ComboBoxMonthChange(int index)
{
    if (updating_ || index < 0)
        return;
    const unsigned month = unsigned(index) + 1;
    calendar_.SelectDate(calendar_.Year(), month, lunar::ClampDay(calendar_.Year(), month, calendar_.Day()));
    DrawMonth();
}

void TFormCalendar::UpDown1Click(int year)
{
    if (updating_)
        return;
    // February 29 of a leap year becomes the 28th in a common year.
    const unsigned y = unsigned(year), month = calendar_.Month();
    calendar_.SelectDate(y, month, lunar::ClampDay(y, month, calendar_.Day()));
    DrawMonth();
}

void TFormCalendar::PaintBoxTimePaint(QPainter& p)
{
    p.fillRect(PaintBoxTime->rect(), Qt::white);
    p.setPen(kGray);
    p.setBrush(Qt::white);
    auto ring = [&](int step, double dotRadius) {
        for (int v = 0; v < 60; v += step)
            p.drawEllipse(roundedHalfUp(lunar::ClockPointAt(clock_, v, 60, clock_.radius)), dotRadius, dotRadius);
    };
    ring(1, 1);
    ring(5, 2);
    p.setBrush(Qt::black);
    ring(15, 3);
    DrawHands(p);
}

void TFormCalendar::DrawHands(QPainter& p)
{
    const QPointF centre(clock_.centerX, clock_.centerY);
    p.setPen(Qt::white);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, clock_.radius - 5, clock_.radius - 5);
    const int h = time_.hour(), m = time_.minute(), s = time_.second();
    struct Hand {
        QColor color;
        int width, length;
        double value, units;
    };
    const Hand hands[] = {
        {Qt::black, 3, clock_.radius - 25, h % 12 + m / 60.0, 12},
        {kGreen, 2, clock_.radius - 15, m + s / 60.0, 60},
        {kBlue, 1, clock_.radius - 6, double(s), 60},
    };
    for (const Hand& hand : hands) {
        p.setPen(QPen(hand.color, hand.width));
        const lunar::ClockPoint tip = lunar::ClockPointAt(clock_, hand.value, hand.units, hand.length);
        p.drawLine(centre, QPointF(tip.x, tip.y));
    }
}

void TFormCalendar::ShowTime(const QTime& time)
{
    time_ = time;
    LabelTime->setText(fromAnsi(lunar::TimeLineText(time.hour(), time.minute(), time.second())));
    PaintBoxTime->update();
}

void TFormCalendar::ButtonApplyClick()
{
    const QDate date(int(calendar_.Year()), int(calendar_.Month()), int(calendar_.Day()));
    SetSystemTime(QDateTime(date, QTime::currentTime()));
    SetChangeButtons(false);
    accept();
}

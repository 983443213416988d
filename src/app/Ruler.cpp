#include "app/Ruler.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr double kFactor = kPointsToPixels;   // the float's value, in double arithmetic
constexpr int kLineLeft = 2;

// An 11-pixel marker: a triangle pointing down (top row) or up (bottom row).
QPixmap MarkerImage(bool pointsDown) {
    QPixmap image(11, 8);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    if (pointsDown) {
        path.moveTo(0.5, 0.5);
        path.lineTo(10.5, 0.5);
        path.lineTo(5.5, 7.5);
    } else {
        path.moveTo(5.5, 0.5);
        path.lineTo(10.5, 7.5);
        path.lineTo(0.5, 7.5);
    }
    path.closeSubpath();
    painter.fillPath(path, QColor(0xE0, 0xE0, 0xE0));
    painter.setPen(Qt::black);
    painter.drawPath(path);
    return image;
}

QLabel* MakeMarker(QWidget* parent, const char* name, const QString& hint, bool top) {
    auto* marker = new QLabel(parent);
    marker->setObjectName(QLatin1String(name));
    marker->setToolTip(hint);
    marker->setPixmap(MarkerImage(top));
    marker->setAttribute(Qt::WA_TranslucentBackground);
    marker->setFixedSize(11, 8);
    marker->setCursor(Qt::SizeHorCursor);
    return marker;
}

} // namespace

int FirstMarkerLeft(int firstIndent) {
    return int(firstIndent * kFactor) + kRulerMargin - 4;
}

int HangingMarkerLeft(int firstIndent, int hangingIndent) {
    return int((hangingIndent + firstIndent) * kFactor) + kRulerMargin - 4;
}

int RightMarkerLeft(int rulerWidth, int rightIndent) {
    return rulerWidth - int((rightIndent + kRulerMargin) * kFactor) - 6;
}

int FirstIndentAt(int markerLeft, int offset) {
    return int((markerLeft + offset - kRulerMargin) / kFactor);
}

int HangingIndentAt(int markerLeft, int offset, int firstIndent) {
    return int((markerLeft + offset - kRulerMargin) / kFactor) - firstIndent;
}

int RightIndentAt(int rulerWidth, int markerLeft, int offset) {
    return int((rulerWidth + offset - markerLeft - 2) / kFactor) - 2 * kRulerMargin;
}

TRuler::TRuler(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Ruler"));
    setFixedHeight(26);
    setAutoFillBackground(true);
    RulerLine = new QFrame(this);
    RulerLine->setObjectName(QStringLiteral("RulerLine"));
    RulerLine->setFrameShape(QFrame::HLine);
    RulerLine->setFrameShadow(QFrame::Sunken);
    ImageRTFFirstIndent = MakeMarker(this, "ImageRTFFirstIndent", QStringLiteral("首行缩进"), true);
    ImageRTFLeftIndent = MakeMarker(this, "ImageRTFLeftIndent", QStringLiteral("悬挂缩进"), false);
    ImageRTFRightIndent = MakeMarker(this, "ImageRTFRightIndent", QStringLiteral("右缩进"), false);
    ImageRTFFirstIndent->move(FirstMarkerLeft(0), 0);
    ImageRTFLeftIndent->move(HangingMarkerLeft(0, 0), height() - 8);
    ImageRTFRightIndent->move(RightMarkerLeft(width(), 0), height() - 8);
}

QString TRuler::Caption() {
    QString caption = QStringLiteral("|");
    for (int i = 0; i < 100; ++i)
        caption += QStringLiteral("\t|");
    return caption;
}

void TRuler::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(8);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(kRulerMargin, 8, width() - kRulerMargin, 10),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextExpandTabs, Caption());
}

void TRuler::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    RulerLine->setGeometry(kLineLeft, height() / 2 - 1, width() - 2 * kLineLeft, 2);
    for (QLabel* marker : {ImageRTFLeftIndent, ImageRTFRightIndent})
        marker->move(marker->x(), height() - 8);
}

// The ruler above the RTF editor: tick marks, the line under them and the
// three indent markers, and the arithmetic between marker positions and the
// paragraph's indents in points.
#pragma once

#include <QFrame>

class QLabel;

// Pixels per point at 96 dpi: the single-precision value nearest 4/3.
inline constexpr float kPointsToPixels = 4.0f / 3.0f;
// Where the ruler's zero stands, in pixels from its left edge.
inline constexpr int kRulerMargin = 6;

// Marker lefts for the first-line indent F, the hanging indent L (relative
// to F) and the right indent R, all in points.
int FirstMarkerLeft(int firstIndent);
int HangingMarkerLeft(int firstIndent, int hangingIndent);
int RightMarkerLeft(int rulerWidth, int rightIndent);
// The indents a released marker stands for; offset is the drag offset.
int FirstIndentAt(int markerLeft, int offset);
int HangingIndentAt(int markerLeft, int offset, int firstIndent);
int RightIndentAt(int rulerWidth, int markerLeft, int offset);

class TRuler : public QFrame {
public:
    explicit TRuler(QWidget* parent);

    QLabel* ImageRTFFirstIndent = nullptr;
    QLabel* ImageRTFLeftIndent = nullptr;
    QLabel* ImageRTFRightIndent = nullptr;
    QFrame* RulerLine = nullptr;

    // "|" followed by 100 times a tab and "|".
    static QString Caption();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

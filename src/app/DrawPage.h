// The whiteboard page TabSheetDraw: the tool bar PanelDrawTools and the
// picture ImageDraw in the scroll box ScrollBoxDraw. The picture is a raster
// image drawn with a pen, rubber-band lines and ellipses in not-xor mode, and
// a 10 x 10 eraser; the node's content is the picture as a BMP file.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <string>

class QAction;
class QButtonGroup;
class QComboBox;
class QScrollArea;
class QToolButton;

// ImageDraw: shows the picture at its own size and turns mouse input into
// drawing on it.
class ImageDraw : public QWidget {
    Q_OBJECT
public:
    enum Tool { kPen = 0, kLine, kEllipse, kRubber };
    static constexpr int kRubberHalf = 5;

    explicit ImageDraw(QWidget* parent = nullptr);
    QImage& Picture() { return picture_; }
    void SetPicture(QImage picture);
    void SetTool(Tool tool) { tool_ = tool; }
    void SetPenColor(QColor color) { penColor_ = color; }
    QColor PenColor() const { return penColor_; }
    bool modified = false;
    bool readOnly = false;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void DrawPreview(QPoint to);   // the rubber band or eraser outline, not-xor
    void EraseAt(QPoint at);

    QImage picture_;
    Tool tool_ = kPen;
    QColor penColor_ = Qt::black;
    QPoint start_, last_;
    bool buttonDown_ = false;
    bool previewDrawn_ = false;
};

class DrawPage : public QWidget {
    Q_OBJECT
public:
    // pastePicture: the main window's ActionPastePicture, run by the paste button.
    DrawPage(QAction* pastePicture, QWidget* parent = nullptr);

    // New pictures get this size (settings WhiteBoardWidth, WhiteBoardHeight).
    void SetNewSize(int width, int height);
    // Shows the payload: empty = a new white picture; a BMP file; anything
    // else shows "不能读入图片。" and returns false, the picture unchanged.
    bool Load(const std::string& payload);
    // The picture as a BMP file.
    std::string Save() const;
    bool IsModified() const { return image_->modified; }
    void SetModified(bool modified) { image_->modified = modified; }
    void SetReadOnly(bool readOnly);
    // Replaces the picture by a clipboard image; the surface takes its size.
    void PastePicture(const QImage& image);
    // Asks, then fills the picture white.
    void Clear();
    // Asks for a file name, then writes the picture there as BMP.
    void SaveAs();
    ImageDraw* Image() const { return image_; }

    // A picture as a whiteboard payload (24-bit BMP).
    static std::string BmpOf(const QImage& image);

private:
    void NewPicture();

    int newWidth_ = 600;
    int newHeight_ = 400;
    ImageDraw* image_ = nullptr;
    QScrollArea* ScrollBoxDraw = nullptr;
    QWidget* PanelDrawTools = nullptr;
    QComboBox* ColorBoxDraw = nullptr;
    QButtonGroup* tools_ = nullptr;
};

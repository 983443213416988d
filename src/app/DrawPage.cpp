#include "app/DrawPage.h"

#include "kellib/Kelbmp.h"
#include "kellib/qt/Kelapputil.h"

#include <vector>

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QSaveFile>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A painter on the picture with the canvas's pen (width 1) and white brush.
struct Canvas : QPainter {
    Canvas(QImage& image, QColor pen, QPainter::CompositionMode mode) : QPainter(&image)
    {
        setRenderHint(QPainter::Antialiasing, false);
        setPen(QPen(pen, 0));
        setBrush(Qt::white);
        setCompositionMode(mode);
    }
};

constexpr auto kNotXor = QPainter::RasterOp_NotSourceXorDestination;
constexpr auto kCopy = QPainter::CompositionMode_SourceOver;

// The eraser square of half-size 5 around p: 10 x 10 pixels, right and bottom excluded.
QRect RubberSquare(QPoint p)
{
    return QRect(p.x() - ImageDraw::kRubberHalf, p.y() - ImageDraw::kRubberHalf, 2 * ImageDraw::kRubberHalf,
                 2 * ImageDraw::kRubberHalf);
}

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& hint, const QString& text)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setText(text);
    parent->layout()->addWidget(button);
    return button;
}

} // namespace

// ---- ImageDraw -----------------------------------------------------------------

ImageDraw::ImageDraw(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ImageDraw"));
    setCursor(Qt::CrossCursor);
}

void ImageDraw::SetPicture(QImage picture)
{
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    setFixedSize(picture_.size());
    previewDrawn_ = false;
    buttonDown_ = false;
    update();
}

void ImageDraw::paintEvent(QPaintEvent* e)
{
    QPainter painter(this);
    painter.drawImage(e->rect(), picture_, e->rect());
}

void ImageDraw::mousePressEvent(QMouseEvent* e)
{
    if (readOnly || e->button() != Qt::LeftButton)
        return;
    buttonDown_ = true;
    start_ = e->position().toPoint();
}

void ImageDraw::DrawPreview(QPoint to)
{
    Canvas canvas(picture_, penColor_, kNotXor);
    if (tool_ == kLine)
        canvas.drawLine(start_, to);
    else if (tool_ == kEllipse)
        canvas.drawEllipse(QRect(start_, to).normalized());
    else
        canvas.drawRect(RubberSquare(to).adjusted(0, 0, -1, -1));
}

void ImageDraw::EraseAt(QPoint at)
{
    Canvas(picture_, penColor_, kCopy).fillRect(RubberSquare(at), Qt::white);
}

void ImageDraw::mouseMoveEvent(QMouseEvent* e)
{
    if (!buttonDown_)
        return;
    const QPoint at = e->position().toPoint();
    if (tool_ == kPen) {
        Canvas(picture_, penColor_, kCopy).drawLine(start_, at);
        start_ = at;
    } else {
        if (previewDrawn_)
            DrawPreview(last_);
        if (tool_ == kRubber)
            EraseAt(at);
        DrawPreview(at);
        last_ = at;
        previewDrawn_ = true;
    }
    modified = true;
    update();
}

void ImageDraw::mouseReleaseEvent(QMouseEvent* e)
{
    if (!buttonDown_ || e->button() != Qt::LeftButton)
        return;
    buttonDown_ = false;
    if (tool_ == kRubber && previewDrawn_)
        DrawPreview(last_);
    previewDrawn_ = false;
    update();
}

// ---- DrawPage ------------------------------------------------------------------

DrawPage::DrawPage(QAction* pastePicture, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PanelDrawTools = new QWidget(this);
    PanelDrawTools->setObjectName(QStringLiteral("PanelDrawTools"));
    auto* tools = new QHBoxLayout(PanelDrawTools);
    tools->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(PanelDrawTools);

    ColorBoxDraw = new QComboBox(PanelDrawTools);
    ColorBoxDraw->setObjectName(QStringLiteral("ColorBoxDraw"));
    ColorBoxDraw->setToolTip(QStringLiteral("选择颜色"));
    const struct { Qt::GlobalColor color; const char* name; } colors[] = {
        {Qt::black, "黑色"},    {Qt::darkRed, "褐红"},   {Qt::darkGreen, "绿色"}, {Qt::darkYellow, "橄榄"},
        {Qt::darkBlue, "藏青"}, {Qt::darkMagenta, "紫色"}, {Qt::darkCyan, "深青"}, {Qt::gray, "灰色"},
        {Qt::lightGray, "银色"}, {Qt::red, "红色"},      {Qt::green, "浅绿"},     {Qt::yellow, "黄色"},
        {Qt::blue, "蓝色"},     {Qt::magenta, "紫红"},    {Qt::cyan, "浅青"},      {Qt::white, "白色"},
    };
    for (const auto& c : colors) {
        QPixmap swatch(12, 12);
        swatch.fill(c.color);
        ColorBoxDraw->addItem(QIcon(swatch), QString::fromUtf8(c.name), QColor(c.color));
    }
    tools->addWidget(ColorBoxDraw);

    tools_ = new QButtonGroup(this);
    const struct { const char* name; const char* hint; const char* text; } toolButtons[] = {
        {"SBDrawPen", "铅笔", "✎"}, {"SBDrawLine", "画直线", "╱"},
        {"SBDrawEllipse", "画椭圆", "◯"}, {"SBDrawRubber", "橡皮", "▭"},
    };
    for (int i = 0; i < 4; ++i) {
        QToolButton* button = ToolButton(PanelDrawTools, toolButtons[i].name, QString::fromUtf8(toolButtons[i].hint),
                                         QString::fromUtf8(toolButtons[i].text));
        button->setCheckable(true);
        tools_->addButton(button, i);
    }
    tools_->button(ImageDraw::kPen)->setChecked(true);

    QToolButton* paste = ToolButton(PanelDrawTools, "SBDrawPaste", QStringLiteral("粘贴图像"), QStringLiteral("粘贴"));
    paste->setDefaultAction(pastePicture);
    paste->setToolTip(QStringLiteral("粘贴图像"));
    QToolButton* clear = ToolButton(PanelDrawTools, "SBDrawClear", QStringLiteral("全部清空"), QStringLiteral("清空"));
    QToolButton* saveAs = ToolButton(PanelDrawTools, "SBDrawSaveAs", QStringLiteral("图片另存为..."),
                                     QStringLiteral("另存为"));
    tools->addStretch(1);

    ScrollBoxDraw = new QScrollArea(this);
    ScrollBoxDraw->setObjectName(QStringLiteral("ScrollBoxDraw"));
    ScrollBoxDraw->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image_ = new ImageDraw;
    ScrollBoxDraw->setWidget(image_);
    layout->addWidget(ScrollBoxDraw, 1);
    NewPicture();
    image_->modified = false;

    connect(tools_, &QButtonGroup::idClicked, this, [this](int id) { image_->SetTool(ImageDraw::Tool(id)); });
    connect(ColorBoxDraw, &QComboBox::currentIndexChanged, this,
            [this](int index) { image_->SetPenColor(ColorBoxDraw->itemData(index).value<QColor>()); });
    connect(clear, &QToolButton::clicked, this, &DrawPage::Clear);
    connect(saveAs, &QToolButton::clicked, this, &DrawPage::SaveAs);
}

void DrawPage::SetNewSize(int width, int height)
{
    newWidth_ = width;
    newHeight_ = height;
}

void DrawPage::NewPicture()
{
    QImage picture(qMax(1, newWidth_), qMax(1, newHeight_), QImage::Format_RGB32);
    picture.fill(Qt::white);
    image_->SetPicture(picture);
}

bool DrawPage::Load(const std::string& payload)
{
    if (payload.empty()) {
        NewPicture();
        return true;
    }
    KELBitmap bmp;
    if (!ReadBmp(payload, bmp)) {
        AppMessageBox(QStringLiteral("不能读入图片。"), MB_ICONERROR);
        return false;
    }
    // The picture keeps the decoded pixels: no copy of a large bitmap.
    auto* pixels = new std::vector<uint32_t>(std::move(bmp.pixels));
    image_->SetPicture(QImage(reinterpret_cast<uchar*>(pixels->data()), bmp.width, bmp.height,
                              qsizetype(bmp.width) * 4, QImage::Format_RGB32,
                              [](void* p) { delete static_cast<std::vector<uint32_t>*>(p); }, pixels));
    return true;
}

std::string DrawPage::BmpOf(const QImage& image)
{
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    return WriteBmp(rgb.width(), rgb.height(), reinterpret_cast<const uint32_t*>(rgb.constBits()),
                    size_t(rgb.bytesPerLine() / 4));
}

std::string DrawPage::Save() const
{
    return BmpOf(image_->Picture());
}

void DrawPage::SetReadOnly(bool readOnly)
{
    image_->readOnly = readOnly;
}

void DrawPage::PastePicture(const QImage& image)
{
    if (image.isNull())
        return;
    image_->SetPicture(image);
    image_->modified = true;
}

void DrawPage::Clear()
{
    if (AppMessageBox(QStringLiteral("确认要清空当前的图像吗？"), MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    image_->Picture().fill(Qt::white);
    image_->modified = true;
    image_->update();
}

void DrawPage::SaveAs()
{
    FileDialogRequest request;
    request.owner = this;
    request.filter = QStringLiteral("位图文件(*.BMP)|*.BMP");
    request.defaultSuffix = QStringLiteral("bmp");
    request.save = true;
    request.confirmOverwrite = true;
    const QString path = RunFileDialog(request);
    if (path.isEmpty())
        return;
    const std::string bytes = Save();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.commit())
        AppMessageBox(QStringLiteral("不能保存图片：") + file.errorString(), MB_ICONERROR);
}

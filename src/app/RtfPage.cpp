#include "app/RtfPage.h"

#include "app/FontList.h"
#include "app/Ruler.h"
#include "app/RtfTextDocument.h"
#include "kellib/qt/Kelapputil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextList>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

namespace {

constexpr int kSmallestSize = 1;
constexpr int kLargestSize = 1638;   // 1638 × 20 twips fits a signed 16-bit height
constexpr int kDefaultPointSize = 9;

// The standard, extended and system colours of the colour box.
struct NamedColor {
    const char* name;
    QColor color;
};
QList<NamedColor> ColorBoxEntries() {
    const QPalette palette;
    return {
        {"Black", QColor(0, 0, 0)},          {"Maroon", QColor(128, 0, 0)},
        {"Green", QColor(0, 128, 0)},        {"Olive", QColor(128, 128, 0)},
        {"Navy", QColor(0, 0, 128)},         {"Purple", QColor(128, 0, 128)},
        {"Teal", QColor(0, 128, 128)},       {"Gray", QColor(128, 128, 128)},
        {"Silver", QColor(192, 192, 192)},   {"Red", QColor(255, 0, 0)},
        {"Lime", QColor(0, 255, 0)},         {"Yellow", QColor(255, 255, 0)},
        {"Blue", QColor(0, 0, 255)},         {"Fuchsia", QColor(255, 0, 255)},
        {"Aqua", QColor(0, 255, 255)},       {"White", QColor(255, 255, 255)},
        {"Money Green", QColor(192, 220, 192)}, {"Sky Blue", QColor(166, 202, 240)},
        {"Cream", QColor(255, 251, 240)},    {"Medium Gray", QColor(160, 160, 164)},
        {"Window Text", palette.color(QPalette::WindowText)},
        {"Window", palette.color(QPalette::Base)},
        {"Button Face", palette.color(QPalette::Button)},
        {"Button Text", palette.color(QPalette::ButtonText)},
        {"Highlight", palette.color(QPalette::Highlight)},
        {"Highlight Text", palette.color(QPalette::HighlightedText)},
        {"Gray Text", palette.color(QPalette::Disabled, QPalette::Text)},
        {"Info Background", palette.color(QPalette::ToolTipBase)},
        {"Info Text", palette.color(QPalette::ToolTipText)},
    };
}

QIcon Swatch(const QColor& color) {
    QPixmap image(12, 12);
    image.fill(color);
    QPainter(&image).drawRect(0, 0, 11, 11);
    return QIcon(image);
}

// Toolbar glyphs: a letter, or lines standing for an alignment or a list.
QIcon LetterIcon(const QString& letter, bool bold, bool italic, bool underline) {
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QFont font(QStringLiteral("Serif"));
    font.setPixelSize(13);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, letter);
    return QIcon(image);
}

QIcon LinesIcon(Qt::Alignment alignment, bool bullets) {
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const int widths[] = {12, 8, 12, 8};
    for (int i = 0; i < 4; ++i) {
        const int y = 3 + 3 * i;
        int left = 2;
        int width = bullets ? 9 : widths[i];
        if (bullets) {
            painter.fillRect(2, y - 1, 2, 2, Qt::black);
            left = 6;
        } else if (alignment == Qt::AlignHCenter) {
            left = 8 - width / 2;
        } else if (alignment == Qt::AlignRight) {
            left = 14 - width;
        }
        painter.drawLine(left, y, left + width, y);
    }
    return QIcon(image);
}

// The leading decimal digits of text as a number, 0 when there are none.
int LeadingNumber(const QString& text) {
    long long value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        value = std::min<long long>(value * 10 + (c.unicode() - '0'), INT_MAX);
    }
    return int(value);
}

} // namespace

TRichEditRTF::TRichEditRTF(QWidget* parent) : QTextEdit(parent) {}

void TRichEditRTF::SetFormattingRect(int left, int right) {
    setViewportMargins(left, 0, right, 0);
}

TRtfPage::TRtfPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("RtfPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateToolbar();
    layout->addWidget(PanelRTF);
    Ruler = new TRuler(this);
    layout->addWidget(Ruler);
    RichEditRTF = new TRichEditRTF(this);
    RichEditRTF->setObjectName(QStringLiteral("RichEditRTF"));
    RichEditRTF->setAcceptRichText(true);
    RichEditRTF->document()->setDocumentMargin(0);
    QFont font(InstalledFace(QStringLiteral("宋体")));
    font.setPointSize(kDefaultPointSize);
    RichEditRTF->document()->setDefaultFont(font);
    layout->addWidget(RichEditRTF, 1);
    for (QLabel* marker : {Ruler->ImageRTFFirstIndent, Ruler->ImageRTFLeftIndent, Ruler->ImageRTFRightIndent})
        marker->installEventFilter(this);
    ConnectToolbar();
    SetFormattingRect();
    RTFSelectionChange();
    // Setting up the document's margin and font is no edit.
    SetModified(false);
}

void TRtfPage::CreateToolbar() {
    PanelRTF = new QFrame(this);
    PanelRTF->setObjectName(QStringLiteral("PanelRTF"));
    auto* bar = new QHBoxLayout(PanelRTF);
    // The toolbar never makes the page wider than the window gives it.
    bar->setSizeConstraint(QLayout::SetNoConstraint);
    PanelRTF->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(2);

    ComboBoxRTFFontName = new QComboBox(PanelRTF);
    ComboBoxRTFFontName->setObjectName(QStringLiteral("ComboBoxRTFFontName"));
    ComboBoxRTFFontName->setEditable(false);
    ComboBoxRTFFontName->setMaxVisibleItems(20);
    ComboBoxRTFFontName->setMinimumWidth(150);
    FillFontList(ComboBoxRTFFontName);
    bar->addWidget(ComboBoxRTFFontName);

    ComboBoxRTFFontSize = new QComboBox(PanelRTF);
    ComboBoxRTFFontSize->setObjectName(QStringLiteral("ComboBoxRTFFontSize"));
    ComboBoxRTFFontSize->setEditable(true);
    ComboBoxRTFFontSize->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxRTFFontSize->setMaxVisibleItems(20);
    for (int size : {5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 23, 24, 25, 26, 27, 28, 36, 48, 72})
        ComboBoxRTFFontSize->addItem(QString::number(size));
    ComboBoxRTFFontSize->setFixedWidth(56);
    bar->addWidget(ComboBoxRTFFontSize);

    ComboBoxRTFColor = new QComboBox(PanelRTF);
    ComboBoxRTFColor->setObjectName(QStringLiteral("ComboBoxRTFColor"));
    for (const NamedColor& entry : ColorBoxEntries())
        ComboBoxRTFColor->addItem(Swatch(entry.color), QString::fromLatin1(entry.name), entry.color);
    bar->addWidget(ComboBoxRTFColor);

    SpeedButtonRTFBold = AddButton("SpeedButtonRTFBold", QStringLiteral("粗体"),
                                   LetterIcon(QStringLiteral("B"), true, false, false));
    SpeedButtonRTFItalic = AddButton("SpeedButtonRTFItalic", QStringLiteral("斜体"),
                                     LetterIcon(QStringLiteral("I"), false, true, false));
    SpeedButtonRTFUnderline = AddButton("SpeedButtonRTFUnderline", QStringLiteral("下划线"),
                                        LetterIcon(QStringLiteral("U"), false, false, true));
    SpeedButtonRTFLeftAlign = AddButton("SpeedButtonRTFLeftAlign", QStringLiteral("左对齐"),
                                        LinesIcon(Qt::AlignLeft, false));
    SpeedButtonRTFCenterAlign = AddButton("SpeedButtonRTFCenterAlign", QStringLiteral("居中"),
                                          LinesIcon(Qt::AlignHCenter, false));
    SpeedButtonRTFRightAlign = AddButton("SpeedButtonRTFRightAlign", QStringLiteral("右对齐"),
                                         LinesIcon(Qt::AlignRight, false));
    SpeedButtonRTFBullet = AddButton("SpeedButtonRTFBullet", QStringLiteral("段落"),
                                     LinesIcon(Qt::AlignLeft, true));
    alignGroup_ = new QButtonGroup(this);
    for (QToolButton* button : {SpeedButtonRTFLeftAlign, SpeedButtonRTFCenterAlign, SpeedButtonRTFRightAlign})
        alignGroup_->addButton(button);
    bar->addStretch(1);
}

QToolButton* TRtfPage::AddButton(const char* name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(PanelRTF);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setAutoRaise(true);
    button->setCheckable(true);
    button->setFixedSize(23, 22);
    button->setFocusPolicy(Qt::NoFocus);
    PanelRTF->layout()->addWidget(button);
    return button;
}

void TRtfPage::ConnectToolbar() {
    connect(ComboBoxRTFFontName, &QComboBox::currentIndexChanged, this, [this] { ComboBoxRTFFontNameChange(); });
    connect(ComboBoxRTFFontSize, &QComboBox::editTextChanged, this, [this] { ComboBoxRTFFontSizeChange(); });
    connect(ComboBoxRTFColor, &QComboBox::currentIndexChanged, this, [this] { ComboBoxRTFColorChange(); });
    for (QToolButton* button : {SpeedButtonRTFBold, SpeedButtonRTFItalic, SpeedButtonRTFUnderline})
        connect(button, &QToolButton::clicked, this, [this, button] { SpeedButtonRTFStyleClick(button); });
    for (QToolButton* button : {SpeedButtonRTFLeftAlign, SpeedButtonRTFCenterAlign, SpeedButtonRTFRightAlign})
        connect(button, &QToolButton::clicked, this, [this, button] { SpeedButtonRTFAlignClick(button); });
    connect(SpeedButtonRTFBullet, &QToolButton::clicked, this, [this] { SpeedButtonRTFBulletClick(); });
    connect(RichEditRTF, &QTextEdit::cursorPositionChanged, this, [this] { RTFSelectionChange(); });
    connect(RichEditRTF, &QTextEdit::selectionChanged, this, [this] { RTFSelectionChange(); });
}

bool TRtfPage::Load(const std::string& payload) {
    LoadRtfDocument(ReadRtfOrText(payload), RichEditRTF->document());
    RichEditRTF->moveCursor(QTextCursor::Start);
    SetModified(false);
    SetReadOnly(false);
    RTFSelectionChange();
    return true;
}

std::string TRtfPage::Save() const {
    return WriteRtf(RtfDocumentOf(RichEditRTF->document()));
}

bool TRtfPage::IsModified() const {
    return RichEditRTF->document()->isModified();
}

void TRtfPage::SetModified(bool modified) {
    RichEditRTF->document()->setModified(modified);
}

void TRtfPage::SetReadOnly(bool readOnly) {
    RichEditRTF->setReadOnly(readOnly);
}

void TRtfPage::MergeCharFormat(const QTextCharFormat& format) {
    RichEditRTF->mergeCurrentCharFormat(format);
}

void TRtfPage::MergeBlockFormat(const QTextBlockFormat& format) {
    RichEditRTF->textCursor().mergeBlockFormat(format);
}

void TRtfPage::ComboBoxRTFFontNameChange() {
    const int index = ComboBoxRTFFontName->currentIndex();
    if (toolbarGuard_ || index < 0)
        return;
    QTextCharFormat format;
    format.setProperty(kCharsetProperty, int(CharsetObjectAt(ComboBoxRTFFontName, index).Charset));
    format.setFontFamilies({ComboBoxRTFFontName->itemText(index)});
    MergeCharFormat(format);
}

void TRtfPage::ComboBoxRTFFontSizeChange() {
    if (toolbarGuard_)
        return;
    bool isNumber = false;
    int size = ComboBoxRTFFontSize->currentText().toInt(&isNumber);
    if (!isNumber)
        size = 9;
    const QSignalBlocker blocker(ComboBoxRTFFontSize);
    if (size < kSmallestSize) {
        AppMessageBox(QStringLiteral("字体太小（必须大于0）。"), MB_ICONINFORMATION);
        ComboBoxRTFFontSize->setEditText(QString::number(kSmallestSize));
    } else if (size > kLargestSize) {
        AppMessageBox(QStringLiteral("字体太大（不能超过1638）。"), MB_ICONINFORMATION);
        ComboBoxRTFFontSize->setEditText(QString::number(kLargestSize));
    }
    // The editor keeps only sizes it can hold: none below 1, none above 1638.
    const int applied = std::min(LeadingNumber(ComboBoxRTFFontSize->currentText()), kLargestSize);
    if (applied < kSmallestSize)
        return;
    QTextCharFormat format;
    format.setFontPointSize(applied);
    MergeCharFormat(format);
}

void TRtfPage::ComboBoxRTFColorChange() {
    const int index = ComboBoxRTFColor->currentIndex();
    if (toolbarGuard_ || index < 0)
        return;
    QTextCharFormat format;
    format.setForeground(ComboBoxRTFColor->itemData(index).value<QColor>());
    MergeCharFormat(format);
}

void TRtfPage::SpeedButtonRTFStyleClick(QToolButton* button) {
    if (toolbarGuard_)
        return;
    const bool down = button->isChecked();
    QTextCharFormat format;
    if (button == SpeedButtonRTFBold)
        format.setFontWeight(down ? QFont::Bold : QFont::Normal);
    else if (button == SpeedButtonRTFItalic)
        format.setFontItalic(down);
    else
        format.setFontUnderline(down);
    MergeCharFormat(format);
}

void TRtfPage::SpeedButtonRTFAlignClick(QToolButton* button) {
    if (toolbarGuard_)
        return;
    QTextBlockFormat format;
    format.setAlignment(button == SpeedButtonRTFCenterAlign ? Qt::AlignHCenter
                        : button == SpeedButtonRTFRightAlign ? Qt::AlignRight
                                                             : Qt::AlignLeft);
    MergeBlockFormat(format);
}

void TRtfPage::SpeedButtonRTFBulletClick() {
    if (toolbarGuard_)
        return;
    QTextCursor cursor = RichEditRTF->textCursor();
    if (SpeedButtonRTFBullet->isChecked()) {
        if (!cursor.currentList())
            cursor.createList(QTextListFormat::ListDisc);
        return;
    }
    QTextDocument* document = RichEditRTF->document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    for (; block.isValid(); block = block.next()) {
        if (QTextList* list = block.textList()) {
            list->remove(block);
            QTextCursor at(block);
            QTextBlockFormat format = block.blockFormat();
            format.setIndent(0);
            at.setBlockFormat(format);
        }
        if (block == last)
            break;
    }
}

void TRtfPage::ParagraphIndents(int& first, int& hanging, int& right) const {
    const QTextBlockFormat format = RichEditRTF->textCursor().blockFormat();
    const int left = TwipsOfPixels(format.leftMargin());
    const int firstLine = TwipsOfPixels(format.textIndent());
    first = (left + firstLine) / 20;
    hanging = -firstLine / 20;
    right = TwipsOfPixels(format.rightMargin()) / 20;
}

void TRtfPage::SetParagraphIndents(int first, int hanging, int right) {
    QTextBlockFormat format;
    format.setLeftMargin(PixelsOfTwips((first + hanging) * 20));
    format.setTextIndent(PixelsOfTwips(-hanging * 20));
    format.setRightMargin(PixelsOfTwips(right * 20));
    MergeBlockFormat(format);
}

void TRtfPage::RTFSelectionChange() {
    const QScopedValueRollback<bool> guard(toolbarGuard_, true);
    int first = 0, hanging = 0, right = 0;
    ParagraphIndents(first, hanging, right);
    Ruler->ImageRTFFirstIndent->move(FirstMarkerLeft(first), Ruler->ImageRTFFirstIndent->y());
    Ruler->ImageRTFLeftIndent->move(HangingMarkerLeft(first, hanging), Ruler->ImageRTFLeftIndent->y());
    Ruler->ImageRTFRightIndent->move(RightMarkerLeft(Ruler->width(), right), Ruler->ImageRTFRightIndent->y());

    const QTextCharFormat chars = RichEditRTF->currentCharFormat();
    SpeedButtonRTFBold->setChecked(chars.fontWeight() >= QFont::DemiBold);
    SpeedButtonRTFItalic->setChecked(chars.fontItalic());
    SpeedButtonRTFUnderline->setChecked(chars.fontUnderline());
    SpeedButtonRTFBullet->setChecked(RichEditRTF->textCursor().currentList() != nullptr);

    const double size = chars.fontPointSize() > 0 ? chars.fontPointSize()
                                                  : RichEditRTF->document()->defaultFont().pointSizeF();
    ComboBoxRTFFontSize->setEditText(QString::number(int(size)));
    const QStringList families = chars.fontFamilies().toStringList();
    const QString family = families.isEmpty() ? RichEditRTF->document()->defaultFont().family() : families.front();
    ComboBoxRTFFontName->setCurrentIndex(ComboBoxRTFFontName->findText(family));
    const QColor color = chars.foreground().style() == Qt::NoBrush ? QColor(Qt::black) : chars.foreground().color();
    ComboBoxRTFColor->setCurrentIndex(ComboBoxRTFColor->findData(color));

    const Qt::Alignment alignment = RichEditRTF->textCursor().blockFormat().alignment();
    QToolButton* down = alignment & Qt::AlignHCenter ? SpeedButtonRTFCenterAlign
                        : alignment & Qt::AlignRight ? SpeedButtonRTFRightAlign
                        : alignment & Qt::AlignJustify ? nullptr
                                                       : SpeedButtonRTFLeftAlign;
    alignGroup_->setExclusive(false);
    for (QAbstractButton* button : alignGroup_->buttons())
        button->setChecked(button == down);
    alignGroup_->setExclusive(true);
    emit SelectionShown();
}

void TRtfPage::MoveMarker(QLabel* marker, int pointerX) {
    marker->move(marker->x() + pointerX - dragOffset_, marker->y());
}

bool TRtfPage::eventFilter(QObject* watched, QEvent* event) {
    auto* marker = qobject_cast<QLabel*>(watched);
    if (!marker || marker->parent() != Ruler)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        dragOffset_ = marker->width() / 2;
        MoveMarker(marker, int(mouse->position().x()));
        dragging_ = true;
        return true;
    case QEvent::MouseMove:
        if (dragging_)
            MoveMarker(marker, int(mouse->position().x()));
        return true;
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        MarkerReleased(marker);
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void TRtfPage::MarkerReleased(QLabel* marker) {
    if (marker == Ruler->ImageRTFFirstIndent)
        FirstIndentReleased();
    else if (marker == Ruler->ImageRTFLeftIndent)
        LeftIndentReleased();
    else
        RightIndentReleased();
}

void TRtfPage::FirstIndentReleased() {
    int first = 0, hanging = 0, right = 0;
    ParagraphIndents(first, hanging, right);
    // The later lines stay where they are: the hanging step follows.
    SetParagraphIndents(FirstIndentAt(Ruler->ImageRTFFirstIndent->x(), dragOffset_), hanging, right);
    LeftIndentReleased();
}

void TRtfPage::LeftIndentReleased() {
    int first = 0, hanging = 0, right = 0;
    ParagraphIndents(first, hanging, right);
    SetParagraphIndents(first, HangingIndentAt(Ruler->ImageRTFLeftIndent->x(), dragOffset_, first), right);
    RTFSelectionChange();
}

void TRtfPage::RightIndentReleased() {
    int first = 0, hanging = 0, right = 0;
    ParagraphIndents(first, hanging, right);
    SetParagraphIndents(first, hanging, RightIndentAt(Ruler->width(), Ruler->ImageRTFRightIndent->x(), dragOffset_));
    RTFSelectionChange();
}

void TRtfPage::SetFormattingRect() {
    RichEditRTF->SetFormattingRect(kRulerMargin, kRulerMargin);
}

void TRtfPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SetFormattingRect();
    RTFSelectionChange();
}

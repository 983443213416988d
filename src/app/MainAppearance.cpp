// TFormMain: the fonts and background colours of the text editor and the
// navigation tree. Each Apply operation stores its value in the settings
// (sections "EditText" and "Nav") and applies it at once; the window reads
// them back at creation, with the designed look as default.
#include "app/Main.h"

#include "kellib/qt/Kelregistry.h"

#include <QFontDatabase>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

const QString kNav = QStringLiteral("Nav");
const QString kEditText = QStringLiteral("EditText");
const QString kBgColor = QStringLiteral("BgColor");

void setLook(QWidget* widget, const QFont& font, const QColor& color)
{
    widget->setFont(font);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
}

// The stored font and colours of one section; without a stored font the
// designed one.
void readLook(QWidget* widget, const QString& section, const QColor& designedColor)
{
    QFont font = TFormMain::DefaultFont();
    QColor color = designedColor;
    if (!ReadString(section, QStringLiteral("FontName")).isEmpty())
        ReadFont(section, font, color);
    setLook(widget, font, color);
    const QColor base = widget->palette().color(QPalette::Base);
    setBackground(widget, NumberToColor(ReadInt(section, kBgColor, ColorToNumber(base)), base));
}

} // namespace

QFont TFormMain::DefaultFont()
{
    // 宋体 where it is installed, else a face that has the Chinese characters.
    const QStringList families = QFontDatabase::families();
    QString family;
    for (const char* name : {"宋体", "SimSun", "Noto Serif CJK SC", "Noto Sans CJK SC"})
        if (family.isEmpty() && families.contains(QString::fromUtf8(name)))
            family = QString::fromUtf8(name);
    if (family.isEmpty()) {
        const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        family = chinese.isEmpty() ? QFont().family() : chinese.first();
    }
    QFont font(family);
    font.setPointSize(9);
    return font;
}

void TFormMain::ReadAppearance()
{
    readLook(TVNav, kNav, Qt::black);
    readLook(RichEditText, kEditText, QColor(0, 0, 128));   // navy
}

QColor TFormMain::FontColorOf(const QWidget* widget)
{
    return widget->palette().color(QPalette::Text);
}

QColor TFormMain::BackgroundOf(const QWidget* widget)
{
    return widget->palette().color(QPalette::Base);
}

void TFormMain::ApplyEditorFont(const QFont& font, const QColor& color)
{
    // A font change is no edit: the modified state stays as it was.
    const bool modified = IsModified();
    WriteFont(kEditText, font, color);
    setLook(RichEditText, font, color);
    SetModified(modified);
}

void TFormMain::ApplyEditorColor(const QColor& color)
{
    WriteInt(kEditText, kBgColor, ColorToNumber(color));
    setBackground(RichEditText, color);
}

void TFormMain::ApplyNavFont(const QFont& font, const QColor& color)
{
    WriteFont(kNav, font, color);
    setLook(TVNav, font, color);
}

void TFormMain::ApplyNavColor(const QColor& color)
{
    if (color == BackgroundOf(TVNav))
        return;
    WriteInt(kNav, kBgColor, ColorToNumber(color));
    setBackground(TVNav, color);
    TVNav->viewport()->update();
}

#include "app/RtfTextDocument.h"

#include "app/FontList.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <cmath>

namespace {

Qt::Alignment AlignmentOf(RtfAlign align) {
    switch (align) {
    case RtfAlign::Center: return Qt::AlignHCenter;
    case RtfAlign::Right: return Qt::AlignRight;
    case RtfAlign::Justify: return Qt::AlignJustify;
    default: return Qt::AlignLeft;
    }
}

RtfAlign AlignOf(Qt::Alignment alignment) {
    if (alignment & Qt::AlignHCenter) return RtfAlign::Center;
    if (alignment & Qt::AlignRight) return RtfAlign::Right;
    if (alignment & Qt::AlignJustify) return RtfAlign::Justify;
    return RtfAlign::Left;
}

QTextBlockFormat BlockFormatOf(const RtfParagraph& paragraph) {
    QTextBlockFormat format;
    format.setAlignment(AlignmentOf(paragraph.align));
    format.setLeftMargin(PixelsOfTwips(paragraph.leftIndent));
    format.setTextIndent(PixelsOfTwips(paragraph.firstIndent));
    format.setRightMargin(PixelsOfTwips(paragraph.rightIndent));
    return format;
}

// A face the system lacks (宋体 on most Linux systems) is shown in an
// installed one for its script; the stored name stays first.
QStringList FamiliesOf(const std::string& font, QHash<QString, QStringList>& known) {
    const QString face = QString::fromStdString(font);
    auto it = known.find(face);
    if (it == known.end()) {
        const QString shown = InstalledFace(face);
        it = known.insert(face, shown == face ? QStringList{face} : QStringList{face, shown});
    }
    return *it;
}

QTextCharFormat CharFormatOf(const RtfRun& run, QHash<QString, QStringList>& known) {
    QTextCharFormat format;
    format.setFontFamilies(FamiliesOf(run.font, known));
    format.setProperty(kCharsetProperty, run.charset);
    format.setFontPointSize(run.size / 2.0);
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.italic);
    format.setFontUnderline(run.underline);
    if (run.color != kAutoColor)
        format.setForeground(QColor((run.color >> 16) & 0xFF, (run.color >> 8) & 0xFF, run.color & 0xFF));
    return format;
}

QString TextOf(const std::u32string& text) {
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

RtfRun RunOf(const QTextCharFormat& format, double defaultSize) {
    RtfRun run;
    const QStringList families = format.fontFamilies().toStringList();
    run.font = families.isEmpty() ? std::string() : families.front().toStdString();
    run.charset = format.hasProperty(kCharsetProperty) ? format.intProperty(kCharsetProperty)
                                                       : CharsetOfFamily(QString::fromStdString(run.font));
    const double points = format.fontPointSize() > 0 ? format.fontPointSize() : defaultSize;
    run.size = int(std::lround(points * 2));
    run.bold = format.fontWeight() >= QFont::DemiBold;
    run.italic = format.fontItalic();
    run.underline = format.fontUnderline();
    if (format.foreground().style() != Qt::NoBrush) {
        const QColor color = format.foreground().color();
        run.color = color.red() << 16 | color.green() << 8 | color.blue();
    }
    return run;
}

} // namespace

double PixelsOfTwips(int twips) {
    return twips / 15.0;
}

int TwipsOfPixels(double pixels) {
    return int(std::lround(pixels * 15.0));
}

void LoadRtfDocument(const RtfDocument& doc, QTextDocument* document) {
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    QTextList* list = nullptr;
    bool first = true;
    QHash<QString, QStringList> known;
    for (const RtfParagraph& paragraph : doc.paragraphs) {
        if (first)
            cursor.setBlockFormat(BlockFormatOf(paragraph));
        else
            cursor.insertBlock(BlockFormatOf(paragraph));
        first = false;
        if (paragraph.bullet) {
            if (list)
                list->add(cursor.block());
            else
                list = cursor.createList(QTextListFormat::ListDisc);
            // createList moves the block's indent into the list: keep ours
            // (merged, so the block stays in its list).
            cursor.mergeBlockFormat(BlockFormatOf(paragraph));
        } else {
            list = nullptr;
        }
        for (const RtfRun& run : paragraph.runs)
            cursor.insertText(TextOf(run.text), CharFormatOf(run, known));
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
}

RtfDocument RtfDocumentOf(const QTextDocument* document) {
    RtfDocument doc;
    const double defaultSize = document->defaultFont().pointSizeF();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        RtfParagraph paragraph;
        const QTextBlockFormat format = block.blockFormat();
        paragraph.align = AlignOf(format.alignment());
        paragraph.leftIndent = TwipsOfPixels(format.leftMargin());
        paragraph.firstIndent = TwipsOfPixels(format.textIndent());
        paragraph.rightIndent = TwipsOfPixels(format.rightMargin());
        paragraph.bullet = block.textList() != nullptr;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            RtfRun run = RunOf(fragment.charFormat(), defaultSize);
            const QList<uint> ucs4 = fragment.text().toUcs4();
            run.text.assign(ucs4.begin(), ucs4.end());
            for (char32_t& c : run.text)
                if (c == QChar::LineSeparator)
                    c = kLineBreak;
            if (!paragraph.runs.empty() && paragraph.runs.back().SameFormat(run))
                paragraph.runs.back().text += run.text;
            else
                paragraph.runs.push_back(std::move(run));
        }
        doc.paragraphs.push_back(std::move(paragraph));
    }
    // A Qt document always has a block; an empty one is no paragraph.
    if (doc.paragraphs.size() == 1 && doc.paragraphs.front().runs.empty() && document->isEmpty())
        doc.paragraphs.clear();
    return doc;
}

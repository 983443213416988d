#include "app/TextPage.h"

#include "kellib/Kelcodepage.h"

#include <cstring>

TextEncoding FileTextEncoding(const std::string& bytes)
{
    return IsValidUtf8(std::string(bytes.c_str())) ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

QString StoredTextToEditor(const std::string& bytes, TextEncoding encoding)
{
    const std::string text(bytes.c_str(), std::strlen(bytes.c_str()));
    QString result = QString::fromStdString(encoding == TextEncoding::Utf8 ? text : AnsiToUtf8(text));
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return result;
}

bool EditorTextToStored(const QString& text, std::string& stored, TextEncoding encoding, UnencodableChar* failure)
{
    QString crlf = text;
    crlf.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    crlf.replace(QChar::LineSeparator, QLatin1Char('\n'));
    crlf.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    const std::string utf8 = crlf.toStdString();
    if (encoding == TextEncoding::Utf8) {
        stored = utf8;
        return true;
    }
    return Utf8ToAnsiChecked(utf8, stored, failure);
}

QString PiecesOfLongLines(const QString& text)
{
    const QStringView all(text);
    QString shown;
    bool cut = false;
    for (qsizetype start = 0; start <= all.size();) {
        qsizetype end = all.indexOf(u'\n', start);
        if (end < 0)
            end = all.size();
        QStringView line = all.mid(start, end - start);
        if (line.size() > kLongLineLength && !cut) {
            cut = true;
            shown.reserve(all.size() + all.size() / kShownPieceLength + 1);
            shown.append(all.first(start));   // the lines before, with their breaks
        }
        if (line.size() > kLongLineLength) {
            while (line.size() > kShownPieceLength) {
                const qsizetype length = line[kShownPieceLength - 1].isHighSurrogate() ? kShownPieceLength - 1
                                                                                       : kShownPieceLength;
                shown.append(line.first(length)).append(u'\n');
                line = line.sliced(length);
            }
        }
        if (cut) {
            shown.append(line);
            if (end < all.size())
                shown.append(u'\n');
        }
        start = end + 1;
    }
    return cut ? shown : QString();
}

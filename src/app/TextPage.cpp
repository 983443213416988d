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

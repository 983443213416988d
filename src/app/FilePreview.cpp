#include "app/FilePreview.h"

const char* const kDefaultTextPreviewExt = ".txt;.cpp;.c;.h;.hpp;.java;*.pas;.js;.php;.asm;.sql;.ini";
const char* const kDefaultHtmlPreviewExt =
    ".htm;.html;.shtm;.shtml;.asp;.xml;.xsl;.cfm;.htx;.nsf;.phtml;.nsf;.php;.php3;.cgi;.perl;.jsp";

FilePreview FilePreviewOf(const QString& caption, const QString& textList, const QString& htmlList)
{
    const qsizetype dot = caption.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return FilePreview::None;   // an empty extension would match every list
    const QString ext = caption.mid(dot).toLower();
    if (textList.toLower().contains(ext))
        return FilePreview::Text;
    if (htmlList.toLower().contains(ext))
        return FilePreview::Html;
    return FilePreview::None;
}

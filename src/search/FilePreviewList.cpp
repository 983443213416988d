#include "search/FilePreviewList.h"

#include "rtf/RtfCodepage.h"
#include "search/TextMatch.h"

const char* const kDefaultTextPreviewExt = ".txt;.cpp;.c;.h;.hpp;.java;*.pas;.js;.php;.asm;.sql;.ini";
const char* const kDefaultHtmlPreviewExt =
    ".htm;.html;.shtm;.shtml;.asp;.xml;.xsl;.cfm;.htx;.nsf;.phtml;.nsf;.php;.php3;.cgi;.perl;.jsp";

namespace {

std::u32string Lower(const std::string& utf8)
{
    std::u32string text = Utf8ToUtf32(utf8);
    for (char32_t& c : text)
        c = LowerChar(c);
    return text;
}

} // namespace

FilePreview FilePreviewOfName(const std::string& caption, const std::string& textList, const std::string& htmlList)
{
    const size_t dot = caption.rfind('.');
    if (dot == std::string::npos)
        return FilePreview::None;   // an empty extension would match every list
    const std::u32string ext = Lower(caption.substr(dot));
    if (Lower(textList).find(ext) != std::u32string::npos)
        return FilePreview::Text;
    if (Lower(htmlList).find(ext) != std::u32string::npos)
        return FilePreview::Html;
    return FilePreview::None;
}

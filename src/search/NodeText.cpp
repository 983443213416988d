#include "search/NodeText.h"

#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"
#include "search/FilePreviewList.h"
#include "search/HtmlText.h"
#include "xml/CallingCard.h"

namespace {

std::string UpToZero(const std::string& bytes) { return std::string(bytes.c_str()); }

std::u32string CardText(const CaseNode& node)
{
    xml::CallingCard card;
    card.ReadDocument(node.DataBytes());
    std::string fields;
    for (int f = 0; f < xml::kCardFieldCount; ++f)
        fields += card.Text(static_cast<xml::CardField>(f)) + "\n";
    return AnsiText(fields);
}

// A file shown as text: UTF-8 when it is valid UTF-8, else the code page.
std::u32string FileText(const CaseNode& node, const std::string& textPreviewExt)
{
    if (FilePreviewOfName(AnsiToUtf8(node.Caption), textPreviewExt, "") != FilePreview::Text)
        return {};
    const std::string text = UpToZero(node.DataBytes());
    return IsValidUtf8(text) ? Utf8ToUtf32(text) : AnsiText(text);
}

} // namespace

std::u32string AnsiText(const std::string& ansi)
{
    return Utf8ToUtf32(AnsiToUtf8(UpToZero(ansi)));
}

std::u32string ReadableText(const CaseNode& node, const std::string& textPreviewExt)
{
    switch (node.Type) {
    case kNodeText:
    case kNodeUrl:
        return AnsiText(node.DataBytes());
    case kNodeHtml:
        return Utf8ToUtf32(HtmlToText(AnsiToUtf8(UpToZero(node.DataBytes()))));
    case kNodeRtf:
        return Utf8ToUtf32(PlainTextOf(ReadRtfOrText(node.DataBytes())));
    case kNodeCard:
        return CardText(node);
    case kNodeFile:
        return FileText(node, textPreviewExt);
    default:
        return {};
    }
}

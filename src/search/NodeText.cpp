#include "search/NodeText.h"

#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"
#include "search/FilePreviewList.h"
#include "search/HtmlText.h"
#include "xml/CallingCard.h"

namespace {

std::string_view UpToZero(const std::string& bytes) { return std::string_view(bytes.c_str()); }

std::u32string CardText(const CaseNode& node)
{
    xml::CallingCard card;
    card.ReadDocument(node.DataBytes());
    std::string fields;
    for (int f = 0; f < xml::kCardFieldCount; ++f)
        if (const std::string text = card.Text(static_cast<xml::CardField>(f)); !text.empty())
            fields += text + "\n";
    return AnsiText(fields);
}

} // namespace

std::u32string AnsiText(const std::string& ansi)
{
    return Utf8ToUtf32(AnsiToUtf8(std::string(UpToZero(ansi))));
}

std::optional<StoredText> PlainStoredText(const CaseNode& node, const std::string& textPreviewExt)
{
    if (node.Type == kNodeText || node.Type == kNodeUrl)
        return StoredText{UpToZero(node.DataBytes()), false};
    // A file shown as text: UTF-8 when it is valid UTF-8, else the code page.
    if (node.Type == kNodeFile && FilePreviewOfName(AnsiToUtf8(node.Caption), textPreviewExt, "") == FilePreview::Text) {
        const std::string_view text = UpToZero(node.DataBytes());
        return StoredText{text, IsValidUtf8(text)};
    }
    return std::nullopt;
}

std::u32string DecodedText(const StoredText& text)
{
    const std::string bytes(text.bytes);   // already cut at its zero byte
    return Utf8ToUtf32(text.utf8 ? bytes : AnsiToUtf8(bytes));
}

std::optional<std::u32string> ReadableText(const CaseNode& node, const std::string& textPreviewExt)
{
    if (const auto plain = PlainStoredText(node, textPreviewExt))
        return DecodedText(*plain);
    switch (node.Type) {
    case kNodeHtml:
        return Utf8ToUtf32(HtmlToText(AnsiToUtf8(std::string(UpToZero(node.DataBytes())))));
    case kNodeRtf:
        return Utf8ToUtf32(PlainTextOf(ReadRtfOrText(node.DataBytes())));
    case kNodeCard:
        return CardText(node);
    default:
        return std::nullopt;
    }
}

std::string TextPreviewExtOf(CaseDB& db)
{
    return AnsiToUtf8(db.GetParam("TextPreviewExt", kDefaultTextPreviewExt));
}

// The readable text of a node's content, for the full-text search: plain
// text, HTML without its markup, RTF text, the address of a URL node, the
// fields of a calling card, and file nodes whose extension is in the
// database's text-preview list. Other kinds have none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/CaseNode.h"

class CaseDB;

// The stored bytes that are the readable text of the kinds that keep it as
// it is (plain text, URL, a file shown as text), up to the first zero byte:
// a view of the node's own bytes, valid while the node lives.
struct StoredText {
    std::string_view bytes;
    bool utf8 = false;   // else the database code page
};
// textPreviewExt: the database's "TextPreviewExt" list as UTF-8.
std::optional<StoredText> PlainStoredText(const CaseNode& node, const std::string& textPreviewExt);
std::u32string DecodedText(const StoredText& text);

// The text of the kinds that hold one (empty when it is empty); nothing for
// the others. The one reading of a node's text: the search, cat --text.
std::optional<std::u32string> ReadableText(const CaseNode& node, const std::string& textPreviewExt);
// The database's "TextPreviewExt" list as UTF-8.
std::string TextPreviewExtOf(CaseDB& db);
// Stored text in the database code page (up to its first zero byte).
std::u32string AnsiText(const std::string& ansi);

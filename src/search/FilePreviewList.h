// Which page previews a file node: by the extension of its caption against the
// two per-database lists "TextPreviewExt" and "HtmlPreviewExt". The text list
// is tried first; the test is a plain substring test on lower case.
#pragma once

#include <string>

enum class FilePreview { None, Text, Html };

extern const char* const kDefaultTextPreviewExt;
extern const char* const kDefaultHtmlPreviewExt;

// Caption and lists as UTF-8.
FilePreview FilePreviewOfName(const std::string& caption, const std::string& textList, const std::string& htmlList);

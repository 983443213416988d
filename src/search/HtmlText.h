// The text of an HTML page without its markup: cat --text and the full-text search.
#pragma once

#include <string>

// UTF-8 HTML -> UTF-8 text: tags, comments, scripts and styles left out,
// white space collapsed as a browser does, a line break at each block
// element and <br>, the common character references decoded.
std::string HtmlToText(const std::string& html);

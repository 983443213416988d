// The text of an HTML page without its markup, for cat --text.
#pragma once

#include <string>

namespace cli {

// UTF-8 HTML -> UTF-8 text: tags, comments, scripts and styles left out,
// white space collapsed as a browser does, a line break at each block
// element and <br>, the common character references decoded.
std::string HtmlToText(const std::string& html);

}  // namespace cli

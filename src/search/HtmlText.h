// The text of an HTML page without its markup: cat --text and the full-text search.
#pragma once

#include <string>

// UTF-8 HTML -> UTF-8 text, read as the HTML standard tokenizes a page:
// tags with their attributes (quoted values may hold '>'), comments,
// declarations, scripts and styles left out; every named character reference
// of the standard and numeric ones decoded; white space collapsed as a
// browser does, a no-break space read as a blank, a line break at each block
// element and <br>. Linear in the page's length.
std::string HtmlToText(const std::string& html);

#include "xml/XmlParser.h"

#include <string_view>
#include <vector>

namespace xml {
namespace {

// Index of `what` in doc[from, end), or -1.
long Find(const std::string& doc, const std::string& what, long from, long end) {
    if (from < 0 || from >= end) return -1;
    size_t at = std::string_view(doc).substr(from, end - from).find(what);
    return at == std::string_view::npos ? -1 : from + static_cast<long>(at);
}

std::string Slice(const std::string& doc, long first, long last) {
    return first < 0 || last < first ? std::string() : doc.substr(first, last - first + 1);
}

// The first `closing` at or after `from` in the whole document.
long FindClosingTag(const std::string& doc, const std::string& closing, long from,
                    XmlParser::ClosingTagCache& cache) {
    auto it = cache.find(closing);
    // A search from an earlier index that found nothing, or found a tag at or
    // after `from`, answers this one too.
    if (it != cache.end() && from >= it->second.first && (it->second.second < 0 || it->second.second >= from))
        return it->second.second;
    long at = Find(doc, closing, from, static_cast<long>(doc.size()));
    cache[closing] = {from, at};
    return at;
}

}  // namespace

bool XmlParser::Step(const std::string& doc, XmlNotify* notify, XmlParser& child, ClosingTagCache& cache) {
    child = XmlParser{};
    const long end = start + length;
    long open = Find(doc, "<", start + position, end);
    if (open < 0) return false;
    long close = Find(doc, ">", open + 1, end);
    if (close < 0) return false;
    tagOpen = open - start;
    tagClose = close - start;
    closeStart = closeEnd = attributeFirst = attributeLast = contentFirst = contentLast = -1;

    const bool empty = close - 1 > open && doc[close - 1] == '/';
    const long innerLast = empty ? close - 2 : close - 1;  // last character before ">" or "/>"
    long blank = Find(doc, " ", open + 1, innerLast + 1);
    long nameEnd = blank >= 0 ? blank - 1 : innerLast;
    nameFirst = open + 1 - start;
    nameLast = nameEnd - start;
    const std::string name = Slice(doc, open + 1, nameEnd);
    const long tagLength = close - open + 1;
    if (tagLength - static_cast<long>(name.size()) > 3 && blank >= 0) {
        attributeFirst = blank + 1 - start;
        attributeLast = innerLast - start;
    }
    const std::string attributes = attributeFirst < 0 ? std::string() : Slice(doc, blank + 1, innerLast);
    const bool tell = notify && !name.empty();

    if (empty) {
        position = close + 1 - start;
        if (tell) notify->OnLeaf(name, std::string(), attributes);
        return position < length;
    }
    // The closing tag may run past the range: an element nested in one of the
    // same name ends where its parent's content does.
    const std::string closing = "</" + name + ">";
    long closingAt = FindClosingTag(doc, closing, close, cache);
    if (closingAt < 0) return false;
    closeStart = closingAt - start;
    closeEnd = closingAt + static_cast<long>(closing.size()) - start;
    contentFirst = tagClose + 1;
    contentLast = closeStart - 1;
    position = closeEnd;
    const long contentBegin = close + 1, contentSize = closingAt - contentBegin;
    if (Find(doc, "<", contentBegin, closingAt) < 0) {
        if (tell) notify->OnLeaf(name, doc.substr(contentBegin, contentSize), attributes);
    } else {
        if (tell) notify->OnContainer(name, attributes);
        child.start = contentBegin;
        child.length = contentSize;
    }
    return true;
}

void ParseRange(const std::string& doc, XmlParser top, XmlNotify* notify) {
    // An explicit stack instead of recursion, so deep nesting cannot exhaust
    // the call stack.
    std::vector<XmlParser> levels{top};
    XmlParser::ClosingTagCache cache;
    while (!levels.empty()) {
        XmlParser child;
        bool more = levels.back().Step(doc, notify, child, cache);
        if (!more) {
            levels.pop_back();
            continue;
        }
        if (child.length > 0) levels.push_back(child);
    }
}

bool XmlStream::Parse(const char* bytes, long length) {
    if (!bytes || length <= 0) return false;
    buffer_.assign(bytes, static_cast<size_t>(length));
    XmlParser top;
    top.length = length;
    ParseRange(buffer_, top, notify_);
    return true;
}

}  // namespace xml

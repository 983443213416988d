// The small XML reader of calling cards. Not a general XML processor: tags are
// found by searching for "<" and ">", an element ends at the first following
// "</" + name + ">", and names, texts and attribute texts are handed over
// byte for byte (no entities decoded, no white space trimmed). It never
// reports an error: input it cannot follow ends the parse of its level.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>

namespace xml {

// Receiver of the elements, one call each, in document order.
class XmlNotify {
public:
    virtual ~XmlNotify() = default;
    // An element whose content holds at least one "<"; its children follow.
    virtual void OnContainer(const std::string& name, const std::string& attributes) = 0;
    // An element whose content holds no "<", or an empty element ("<A/>").
    virtual void OnLeaf(const std::string& name, const std::string& text, const std::string& attributes) = 0;
};

// The state of one level of parsing: a range of the document and where the
// last element found in it lies. Indices count from the start of the range;
// -1 when not set.
struct XmlParser {
    long start = 0, length = 0;  // the range within the document
    long position = 0;
    long tagOpen = -1, tagClose = -1;            // "<" and ">" of the opening tag
    long closeStart = -1, closeEnd = -1;         // the closing tag, and the index after it
    long nameFirst = -1, nameLast = -1;          // inclusive
    long attributeFirst = -1, attributeLast = -1;
    long contentFirst = -1, contentLast = -1;

    // Closing tag -> (index searched from, index found or -1): the last search
    // for each closing tag, shared by the levels of one parse, so that deep
    // nesting does not search the same text again and again.
    using ClosingTagCache = std::unordered_map<std::string, std::pair<long, long>>;

    // Reads the next element of the range and notifies it. Returns false when
    // the range holds no further element it can follow; for a container,
    // `child` receives the level of its content (else its length is 0).
    bool Step(const std::string& doc, XmlNotify* notify, XmlParser& child, ClosingTagCache& cache);
};

// Parses every level of the range, children before following siblings; after
// a container, parsing always goes on with its siblings.
void ParseRange(const std::string& doc, XmlParser top, XmlNotify* notify);

// Keeps a copy of the last parsed document and the receiver (not owned).
class XmlStream {
public:
    virtual ~XmlStream() = default;

    void SetNotify(XmlNotify* notify) { notify_ = notify; }
    XmlNotify* Notify() const { return notify_; }
    const std::string& Buffer() const { return buffer_; }

    // False when the bytes are absent or the length is not above 0; otherwise
    // the document is parsed and the result is true.
    bool Parse(const char* bytes, long length);

private:
    std::string buffer_;
    XmlNotify* notify_ = nullptr;
};

}  // namespace xml

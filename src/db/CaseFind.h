// Finding nodes by caption: the caption test of the find window, and a walk
// in tree order over the subtrees of the store that the window has not
// loaded, so a find can cover the whole database.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CaseDB;

// Upper case with the rules of the current locale (LC_CTYPE), one character
// at a time; characters without a case, Chinese ones among them, stay.
std::u32string UpperText(std::u32string text);
// UTF-8 to code points; a malformed byte becomes U+FFFD.
std::u32string Utf8ToU32(const std::string& utf8);

// The test of one caption against the text to find.
//   case on,  exact on:  the trimmed caption equals the pattern
//   case on,  exact off: the pattern occurs in the caption
//   case off: the same on the upper-cased caption and pattern
// Blanks (all characters up to U+0020) around the text are dropped.
class CaptionMatcher {
public:
    CaptionMatcher(const std::u32string& text, bool caseSensitive, bool exactly);
    bool Matches(std::u32string caption) const;
    // A caption as the store keeps it (GB18030 bytes).
    bool MatchesAnsi(const std::string& caption) const;
    bool Empty() const { return pattern_.empty(); }

private:
    std::u32string pattern_;
    bool caseSensitive_;
    bool exactly_;
};

// The parent links of every node of a store, read once without contents.
// Children are in the order the tree loads them: Order, then Id.
class CaseTreeIndex {
public:
    explicit CaseTreeIndex(CaseDB& db);

    // The first node below root (not root itself), in tree order, whose
    // caption matches: the ids from root's child down to it; empty when none.
    std::vector<int32_t> FindBelow(int32_t root, const CaptionMatcher& matcher) const;

private:
    struct Entry {
        int32_t id;
        int32_t order;
        std::string caption;   // GB18030, as stored
    };
    std::unordered_map<int32_t, std::vector<Entry>> children_;
};

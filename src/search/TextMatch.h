// The text test of the full-text search: a text found in longer texts, with
// or without letter case, as a whole word or anywhere, in linear time
// whatever the text and the pattern hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
};

// Upper case of one character by Unicode's simple mapping (C.UTF-8 rules,
// the same whatever locale the process runs in). Only ASCII letters fold to
// ASCII letters (not "ı" or "ſ"), which lets MayMatchBytes test stored bytes.
char32_t FoldChar(char32_t c);
char32_t LowerChar(char32_t c);
// Letters, digits and "_" of alphabetic scripts. Chinese, Japanese and Korean
// characters are words of their own, so a whole-word search still finds them
// between other such characters.
bool IsWordChar(char32_t c);

class TextMatcher {
public:
    TextMatcher(const std::u32string& pattern, SearchOptions options);

    bool Empty() const { return pattern_.empty(); }
    const SearchOptions& Options() const { return options_; }
    size_t Length() const { return pattern_.size(); }
    // Where the first match in text starts; npos when there is none.
    size_t Find(const std::u32string& text) const;
    // A quick test of stored text before it is decoded: false only when the
    // bytes (GB18030, or UTF-8 when utf8) decoded cannot hold a match. A
    // candidate is found by a byte search (ASCII letters in either case when
    // the case does not matter), so Find has the last word.
    bool MayMatchBytes(std::string_view bytes, bool utf8) const;

private:
    bool WordAt(const std::u32string& text, size_t pos) const;
    void PrepareBytePatterns(const std::u32string& pattern);

    std::u32string pattern_;       // upper case unless the case matters
    std::vector<size_t> border_;   // Knuth-Morris-Pratt table of pattern_
    SearchOptions options_;
    // The pattern's bytes in either encoding (ASCII in lower case unless the
    // case matters); usable only when every character that can match one of
    // the pattern's is the same character or an ASCII letter in the other case.
    bool bytesUsable_ = false;
    bool ansiEncodable_ = false;
    std::string ansiPattern_, utf8Pattern_;
    size_t ansiAnchor_ = 0, utf8Anchor_ = 0;   // the byte the search looks for first
};

// The line of text holding the match at pos (length characters) as UTF-8,
// cut to a few dozen characters on either side ("…" where it is cut), blanks
// and control characters shown as one blank.
std::string ContextLine(const std::u32string& text, size_t pos, size_t length);

#include "db/CaseFind.h"

#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"

#include <algorithm>
#include <cwctype>
#include <unordered_set>

namespace {

bool isBlank(char32_t c) { return c <= U' '; }

std::u32string trimmed(const std::u32string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool isAscii(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::u32string UpperText(std::u32string text)
{
    for (char32_t& c : text)
        c = static_cast<char32_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

std::u32string Utf8ToU32(const std::string& utf8)
{
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length > 0 && i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next >> 6) == 2;
            c = (c << 6) | (next & 0x3F);
        }
        out.push_back(valid ? c : U'\uFFFD');
        i += valid ? length : 1;
    }
    return out;
}

CaptionMatcher::CaptionMatcher(const std::u32string& text, bool caseSensitive, bool exactly)
    : pattern_(trimmed(text)), caseSensitive_(caseSensitive), exactly_(exactly)
{
    if (!caseSensitive_)
        pattern_ = UpperText(pattern_);
}

bool CaptionMatcher::Matches(std::u32string caption) const
{
    if (!caseSensitive_)
        caption = UpperText(std::move(caption));
    if (exactly_)
        return trimmed(caption) == pattern_;
    return caption.find(pattern_) != std::u32string::npos;
}

bool CaptionMatcher::MatchesAnsi(const std::string& caption) const
{
    // Plain ASCII reads the same in both code pages: no conversion needed.
    if (isAscii(caption))
        return Matches(std::u32string(caption.begin(), caption.end()));
    return Matches(Utf8ToU32(AnsiToUtf8(caption)));
}

CaseTreeIndex::CaseTreeIndex(CaseDB& db)
{
    for (int32_t id : db.AllNodeIds()) {
        CaseNode node;
        if (db.GetNode(id, node, false))
            children_[node.Parent].push_back({id, node.Order, std::move(node.Caption)});
    }
    for (auto& [parent, list] : children_)
        std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) {
            return a.order != b.order ? a.order < b.order : a.id < b.id;
        });
}

std::vector<int32_t> CaseTreeIndex::FindBelow(int32_t root, const CaptionMatcher& matcher) const
{
    // Depth-first with an explicit stack: one (children, next index) per level.
    struct Level {
        const std::vector<Entry>* children;
        size_t next;
    };
    std::vector<Level> stack;
    std::vector<int32_t> path;
    std::unordered_set<int32_t> seen{root};   // a damaged file may link parents in a circle
    auto push = [&](int32_t parent) {
        auto it = children_.find(parent);
        if (it != children_.end())
            stack.push_back({&it->second, 0});
        else
            stack.push_back({nullptr, 0});
    };
    push(root);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (!level.children || level.next >= level.children->size()) {
            stack.pop_back();
            if (!path.empty())
                path.pop_back();
            continue;
        }
        const Entry& entry = (*level.children)[level.next++];
        if (!seen.insert(entry.id).second)
            continue;
        path.push_back(entry.id);
        if (matcher.MatchesAnsi(entry.caption))
            return path;
        push(entry.id);
    }
    return {};
}

// vaultleaf-cli grep: the full-text search of the window over a database.
// Hits print in the store's row order, one line each (id, caption path,
// the line around the match), or as a JSON list.
#include <algorithm>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/StoreSession.h"
#include "kellib/Kelcodepage.h"
#include "rtf/RtfCodepage.h"
#include "search/CaseSearch.h"

namespace cli {

namespace {

const char* PlaceName(SearchHit::Where place) {
    return place == SearchHit::kCaption ? "caption" : place == SearchHit::kContent ? "content" : "unreadable";
}

void PrintJson(const std::vector<SearchHit>& hits) {
    Print("[");
    for (size_t i = 0; i < hits.size(); ++i) {
        const SearchHit& h = hits[i];
        std::string path;
        for (const std::string& caption : h.Path) path += (path.empty() ? "" : ", ") + JsonString(caption);
        Print("%s\n  {\"id\": %d, \"kind\": %d, \"match\": \"%s\", \"path\": [%s], \"context\": %s}",
              i ? "," : "", h.Id, h.Type, PlaceName(h.Place), path.c_str(), JsonString(h.Context).c_str());
    }
    Print("%s]\n", hits.empty() ? "" : "\n");
}

void PrintLines(const std::vector<SearchHit>& hits) {
    for (const SearchHit& h : hits)
        Print("%d\t%s\t%s\n", h.Id, Printable(JoinPath(h, "/")).c_str(),
              h.Place == SearchHit::kUnreadable ? "(content cannot be opened)" : Printable(h.Context).c_str());
}

int Grep(const Options& options) {
    return WithDatabase(options, kReads, [](CaseDB& db, const Options& a, const std::string&) -> int {
        const std::string& text = a.positional[1];
        if (text.empty()) return Fail(kExitUsage, "the search text is empty");
        if (!IsValidUtf8(text)) return Fail(kExitUsage, "the search text is not valid UTF-8");
        const TextMatcher matcher(Utf8ToUtf32(text), {.matchCase = !a.ignoreCase, .wholeWord = false});
        std::vector<SearchHit> hits;
        CaseSearch search(db);
        const SearchSummary summary = search.Run(matcher, [&](const SearchHit& hit) { hits.push_back(hit); });
        std::sort(hits.begin(), hits.end(), [](const SearchHit& x, const SearchHit& y) { return x.Row < y.Row; });
        if (a.json)
            PrintJson(hits);
        else
            PrintLines(hits);
        if (summary.Unreadable > 0)
            std::fprintf(stderr, "vaultleaf-cli: %d nodes cannot be opened\n", summary.Unreadable);
        return summary.Hits > summary.Unreadable ? kExitOk : kExitError;
    });
}

}  // namespace

const std::vector<Command>& SearchCommands() {
    static const std::vector<Command> commands = {
        {"grep", "DB TEXT", 2, 2, kOptIgnoreCase | kOptJson | kOptPasswordFile,
         "Searches captions and contents for TEXT, as the window's full-text search does.", Grep}};
    return commands;
}

}  // namespace cli

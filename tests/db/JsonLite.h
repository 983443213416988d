// A small JSON reader for the fixtures' expected contents (objects, arrays,
// strings with escapes, numbers, true/false/null).
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json none;
        auto it = members.find(key);
        return it == members.end() ? none : it->second;
    }

    static Json Parse(const std::string& s) {
        size_t pos = 0;
        return ParseValue(s, pos);
    }

private:
    static void SkipSpace(const std::string& s, size_t& pos) {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            ++pos;
    }
    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    static std::string ParseString(const std::string& s, size_t& pos) {
        std::string out;
        ++pos;   // opening quote
        while (pos < s.size() && s[pos] != '"') {
            char c = s[pos++];
            if (c != '\\') {
                out += c;
                continue;
            }
            char e = s[pos++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    unsigned cp = std::strtoul(s.substr(pos, 4).c_str(), nullptr, 16);
                    pos += 4;
                    if (cp >= 0xD800 && cp < 0xDC00 && s.compare(pos, 2, "\\u") == 0) {
                        unsigned low = std::strtoul(s.substr(pos + 2, 4).c_str(), nullptr, 16);
                        pos += 6;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default: out += e;
            }
        }
        ++pos;   // closing quote
        return out;
    }
    static Json ParseValue(const std::string& s, size_t& pos) {
        Json v;
        SkipSpace(s, pos);
        if (pos >= s.size()) return v;
        char c = s[pos];
        if (c == '{') {
            v.kind = Object;
            ++pos;
            for (SkipSpace(s, pos); pos < s.size() && s[pos] != '}'; SkipSpace(s, pos)) {
                if (s[pos] == ',') { ++pos; continue; }
                std::string key = ParseString(s, pos);
                SkipSpace(s, pos);
                ++pos;   // colon
                v.members[key] = ParseValue(s, pos);
            }
            ++pos;
        } else if (c == '[') {
            v.kind = Array;
            ++pos;
            for (SkipSpace(s, pos); pos < s.size() && s[pos] != ']'; SkipSpace(s, pos)) {
                if (s[pos] == ',') { ++pos; continue; }
                v.items.push_back(ParseValue(s, pos));
            }
            ++pos;
        } else if (c == '"') {
            v.kind = String;
            v.text = ParseString(s, pos);
        } else if (s.compare(pos, 4, "true") == 0 || s.compare(pos, 5, "false") == 0) {
            v.kind = Bool;
            v.boolean = s[pos] == 't';
            pos += v.boolean ? 4 : 5;
        } else if (s.compare(pos, 4, "null") == 0) {
            pos += 4;
        } else {
            v.kind = Number;
            char* end = nullptr;
            v.number = std::strtod(s.c_str() + pos, &end);
            pos = static_cast<size_t>(end - s.c_str());
        }
        return v;
    }
};

// Shared helpers of the store tests: a private temporary folder per test,
// whole-file reads, and a logged-in database with a few nodes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "db/CaseDB.h"

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vl-db-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// size bytes that do not compress (a xorshift sequence from seed, not 0), so
// they take their size in a database.
inline std::string Noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& b : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        b = char(seed);
    }
    return bytes;
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Adds a node with the next id under parent and returns the id.
inline int32_t AddTestNode(CaseDB& db, int32_t parent, int32_t order, const std::string& caption,
                           const std::string& content = "", uint8_t type = kNodeText) {
    CaseNode node;
    node.Id = db.TakeNextId(false);
    node.Parent = parent;
    node.Order = order;
    node.Type = type;
    node.Caption = caption;
    node.SetData(content.data(), static_cast<int32_t>(content.size()));
    EXPECT_TRUE(db.AddNode(node));
    return node.Id;
}

// A new database at path, logged in with password.
inline void CreateTestDatabase(CaseDB& db, const std::string& path, const std::string& password) {
    ASSERT_EQ(db.Open(path, true), CaseDB::kOpened);
    ASSERT_TRUE(db.Login(password));
}

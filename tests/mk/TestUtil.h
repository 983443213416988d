// Helpers shared by the storage engine tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace mktest {

inline const char* kCase = "Case[Id:I,Parent:I,Order:I,Type:I,Caption:B,Created:D,Modified:D,Attribute:S,Data:B]";

inline std::string FixtureDir() { return std::string(VAULTLEAF_FIXTURES) + "/metakit"; }

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh directory under the system temp folder, removed at the end of the test.
class TempDir {
public:
    TempDir() {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("vl-mk-") + (info ? info->name() : "x") + "-" + std::to_string(::getpid());
        for (char& c : name)
            if (c == '/') c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace mktest

// Every fixture written by the original library reads back as its .json says.
#include <unistd.h>

#include <algorithm>

#include "TestUtil.h"
#include "mk/Dump.h"
#include "mk/Storage.h"

namespace {

using mktest::FixtureDir;
using mktest::ReadFile;

struct Expectation {
    const char* file;
    mk::Status status;
    const char* json;   // content expected; nullptr: the fixture's own .json
};

// Where we deliberately differ from the original library.
const Expectation kExceptions[] = {
    {"interrupted-append.mk", mk::Status::Recovered, "interrupted-base.json"},
    {"trailing-garbage.mk", mk::Status::Recovered, "schema-basic.json"},
    {"old-format-bigendian.mk", mk::Status::OldFormat, nullptr},
};

std::vector<std::string> Fixtures() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(FixtureDir()))
        if (e.path().extension() == ".mk") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The part of a dump that describes content rather than the file.
std::string Content(const std::string& json) { return json.substr(std::min(json.size(), json.find("\"structure\""))); }

class Fixture : public ::testing::TestWithParam<std::string> {};

TEST_P(Fixture, ReadsAsItsJsonSays) {
    const std::string name = GetParam();
    const std::string path = FixtureDir() + "/" + name;
    const std::string ownJson = path.substr(0, path.size() - 3) + ".json";
    Expectation want{name.c_str(), mk::Status::Ok, nullptr};
    for (const auto& e : kExceptions)
        if (name == e.file) want = e;

    mk::Storage s;
    ASSERT_EQ(s.Open(path, true), want.status);
    if (want.status == mk::Status::OldFormat) {
        EXPECT_FALSE(s.IsOpen());
        EXPECT_TRUE(s.Info().oldFormat);
        return;
    }
    std::string dump = mk::DumpJson(s);
    if (want.json) {
        EXPECT_EQ(Content(dump), Content(ReadFile(FixtureDir() + "/" + want.json)));
        EXPECT_TRUE(s.Recovered());
    } else {
        EXPECT_EQ(dump, ReadFile(ownJson));
    }
}

INSTANTIATE_TEST_SUITE_P(Metakit, Fixture, ::testing::ValuesIn(Fixtures()), [](const auto& info) {
    std::string n = info.param.substr(0, info.param.size() - 3);
    for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

}  // namespace

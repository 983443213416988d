// The sample database written by an independent implementation of the format.
#include <gtest/gtest.h>

#include "JsonLite.h"
#include "TestSupport.h"
#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "public/Base64.h"

namespace {

const std::string kSampleDir = std::string(VAULTLEAF_FIXTURES) + "/vldb";

class SampleTest : public ::testing::Test {
protected:
    void SetUp() override {
        expected = Json::Parse(ReadFile(kSampleDir + "/sample.json"));
        ASSERT_EQ(expected.kind, Json::Object);
        // Work on a copy: opening must not need write access to the fixture.
        std::filesystem::copy_file(kSampleDir + "/sample.vldb", path);
        password = Utf8ToAnsi(expected["password"].text);
    }

    void ExpectSampleContent(CaseDB& db) {
        const auto& nodes = expected["nodes"].items;
        ASSERT_EQ(db.NodeCount(), static_cast<int>(nodes.size()));
        for (const Json& want : nodes) {
            int32_t id = static_cast<int32_t>(want["id"].number);
            SCOPED_TRACE("node " + std::to_string(id));
            CaseNode node;
            ASSERT_TRUE(db.GetNode(id, node, true));
            EXPECT_EQ(node.Parent, want["parent"].number);
            EXPECT_EQ(node.Order, want["order"].number);
            EXPECT_EQ(node.Type, want["type"].number);
            EXPECT_EQ(AnsiToUtf8(node.Caption), want["caption"].text);
            EXPECT_EQ(node.Created, want["created"].number);
            EXPECT_EQ(node.Modified, want["modified"].number);
            EXPECT_EQ(node.Attribute, want["attribute"].text);
            EXPECT_EQ(node.DataBytes(), Base64Decode(want["data_b64"].text));
        }
        std::vector<int32_t> bookmarks;
        for (const Json& b : expected["bookmarks"].items) bookmarks.push_back(static_cast<int32_t>(b.number));
        EXPECT_EQ(db.GetBookmarks(), bookmarks);
    }

    TempFolder dir;
    std::string path = dir.File("sample.vldb");
    Json expected;
    std::string password;
};

}  // namespace

TEST_F(SampleTest, OpensWithItsPasswordAndReadsEveryNode) {
    CaseDB db;
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login(password));
    ExpectSampleContent(db);
    EXPECT_EQ(db.GetChildren(1), (std::vector<int32_t>{2, 3, 4, 8}));
    EXPECT_EQ(db.GetChildren(-1), (std::vector<int32_t>{7}));
}

TEST_F(SampleTest, WrongPasswordIsRefusedAndNothingIsRead) {
    const std::string before = ReadFile(path);
    CaseDB db;
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    for (const char* wrong : {"", "测试密码", "wrong"}) EXPECT_FALSE(db.Login(wrong));
    CaseNode node;
    EXPECT_FALSE(db.GetNode(2, node, true));
    db.Close();
    EXPECT_TRUE(ReadFile(path) == before);
}

TEST_F(SampleTest, SurvivesPackAndPasswordChange) {
    CaseDB db;
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login(password));
    ASSERT_TRUE(db.Pack());
    unsigned char cancel = 0;
    ASSERT_TRUE(db.ChangePassword(password, "new", cancel, {}));
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login("new"));
    ExpectSampleContent(db);
}

// The shape of the node tree: the parent walk, damage a file may hold (parents
// in a circle, missing parents), its repair, trees of any depth, child orders
// at the top of their range, and a damaged password check.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "TestSupport.h"
#include "db/CaseDB.h"
#include "db/CaseFind.h"
#include "mk/Storage.h"

namespace {

void AddRaw(CaseDB& db, int32_t id, int32_t parent, int32_t order = 1, const std::string& caption = "n") {
    CaseNode node;
    node.Id = id;
    node.Parent = parent;
    node.Order = order;
    node.Caption = caption;
    node.SetDataFromText("");
    ASSERT_TRUE(db.AddNode(node));
}

// A chain 1 → 2 → ... → depth, node 1 under parent.
void AddChain(CaseDB& db, int depth, int32_t parent = kParentTop) {
    for (int32_t id = 1; id <= depth; ++id) AddRaw(db, id, id == 1 ? parent : id - 1);
}

class TreeShapeTest : public ::testing::Test {
protected:
    void SetUp() override { CreateTestDatabase(db, path, "secret"); }

    // 1 (top) ─ 2;  3 (bin);  4 below missing 99;  5 ↔ 6 a circle with 7
    // below 6;  8 its own parent.
    void AddDamagedTree() {
        for (auto [id, parent] : std::vector<std::pair<int32_t, int32_t>>{
                 {1, 0}, {2, 1}, {3, -1}, {4, 99}, {5, 6}, {6, 5}, {7, 6}, {8, 8}})
            AddRaw(db, id, parent);
    }

    TempFolder dir;
    std::string path = dir.File("tree.vldb");
    CaseDB db;
};

}  // namespace

TEST_F(TreeShapeTest, AncestryEndsAtTheTopTheBinOrWhereTheTreeIsBroken) {
    AddDamagedTree();
    struct Case {
        int32_t id;
        std::vector<int32_t> walk;
        bool reachesRoot;
    };
    const Case cases[] = {
        {2, {2, 1, 0}, true},  {3, {3, -1}, true},   {0, {0}, true},    {-1, {-1}, true},
        {4, {4}, false},       {7, {7, 6, 5}, false}, {8, {8}, false},  {42, {}, false},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> walk = db.Ancestry(c.id);
        EXPECT_EQ(walk, c.walk) << c.id;
        EXPECT_EQ(CaseDB::ReachesRoot(walk), c.reachesRoot) << c.id;
    }
    EXPECT_TRUE(db.IsDescendant(5, 7));
    EXPECT_FALSE(db.IsDescendant(7, 5));
    EXPECT_FALSE(db.MoveNode(5, 7));   // would only close another circle
}

TEST_F(TreeShapeTest, DamageIsFoundAndEveryUnreachableNodeIsRecoveredInOneFolder) {
    AddDamagedTree();
    ASSERT_TRUE(db.Commit());
    CaseDB::TreeDamage damage = db.FindTreeDamage();
    EXPECT_EQ(damage.circles, (std::vector<int32_t>{5, 6, 8}));
    EXPECT_EQ(damage.orphans, (std::vector<int32_t>{4}));
    EXPECT_EQ(damage.unreachable, (std::vector<int32_t>{4, 5, 6, 7, 8}));

    EXPECT_EQ(db.RecoverUnreachable("recovered"), 5);
    ASSERT_TRUE(db.Commit());
    EXPECT_TRUE(db.FindTreeDamage().unreachable.empty());
    std::vector<int32_t> top = db.GetChildren(kParentTop);
    ASSERT_EQ(top.size(), 2u);
    CaseNode folder;
    ASSERT_TRUE(db.GetNode(top[1], folder, true));
    EXPECT_EQ(folder.Caption, "recovered");
    EXPECT_EQ(folder.Type, kNodeFolder);
    for (int32_t id : db.AllNodeIds()) EXPECT_TRUE(CaseDB::ReachesRoot(db.Ancestry(id))) << id;
    EXPECT_EQ(db.CountDescendants(folder.Id), 5);
    // Parents that were whole stay as they were.
    CaseNode node;
    ASSERT_TRUE(db.GetNode(7, node, false));
    EXPECT_EQ(node.Parent, 6);

    const int rows = db.NodeCount();
    EXPECT_EQ(db.RecoverUnreachable("recovered"), 0);
    EXPECT_EQ(db.NodeCount(), rows);   // nothing to do: no second folder
}

// Every walk of the store over a chain deeper than any call stack would hold.
TEST_F(TreeShapeTest, WalksOfAnyDepth) {
    const int depth = 30000;
    AddChain(db, depth);
    ASSERT_TRUE(db.Commit());
    EXPECT_EQ(db.Ancestry(depth).size(), static_cast<size_t>(depth + 1));
    EXPECT_EQ(db.CountDescendants(1), depth - 1);
    EXPECT_TRUE(db.IsDescendant(1, depth));
    EXPECT_FALSE(db.MoveNode(1, depth));
    EXPECT_TRUE(db.FindTreeDamage().unreachable.empty());
    CaseTreeIndex index(db);
    std::vector<int32_t> found = index.FindBelow(kParentTop, CaptionMatcher(U"m", true, false));
    EXPECT_TRUE(found.empty());

    // The whole chain cut off from the top, then recovered.
    CaseNode first;
    ASSERT_TRUE(db.GetNode(1, first, true));
    first.Parent = 123456;
    ASSERT_TRUE(db.SaveNode(first));
    EXPECT_EQ(db.FindTreeDamage().unreachable.size(), static_cast<size_t>(depth));
    EXPECT_EQ(db.RecoverUnreachable("recovered"), depth);
    EXPECT_TRUE(CaseDB::ReachesRoot(db.Ancestry(depth)));

    ASSERT_TRUE(db.MoveNode(1, kParentRecycleBin));
    ASSERT_TRUE(db.DeleteNode(1));
    EXPECT_EQ(db.NodeCount(), 1);   // the recovery folder
}

// One above the highest Order would wrap round to the lowest: the children are
// numbered anew instead, in the order they had.
TEST_F(TreeShapeTest, NextChildOrderNeverWraps) {
    EXPECT_EQ(db.NextChildOrder(kParentTop), 1);
    AddRaw(db, 1, kParentTop, INT32_MAX);
    AddRaw(db, 2, kParentTop, 5);
    AddRaw(db, 3, kParentTop, INT32_MAX);
    AddRaw(db, 4, 2, INT32_MAX - 1);
    EXPECT_EQ(db.NextChildOrder(2), INT32_MAX);
    EXPECT_EQ(db.NextChildOrder(kParentTop), 4);
    EXPECT_EQ(db.GetChildren(kParentTop), (std::vector<int32_t>{2, 1, 3}));
    EXPECT_EQ(db.MaxChildOrder(kParentTop), 3);
}

// A damaged check value (unreadable, or another password's) does not make
// the right password wrong when its key opens the captions; it never lets a
// wrong one in.
TEST_F(TreeShapeTest, DamagedPasswordCheck) {
    AddRaw(db, 1, kParentTop, 1, "note");
    ASSERT_TRUE(db.Commit());
    for (const char* damaged : {"garbage", "12345", ""}) {
        ASSERT_TRUE(db.SetParam("PassCheckSum", damaged));
        ASSERT_TRUE(db.Commit());
        db.Close();
        ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
        EXPECT_FALSE(db.Login("wrong")) << damaged;
        EXPECT_FALSE(db.IsLoggedIn());
        ASSERT_TRUE(db.Login("secret")) << damaged;
        EXPECT_TRUE(db.PasswordCheckDamaged());
        CaseNode node;
        ASSERT_TRUE(db.GetNode(1, node, false));
        EXPECT_EQ(node.Caption, "note");
    }
    EXPECT_NE(CaseDB::PasswordCheckDamagedMessage("a.vldb").find("a.vldb"), std::string::npos);
    // A password change writes the check anew.
    unsigned char cancel = 0;
    ASSERT_TRUE(db.ChangePassword("secret", "fresh", cancel, {}));
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login("fresh"));
    EXPECT_FALSE(db.PasswordCheckDamaged());
}

TEST_F(TreeShapeTest, DamagedPasswordCheckWithoutCaptionsToTryIsRefused) {
    AddRaw(db, 1, kParentTop);
    ASSERT_TRUE(db.DeleteNode(1));
    ASSERT_TRUE(db.SetParam("PassCheckSum", "77"));
    ASSERT_TRUE(db.Commit());
    db.Close();
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    EXPECT_FALSE(db.NeedsFirstPassword());
    EXPECT_FALSE(db.Login("secret"));
}

// A caption whose bytes were replaced by others of a sealed block's length:
// GetNode may still read text from it, but it is not intact.
TEST_F(TreeShapeTest, CaptionsThatDoNotDecipherAreNotIntact) {
    AddRaw(db, 1, kParentTop, 1, "good");
    AddRaw(db, 2, kParentTop, 2, "bad");
    ASSERT_TRUE(db.Commit());
    db.Close();
    {
        mk::Storage storage;
        ASSERT_EQ(storage.Open(path), mk::Status::Ok);
        mk::View* view = storage.ViewNamed("Case");
        ASSERT_NE(view, nullptr);
        view->SetBytes(1, view->Column("Caption"), std::string("\x11\x22\x33\x44\x55\x66\x77\x08\x19\x2a\x3b\x4c\x5d\x6e\x7f\x01", 16));
        ASSERT_TRUE(storage.Commit());
    }
    ASSERT_EQ(db.Open(path, false), CaseDB::kOpened);
    ASSERT_TRUE(db.Login("secret"));
    EXPECT_TRUE(db.CaptionIntact(1));
    EXPECT_FALSE(db.CaptionIntact(2));
    EXPECT_FALSE(db.CaptionIntact(3));
}

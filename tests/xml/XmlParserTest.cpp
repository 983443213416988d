#include "xml/XmlParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace xml;

namespace {

// Records every notification as one line: "C name [attributes]" or "L name=text [attributes]".
class Recorder : public XmlNotify {
public:
    std::vector<std::string> calls;
    void OnContainer(const std::string& name, const std::string& attributes) override {
        calls.push_back("C " + name + " [" + attributes + "]");
    }
    void OnLeaf(const std::string& name, const std::string& text, const std::string& attributes) override {
        calls.push_back("L " + name + "=" + text + " [" + attributes + "]");
    }
};

std::vector<std::string> Parse(const std::string& doc) {
    Recorder r;
    XmlStream s;
    s.SetNotify(&r);
    EXPECT_TRUE(s.Parse(doc.data(), static_cast<long>(doc.size())));
    EXPECT_EQ(s.Buffer(), doc);
    return r.calls;
}

using Calls = std::vector<std::string>;

}  // namespace

TEST(XmlParser, Documents) {
    struct Case {
        const char* doc;
        Calls calls;
    } cases[] = {
        {"<A>x</A>", {"L A=x []"}},
        {"<A>\r\n<B>1</B>\r\n<C>2</C>\r\n</A>", {"C A []", "L B=1 []", "L C=2 []"}},
        {"<A k=1>v</A>", {"L A=v [k=1]"}},
        {"<A/>", {"L A= []"}},
        {"<A k=\"1\" j='2'/>", {"L A= [k=\"1\" j='2']"}},
        {"<A></A>", {"L A= []"}},
        {"<A>a &amp; b</A>", {"L A=a &amp; b []"}},
        {"<A> two\r\nlines </A>", {"L A= two\r\nlines  []"}},
        {"<?xml version=\"1.0\"?><A>x</A>", {}},
        {"<!-- note --><A>x</A>", {}},
        {"<A>x", {}},
        {"<A>x</A><B>y", {"L A=x []"}},
        {"<A>x</A><B", {"L A=x []"}},
        {"<A><A>x</A></A>", {"C A []", "L A=x []"}},
        // after a container, its siblings follow, with or without text before its closing tag
        {"<R><A><B>1</B></A><C>2</C></R>", {"C R []", "C A []", "L B=1 []", "L C=2 []"}},
        {"<A><B>1</B></A><C>2</C>", {"C A []", "L B=1 []", "L C=2 []"}},
        // a broken child ends only its own level
        {"<A>a<b</A><C>2</C>", {"C A []", "L C=2 []"}},
        {"<A\tk=1>x</A\tk=1>", {"L A\tk=1=x []"}},  // only the space ends a name
        {"<>x</><A>y</A>", {"L A=y []"}},          // nameless elements are not told
        {"no tags at all", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Parse(c.doc), c.calls) << c.doc;
}

TEST(XmlParser, RejectsAbsentOrEmptyInput) {
    XmlStream s;
    EXPECT_FALSE(s.Parse(nullptr, 5));
    EXPECT_FALSE(s.Parse("<A>x</A>", 0));
    EXPECT_FALSE(s.Parse("<A>x</A>", -1));
    EXPECT_TRUE(s.Parse("<A>x</A>", 8));  // no receiver: parses quietly
}

TEST(XmlParser, ParsesOnlyTheGivenLength) {
    Recorder r;
    XmlStream s;
    s.SetNotify(&r);
    const char doc[] = "<A>x</A><B>y</B>";
    ASSERT_TRUE(s.Parse(doc, 8));
    EXPECT_EQ(r.calls, Calls{"L A=x []"});
}

TEST(XmlParser, DeepNestingDoesNotExhaustTheStack) {
    std::string doc;
    for (int i = 0; i < 200000; ++i) doc += "<a>";
    doc += "x</a>";
    Recorder r;
    XmlStream s;
    s.SetNotify(&r);
    ASSERT_TRUE(s.Parse(doc.data(), static_cast<long>(doc.size())));
    ASSERT_FALSE(r.calls.empty());
    EXPECT_EQ(r.calls.back(), "L a=x []");
}

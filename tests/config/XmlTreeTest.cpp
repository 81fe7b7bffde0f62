// Walks over XML trees of any depth: nesting measured, text gathered and descendants found
// without a frame per level.
#include "config/xmlTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using namespace vantle;

namespace {

std::string nested(int levels, const std::string& content) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "<t>";
    text += content;
    for (int i = 0; i < levels; ++i)
        text += "</t>";
    return text;
}

} // namespace

TEST(XmlTreeTest, DepthCountsElementLevelsAndStopsPastTheLimit) {
    struct Case {
        std::string xml;
        int depth;
    };
    const Case cases[] = {
        {"<r/>", 1},
        {"<r>text</r>", 1},
        {"<r><a/><b><c/></b></r>", 3},
        {"<r><a><b/></a><c/></r>", 3}, // the deepest branch first
        {"<r><c/><a><b/></a></r>", 3}, // and last
        {nested(64, "x"), 64},
        {nested(65, "x"), 65},
        {nested(200000, "x"), MaxXmlDepth + 1}, // counting stops past the limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml.substr(0, 30));
        pugi::xml_document document;
        ASSERT_TRUE(document.load_buffer(c.xml.data(), c.xml.size()));
        EXPECT_EQ(xmlDepth(document), c.depth);
        EXPECT_EQ(xmlDepth(document.document_element()), c.depth);
    }
}

TEST(XmlTreeTest, TextAndDescendantsOfADeepTree) {
    const std::string xml = "<r>a<![CDATA[<b>]]>" + nested(200000, "<type n='1'/>deep") +
                            "<type n='2'><type n='3'/></type> z</r>";
    pugi::xml_document document;
    ASSERT_TRUE(
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata));
    const pugi::xml_node root = document.document_element();
    EXPECT_EQ(xmlText(root), "a<b>deep z");
    EXPECT_EQ(xmlText(root.first_child()), "a"); // a text node is its own text

    const auto numbers = [](const std::vector<pugi::xml_node>& nodes) {
        std::vector<int> n;
        for (const pugi::xml_node& node : nodes)
            n.push_back(node.attribute("n").as_int());
        return n;
    };
    EXPECT_THAT(numbers(xmlDescendants(root, "type", 10)), testing::ElementsAre(1, 2, 3));
    EXPECT_THAT(numbers(xmlDescendants(root, "type", 2)), testing::ElementsAre(1, 2));
    EXPECT_THAT(xmlDescendants(root, "none", 10), testing::IsEmpty());
}

#include "repair/xml_nesting.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <algorithm>
#include <sstream>
#include <string>

namespace {

namespace pt = boost::property_tree;

std::string nested(std::size_t levels, const std::string& open = "<a>") {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) text += open;
    return text;
}

// Element depth of the tree the property-tree reader builds; its attribute and comment nodes
// are not elements.
std::size_t treeDepth(const pt::ptree& node) {
    std::size_t deepest = 0;
    for (const auto& child : node) {
        if (child.first.rfind("<xml", 0) == 0) continue;
        deepest = std::max(deepest, 1 + treeDepth(child.second));
    }
    return deepest;
}

TEST(XmlNestingTest, CountsWhatTheReaderNestsAndSkipsWhatItSkips) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t depth;
    };
    const Case cases[] = {
        {"empty text", "", 0},
        {"declaration, text and an empty element", "<?xml version=\"1.0\"?><a><b>t</b><c/></a>", 2},
        {"three levels", "<a><b><c/></b></a>", 3},
        {"markup inside attribute values", "<a x=\"/>\"><b y='</a>' z = \"'\"><c/></b></a>", 3},
        {"quotes are name characters", "<a\"><b\"><c\"/></b\"></a\">", 3},
        {"closes inside a comment", "<a><!-- </a></a> --><b><c/></b></a>", 3},
        {"a comment does not end in its own opening", "<a><!--></a>--><b/></a>", 2},
        {"closes inside CDATA", "<a><![CDATA[</a>]]><b/></a>", 2},
        {"closes inside an instruction", "<a><?pi </a> ?><b/></a>", 2},
        {"document type with an internal subset", "<!DOCTYPE a [<!ENTITY e \"x>\">]><a><b/></a>", 2},
        {"other declarations", "<a><!ELEMENT </a>><b/></a>", 2},
        {"space before the end of a closing tag", "<a><b></b ></a><c/>", 2},
        {"byte order mark", "\xEF\xBB\xBF<a><b/></a>", 2},
        {"unclosed elements", "<a><b>", 2},
        {"a closing tag outside every element ends the walk", "</a><a><b><c/></b></a>", 0},
        {"a NUL ends the text", std::string("<a>\0<b><c>", 10), 1},
        {"an element without a name ends the walk", "<a>< b><c><d>", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlNestingDepth(c.text, 100), c.depth);
        // Where the reader parses the text, the walk agrees with the tree it builds.
        std::istringstream in(c.text);
        pt::ptree tree;
        try {
            pt::read_xml(in, tree, 0);
        } catch (const pt::xml_parser_error&) {
            continue;
        }
        EXPECT_EQ(c.depth, treeDepth(tree));
    }
}

TEST(XmlNestingTest, StopsCountingPastTheLimit) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"plain elements", nested(100000)},
        {"elements with attributes", nested(100000, "<a b=\"/>\">")},
        {"elements named with quotes", nested(100000, "<a\">")},
        {"elements behind comments", nested(100000, "<!-- </a> --><a>")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlNestingDepth(c.text, 10), 11u);
        EXPECT_EQ(xmlNestingDepth(c.text, 100000), 100000u);
    }
    EXPECT_EQ(xmlNestingDepth(nested(10), 10), 10u);
}

}  // namespace

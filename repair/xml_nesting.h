#pragma once
// How deeply the elements of an XML text nest, measured without building anything.
// The property-tree reader descends one call per level of nesting (in the parser, in the
// conversion to a tree and in the tree's destructor), so a text nested a few thousand levels
// deep overflows the stack, which no catch can stop. The reader's caller measures first and
// refuses what is deeper than any document it expects.
#include <cstddef>
#include <string_view>

// The deepest element nesting of `text` ("<a><b/></a>" is 2), counting stopped at `limit` + 1. The walk skips what
// the property-tree parser skips (the declaration, processing instructions, comments, CDATA,
// DOCTYPE and attribute values, with the same character classes for names) and stops where
// that parser would stop with an error, so it never counts less than the parser descends.
std::size_t xmlNestingDepth(std::string_view text, std::size_t limit);

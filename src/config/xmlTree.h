// Walks over XML trees that never recurse: the usage document comes from the network and the
// settings file from disk, and either may nest as deep as its size allows.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

// The deepest nesting a document may have; real usage documents and settings files nest five
// and three levels deep.
inline constexpr int MaxXmlDepth = 64;

// The number of element levels from node down to its deepest element; node itself counts when
// it is an element (a document whose root holds only text has the depth 1). Stops counting at
// MaxXmlDepth + 1.
int xmlDepth(const pugi::xml_node& node);

// The concatenation of all text below the node, white space kept.
std::string xmlText(const pugi::xml_node& node);

// Every element named name below node (children, grandchildren and deeper), in document order,
// at most limit of them.
std::vector<pugi::xml_node> xmlDescendants(const pugi::xml_node& node, std::string_view name,
                                           std::size_t limit);

} // namespace vantle

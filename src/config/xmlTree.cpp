// Pre-order walks by the tree's own links (first child, next sibling, parent), so the stack
// stays flat whatever the nesting.
#include "xmlTree.h"

#include <algorithm>

namespace vantle {
namespace {

// Visits every node below top in document order with its depth below top (children 1); the
// visitor returns false to skip the node's children, and the walk ends when stop() says so.
template <typename Visit, typename Stop>
void walk(const pugi::xml_node& top, Visit visit, Stop stop) {
    pugi::xml_node node = top.first_child();
    int depth = 1;
    while (node && !stop()) {
        if (visit(node, depth) && node.first_child()) {
            node = node.first_child();
            ++depth;
            continue;
        }
        while (node != top && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node == top)
            return;
        node = node.next_sibling();
    }
}

} // namespace

int xmlDepth(const pugi::xml_node& node) {
    const int own = node.type() == pugi::node_element ? 1 : 0;
    int deepest = own;
    walk(
        node,
        [&deepest, own](const pugi::xml_node& n, int depth) {
            if (n.type() != pugi::node_element)
                return false;
            deepest = std::max(deepest, own + depth);
            return true;
        },
        [&deepest] { return deepest > MaxXmlDepth; });
    return deepest;
}

std::string xmlText(const pugi::xml_node& node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        return node.value();
    std::string text;
    walk(
        node,
        [&text](const pugi::xml_node& n, int) {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
                text += n.value();
            return true;
        },
        [] { return false; });
    return text;
}

std::vector<pugi::xml_node> xmlDescendants(const pugi::xml_node& node, std::string_view name,
                                           std::size_t limit) {
    std::vector<pugi::xml_node> found;
    walk(
        node,
        [&found, name](const pugi::xml_node& n, int) {
            if (n.type() != pugi::node_element)
                return false;
            if (n.name() == name)
                found.push_back(n);
            return true;
        },
        [&found, limit] { return found.size() >= limit; });
    return found;
}

} // namespace vantle

// The text of a SMILES walk as a tree of pieces, joined once at the end: each
// atom's call owns a node with its own piece, its branches and the chain that
// continues from it, so no call copies the text of the calls below it.
#pragma once

#include "python/ref.hpp"
#include "python/text.hpp"

#include <vector>

namespace atom {

class PieceTree {
public:
    int add_node();
    Text& piece(int node) { return nodes_[static_cast<size_t>(node)].piece; }
    // The first child continues the chain and is written last; every later
    // child becomes a parenthesised branch, in order, before it.
    void attach(int parent, int child);
    // piece, "(" branch ")"…, chain; built without recursion.
    Ref join(int root) const;

private:
    struct Node {
        Text piece;
        int chain = -1;
        std::vector<int> branches;
    };
    std::vector<Node> nodes_;
};

}  // namespace atom

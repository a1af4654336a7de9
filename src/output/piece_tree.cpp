#include "output/piece_tree.hpp"

namespace atom {
namespace {

constexpr int kOpen = -1;
constexpr int kClose = -2;

}  // namespace

int PieceTree::add_node() {
    nodes_.emplace_back();
    return static_cast<int>(nodes_.size() - 1);
}

void PieceTree::attach(int parent, int child) {
    Node& p = nodes_[static_cast<size_t>(parent)];
    if (p.chain < 0)
        p.chain = child;
    else
        p.branches.push_back(child);
}

Ref PieceTree::join(int root) const {
    Text out;
    std::vector<int> todo{root};
    while (!todo.empty()) {
        const int item = todo.back();
        todo.pop_back();
        if (item == kOpen || item == kClose) {
            out.add(item == kOpen ? '(' : ')');
            continue;
        }
        const Node& n = nodes_[static_cast<size_t>(item)];
        out.add(n.piece.bytes());
        // Pushed in reverse so that they come out in writing order.
        if (n.chain >= 0) todo.push_back(n.chain);
        for (auto it = n.branches.rbegin(); it != n.branches.rend(); ++it) {
            todo.push_back(kClose);
            todo.push_back(*it);
            todo.push_back(kOpen);
        }
    }
    return out.to_str();
}

}  // namespace atom

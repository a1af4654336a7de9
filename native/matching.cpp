#include "matching.hpp"

#include <algorithm>

namespace kekule {

void Matching::reset(int n) {
    n_ = n;
    first.assign(n + 1, 0);
    edges.clear();
    mate.assign(n, -1);
}

void Matching::greedy() {
    // Vertices with fewer free neighbours first: a chain or a ring fused at
    // one side is then matched from its ends, as a Kekulé structure is.
    for (int pass = 1; pass <= 3; ++pass) {
        for (int v = 0; v < n_; ++v) {
            if (mate[v] >= 0) continue;
            int free = 0, pick = -1;
            for (int e = first[v]; e < first[v + 1]; ++e)
                if (mate[edges[e]] < 0) ++free, pick = pick < 0 ? edges[e] : pick;
            if (pick >= 0 && (free <= pass || pass == 3)) {
                mate[v] = pick;
                mate[pick] = v;
            }
        }
    }
}

int Matching::common_base(int a, int b) {
    std::fill(on_path_.begin(), on_path_.end(), 0);
    for (;;) {
        a = base_[a];
        on_path_[a] = 1;
        if (mate[a] < 0) break;
        a = parent_[mate[a]];
    }
    for (;;) {
        b = base_[b];
        if (on_path_[b]) return b;
        b = parent_[mate[b]];
    }
}

void Matching::mark_path(int v, int b, int child) {
    while (base_[v] != b) {
        blossom_[base_[v]] = blossom_[base_[mate[v]]] = 1;
        parent_[v] = child;
        child = mate[v];
        v = parent_[mate[v]];
    }
}

void Matching::flip(int v) {
    while (v >= 0) {
        int p = parent_[v];
        int next = mate[p];
        mate[v] = p;
        mate[p] = v;
        v = next;
    }
}

bool Matching::augment_from(int root) {
    parent_.assign(n_, -1);
    used_.assign(n_, 0);
    blossom_.assign(n_, 0);
    on_path_.assign(n_, 0);
    base_.resize(n_);
    for (int i = 0; i < n_; ++i) base_[i] = i;
    queue_.clear();
    queue_.push_back(root);
    used_[root] = 1;
    for (std::size_t head = 0; head < queue_.size(); ++head) {
        int v = queue_[head];
        for (int e = first[v]; e < first[v + 1]; ++e) {
            int to = edges[e];
            if (base_[v] == base_[to] || mate[v] == to) continue;
            if (to == root || (mate[to] >= 0 && parent_[mate[to]] >= 0)) {
                // An odd cycle: contract it into its base.
                int b = common_base(v, to);
                std::fill(blossom_.begin(), blossom_.end(), 0);
                mark_path(v, b, to);
                mark_path(to, b, v);
                for (int i = 0; i < n_; ++i) {
                    if (!blossom_[base_[i]]) continue;
                    base_[i] = b;
                    if (!used_[i]) {
                        used_[i] = 1;
                        queue_.push_back(i);
                    }
                }
            } else if (parent_[to] < 0) {
                parent_[to] = v;
                if (mate[to] < 0) {
                    flip(to);
                    return true;
                }
                used_[mate[to]] = 1;
                queue_.push_back(mate[to]);
            }
        }
    }
    return false;
}

}  // namespace kekule

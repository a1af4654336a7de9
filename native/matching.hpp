// A maximum matching on a general graph: greedy first, then augmenting paths
// found with Edmonds' blossom contraction, all with explicit queues.
#pragma once

#include <vector>

namespace kekule {

class Matching {
public:
    // Vertices 0..n-1; neighbours of v at edges[first[v]..first[v+1]).
    void reset(int n);
    std::vector<int> first;
    std::vector<int> edges;
    std::vector<int> mate;  // -1 when unmatched

    void greedy();
    // Matches v through an augmenting path; false when none exists.
    bool augment_from(int root);

private:
    int n_ = 0;
    std::vector<int> parent_, base_, queue_;
    std::vector<char> used_, blossom_, on_path_;

    int common_base(int a, int b);
    void mark_path(int v, int b, int child);
    void flip(int v);
};

}  // namespace kekule

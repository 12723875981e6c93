// The bounding-volume hierarchy the tracer walks.  It is built in two
// levels: each "bound" of the scene gets a subtree over its members, and the
// top level is built over those subtrees and the objects no bound holds.
#pragma once

#include <cstdint>
#include <vector>

struct BvhBox {
    float lo[3], hi[3];
};

struct BvhNode {
    float lo[3];
    int32_t a;  // interior: left child; leaf: first item
    float hi[3];
    int32_t b;  // interior: right child; leaf: -(item count)
    bool leaf() const { return b < 0; }
};

struct Bvh {
    std::vector<BvhNode> nodes;
    std::vector<int32_t> items;  // primitive indices, in leaf order
    int32_t root = -1;
};

// Builds a hierarchy over `boxes` (one per primitive); `group[i]` names the
// bound primitive i belongs to (-1 for none): members of one group are kept
// together in one subtree.
void bvh_build(Bvh& bvh, const std::vector<BvhBox>& boxes, const std::vector<int>& group);

#include "raytrace/bvh.h"

#include <algorithm>
#include <cfloat>
#include <map>

namespace {

constexpr int kBins = 16;
constexpr int kLeafMax = 4;

struct Item {
    BvhBox box;
    float centre[3];
    int32_t prim;     // a primitive, or -1
    int32_t subtree;  // a node built before, or -1
};

BvhBox empty_box()
{
    return {{FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
}

void grow(BvhBox& b, const BvhBox& o)
{
    for (int i = 0; i < 3; ++i) {
        b.lo[i] = std::min(b.lo[i], o.lo[i]);
        b.hi[i] = std::max(b.hi[i], o.hi[i]);
    }
}

float area(const BvhBox& b)
{
    float d[3];
    for (int i = 0; i < 3; ++i)
        d[i] = std::max(0.0f, b.hi[i] - b.lo[i]);
    return 2 * (d[0] * d[1] + d[1] * d[2] + d[2] * d[0]);
}

struct Builder {
    Bvh& bvh;

    int32_t make_leaf(std::vector<Item>& items, int begin, int end, const BvhBox& box)
    {
        BvhNode n{};
        std::copy(box.lo, box.lo + 3, n.lo);
        std::copy(box.hi, box.hi + 3, n.hi);
        n.a = static_cast<int32_t>(bvh.items.size());
        n.b = -(end - begin);
        for (int i = begin; i < end; ++i)
            bvh.items.push_back(items[i].prim);
        bvh.nodes.push_back(n);
        return static_cast<int32_t>(bvh.nodes.size() - 1);
    }

    int32_t build(std::vector<Item>& items, int begin, int end)
    {
        int count = end - begin;
        if (count == 1 && items[begin].subtree >= 0)
            return items[begin].subtree;
        BvhBox box = empty_box(), cbox = empty_box();
        bool has_subtree = false;
        for (int i = begin; i < end; ++i) {
            grow(box, items[i].box);
            BvhBox c{{items[i].centre[0], items[i].centre[1], items[i].centre[2]},
                     {items[i].centre[0], items[i].centre[1], items[i].centre[2]}};
            grow(cbox, c);
            has_subtree = has_subtree || items[i].subtree >= 0;
        }
        if (count <= kLeafMax && !has_subtree)
            return make_leaf(items, begin, end, box);

        // Binned surface-area split on the longest axis of the centres.
        int axis = 0;
        float extent[3];
        for (int i = 0; i < 3; ++i)
            extent[i] = cbox.hi[i] - cbox.lo[i];
        if (extent[1] > extent[axis])
            axis = 1;
        if (extent[2] > extent[axis])
            axis = 2;
        int mid = begin + count / 2;
        if (extent[axis] > 0) {
            BvhBox bins[kBins];
            int counts[kBins] = {};
            for (auto& b : bins)
                b = empty_box();
            float scale = kBins / extent[axis] * 0.9999f;
            auto bin_of = [&](const Item& it) {
                int b = static_cast<int>((it.centre[axis] - cbox.lo[axis]) * scale);
                return std::clamp(b, 0, kBins - 1);
            };
            for (int i = begin; i < end; ++i) {
                int b = bin_of(items[i]);
                counts[b] += 1;
                grow(bins[b], items[i].box);
            }
            float left_area[kBins], right_area[kBins];
            int left_count[kBins], right_count[kBins];
            BvhBox acc = empty_box();
            int n = 0;
            for (int i = 0; i < kBins; ++i) {
                grow(acc, bins[i]);
                n += counts[i];
                left_area[i] = area(acc);
                left_count[i] = n;
            }
            acc = empty_box();
            n = 0;
            for (int i = kBins - 1; i >= 0; --i) {
                right_area[i] = area(acc);
                right_count[i] = n;
                grow(acc, bins[i]);
                n += counts[i];
            }
            float best = FLT_MAX;
            int best_bin = -1;
            for (int i = 0; i < kBins - 1; ++i) {
                if (left_count[i] == 0 || right_count[i] == 0)
                    continue;
                float cost = left_area[i] * left_count[i] + right_area[i] * right_count[i];
                if (cost < best) {
                    best = cost;
                    best_bin = i;
                }
            }
            float leaf_cost = area(box) * count;
            if (best_bin >= 0 && !(count <= kLeafMax && !has_subtree && best >= leaf_cost)) {
                auto it = std::partition(items.begin() + begin, items.begin() + end,
                                         [&](const Item& x) { return bin_of(x) <= best_bin; });
                mid = static_cast<int>(it - items.begin());
            } else {
                std::nth_element(items.begin() + begin, items.begin() + mid, items.begin() + end,
                                 [&](const Item& x, const Item& y) { return x.centre[axis] < y.centre[axis]; });
            }
        } else if (!has_subtree && count <= 16) {
            // Centres all alike: nothing divides them better than a leaf.
            return make_leaf(items, begin, end, box);
        }
        if (mid == begin || mid == end)
            mid = begin + count / 2;
        int32_t self = static_cast<int32_t>(bvh.nodes.size());
        bvh.nodes.push_back(BvhNode{});
        int32_t left = build(items, begin, mid);
        int32_t right = build(items, mid, end);
        BvhNode& n = bvh.nodes[self];
        std::copy(box.lo, box.lo + 3, n.lo);
        std::copy(box.hi, box.hi + 3, n.hi);
        n.a = left;
        n.b = right;
        return self;
    }
};

Item item_of(const BvhBox& b, int32_t prim, int32_t subtree)
{
    Item it{};
    it.box = b;
    for (int i = 0; i < 3; ++i)
        it.centre[i] = 0.5f * (b.lo[i] + b.hi[i]);
    it.prim = prim;
    it.subtree = subtree;
    return it;
}

} // namespace

void bvh_build(Bvh& bvh, const std::vector<BvhBox>& boxes, const std::vector<int>& group)
{
    bvh.nodes.clear();
    bvh.items.clear();
    bvh.root = -1;
    if (boxes.empty())
        return;
    bvh.nodes.reserve(boxes.size() * 2 / kLeafMax + 16);
    bvh.items.reserve(boxes.size());
    Builder builder{bvh};

    std::map<int, std::vector<Item>> groups;
    std::vector<Item> top;
    for (size_t i = 0; i < boxes.size(); ++i) {
        int g = i < group.size() ? group[i] : -1;
        Item it = item_of(boxes[i], static_cast<int32_t>(i), -1);
        if (g < 0)
            top.push_back(it);
        else
            groups[g].push_back(it);
    }
    for (auto& [g, members] : groups) {
        BvhBox box = empty_box();
        for (const Item& m : members)
            grow(box, m.box);
        int32_t sub = builder.build(members, 0, static_cast<int>(members.size()));
        top.push_back(item_of(box, -1, sub));
    }
    bvh.root = builder.build(top, 0, static_cast<int>(top.size()));
}

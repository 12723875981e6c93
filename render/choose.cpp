// The palette chosen for an image.
//
// 1. The image's colours are gathered with their counts: exactly while
//    there are at most 2^19 of them, else as the mean colour of each cell of
//    6 bits per channel.  An image with no more colours than asked for
//    keeps them all, exactly.
// 2. Greedy variance splitting: the box of colours with the largest squared
//    error is cut, on the axis and at the place that leaves the least
//    error, until there are as many boxes as colours wanted.
// 3. Weighted k-means from those box means: every colour goes to its
//    nearest entry, every entry moves to the mean of its colours, until the
//    error stops falling.  Colours whose entry is clearly still nearest
//    (within half the distance to its nearest neighbour entry) are not
//    searched again.
#include "render/choose.h"

#include "core/image.h"
#include "core/mem.h"
#include "core/progress.h"
#include "render/render_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr long kExactLimit = 1L << 19;
constexpr int kMaxPasses = 12;
constexpr int kListed = 32;  // neighbours of an entry kept in order

struct Point {
    float c[3];
    uint32_t w;
};

// A place-table block freed when it goes out of scope.
template <class T>
struct Owned {
    T* p = nullptr;
    bool alloc(long count, const char* label)
    {
        p = static_cast<T*>(mem_alloc(count * static_cast<long>(sizeof(T)), label));
        return p != nullptr;
    }
    ~Owned() { p = mem_free_t(p); }
    T& operator[](long i) { return p[i]; }
};

inline uint32_t hash_colour(uint32_t c)
{
    return c * 2654435761u;
}

// Gathers the colours exactly.  1 when there are more than the limit, 2
// when the user cancelled, -1 when memory ran out.
int gather_exact(Image* image, Owned<Point>& points, long* count, long* distinct_out)
{
    long pixels = static_cast<long>(image->width) * image->height;
    long slots = 1024;
    while (slots < 2 * std::min(pixels, kExactLimit))
        slots *= 2;
    Owned<uint32_t> keys, counts;
    if (!keys.alloc(slots, "Rhash") || !counts.alloc(slots, "Rhash"))
        return -1;
    long mask = slots - 1;
    long distinct = 0;
    for (int y = 0; y < image->height; ++y) {
        if ((y & 15) == 0 && progress_update(y))
            return 2;
        const uint8_t* px = image->row(y);
        uint32_t last = 0xffffffffu;
        long last_slot = 0;
        for (uint32_t x = 0; x < image->width; ++x, px += 4) {
            uint32_t key = (static_cast<uint32_t>(px[0]) << 16 | px[1] << 8 | px[2]) + 1;
            if (key == last) {
                counts[last_slot] += 1;
                continue;
            }
            long s = static_cast<long>(hash_colour(key) >> 8) & mask;
            while (keys[s] && keys[s] != key)
                s = (s + 1) & mask;
            if (!keys[s]) {
                if (distinct >= kExactLimit)
                    return 1;
                keys[s] = key;
                ++distinct;
            }
            counts[s] += 1;
            last = key;
            last_slot = s;
        }
    }
    if (!points.alloc(std::max(distinct, 1L), "Rpts"))
        return -1;
    long n = 0;
    for (long s = 0; s < slots; ++s)
        if (keys[s]) {
            uint32_t c = keys[s] - 1;
            points[n].c[0] = static_cast<float>(c >> 16);
            points[n].c[1] = static_cast<float>((c >> 8) & 255);
            points[n].c[2] = static_cast<float>(c & 255);
            points[n].w = counts[s];
            ++n;
        }
    *count = n;
    *distinct_out = distinct;
    return 0;
}

// Gathers the mean colour of every occupied cell of 6 bits per channel;
// the codes of gather_exact.
int gather_binned(Image* image, Owned<Point>& points, long* count)
{
    constexpr long kBins = 64 * 64 * 64;
    Owned<uint32_t> w;
    Owned<uint64_t> sum;
    if (!w.alloc(kBins, "Rbins") || !sum.alloc(kBins * 3, "Rbins"))
        return -1;
    for (int y = 0; y < image->height; ++y) {
        if ((y & 15) == 0 && progress_update(y))
            return 2;
        const uint8_t* px = image->row(y);
        for (uint32_t x = 0; x < image->width; ++x, px += 4) {
            long b = (px[0] >> 2) << 12 | (px[1] >> 2) << 6 | (px[2] >> 2);
            w[b] += 1;
            sum[b * 3] += px[0];
            sum[b * 3 + 1] += px[1];
            sum[b * 3 + 2] += px[2];
        }
    }
    long n = 0;
    for (long b = 0; b < kBins; ++b)
        n += w[b] != 0;
    if (!points.alloc(std::max(n, 1L), "Rpts"))
        return -1;
    n = 0;
    for (long b = 0; b < kBins; ++b)
        if (w[b]) {
            for (int c = 0; c < 3; ++c)
                points[n].c[c] = static_cast<float>(static_cast<double>(sum[b * 3 + c]) / w[b]);
            points[n].w = w[b];
            ++n;
        }
    *count = n;
    return 0;
}

struct Box {
    long begin, end;
    double w, s[3], sq;
    double error() const { return w > 0 ? sq - (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) / w : 0; }
};

void box_measure(Box& b, const Point* p)
{
    b.w = b.sq = b.s[0] = b.s[1] = b.s[2] = 0;
    for (long i = b.begin; i < b.end; ++i) {
        double w = p[i].w;
        b.w += w;
        for (int c = 0; c < 3; ++c) {
            b.s[c] += w * p[i].c[c];
            b.sq += w * p[i].c[c] * p[i].c[c];
        }
    }
}

// Cuts a box where the two halves leave the least squared error; false
// when it cannot be cut.
bool box_split(Box& b, Box& other, Point* p)
{
    static thread_local double W[256], S[256][3];
    double best_score = -1;
    int best_axis = -1, best_cut = 0;
    const double total = (b.s[0] * b.s[0] + b.s[1] * b.s[1] + b.s[2] * b.s[2]) / b.w;
    for (int a = 0; a < 3; ++a) {
        std::memset(W, 0, sizeof W);
        std::memset(S, 0, sizeof S);
        int lo = 255, hi = 0;
        for (long i = b.begin; i < b.end; ++i) {
            int l = static_cast<int>(p[i].c[a]);
            double w = p[i].w;
            W[l] += w;
            for (int c = 0; c < 3; ++c)
                S[l][c] += w * p[i].c[c];
            lo = std::min(lo, l);
            hi = std::max(hi, l);
        }
        double wl = 0, sl[3] = {0, 0, 0};
        for (int cut = lo; cut < hi; ++cut) {
            wl += W[cut];
            for (int c = 0; c < 3; ++c)
                sl[c] += S[cut][c];
            double wr = b.w - wl;
            if (wl <= 0 || wr <= 0)
                continue;
            double sr[3] = {b.s[0] - sl[0], b.s[1] - sl[1], b.s[2] - sl[2]};
            double score = (sl[0] * sl[0] + sl[1] * sl[1] + sl[2] * sl[2]) / wl +
                           (sr[0] * sr[0] + sr[1] * sr[1] + sr[2] * sr[2]) / wr - total;
            if (score > best_score) {
                best_score = score;
                best_axis = a;
                best_cut = cut;
            }
        }
    }
    if (best_axis < 0)
        return false;
    Point* mid = std::partition(p + b.begin, p + b.end,
                                [&](const Point& q) { return static_cast<int>(q.c[best_axis]) <= best_cut; });
    other.begin = mid - p;
    other.end = b.end;
    b.end = other.begin;
    box_measure(b, p);
    box_measure(other, p);
    return true;
}

inline int round_byte(double v)
{
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

struct Palette {
    uint8_t r[256], g[256], b[256];
};

// Weighted k-means; returns the final squared error.  2 when cancelled.
int refine(Point* pts, long n, int k, double (*cent)[3], Palette& pal, PaletteLookup& lookup, long progress_base)
{
    Owned<uint8_t> assign;
    Owned<uint32_t[256]> near;  // per entry: distance << 8 | other entry, nearest first
    if (!assign.alloc(n, "Rasg") || !near.alloc(256, "Rnbr"))
        return 1;
    double half[256];
    bool first = true;
    double prev_error = 0;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        for (int i = 0; i < k; ++i) {
            pal.r[i] = static_cast<uint8_t>(round_byte(cent[i][0]));
            pal.g[i] = static_cast<uint8_t>(round_byte(cent[i][1]));
            pal.b[i] = static_cast<uint8_t>(round_byte(cent[i][2]));
        }
        if (first && !lookup.build(pal.r, pal.g, pal.b, k))
            return 1;
        // Each entry's others by distance: a colour that has left its entry's
        // neighbourhood is searched among them only as far as it can gain.
        // An entry nearer than half the distance to the nearest other keeps
        // its colours without a search.
        // Only the nearest few others are put in order; a colour that
        // reaches past them is searched among all entries.  Few colours: a
        // full search costs less than ordering the neighbours at all.
        const bool full = n < 32L * k;
        const int listed = std::min(k, kListed);
        for (int i = 0; i < k && !full; ++i) {
            for (int j = 0; j < k; ++j) {
                int dr = pal.r[i] - pal.r[j], dg = pal.g[i] - pal.g[j], db = pal.b[i] - pal.b[j];
                near[i][j] = static_cast<uint32_t>(dr * dr + dg * dg + db * db) << 8 | static_cast<uint32_t>(j);
            }
            if (listed < k)
                std::nth_element(near[i], near[i] + listed, near[i] + k);
            std::sort(near[i], near[i] + listed);
            // near[i][0] is the entry itself (or a twin at distance 0)
            half[i] = k > 1 ? static_cast<double>(near[i][1] >> 8) / 4 : 1e30;
        }
        double sum[256][3] = {}, weight[256] = {};
        double error = 0;
        long worst = -1;
        double worst_err = -1;
        for (long p = 0; p < n; ++p) {
            const Point& q = pts[p];
            int a = assign[p];
            double d = 0;
            if (!first) {
                double dr = q.c[0] - pal.r[a], dg = q.c[1] - pal.g[a], db = q.c[2] - pal.b[a];
                d = dr * dr + dg * dg + db * db;
            }
            bool search_all = full;
            if (!first && !full && d > half[a]) {
                // Another entry j can be nearer only while |a - j| < 2 |q - a|.
                const double reach = 4 * d;
                const int from = a;
                int t = 1;
                for (; t < listed; ++t) {
                    uint32_t e = near[from][t];
                    if (static_cast<double>(e >> 8) >= reach)
                        break;
                    int jj = static_cast<int>(e & 0xff);
                    double dr = q.c[0] - pal.r[jj], dg = q.c[1] - pal.g[jj], db = q.c[2] - pal.b[jj];
                    double dj = dr * dr + dg * dg + db * db;
                    if (dj < d || (dj == d && jj < a)) {
                        d = dj;
                        a = jj;
                    }
                }
                search_all = t == listed && listed < k;
            }
            if (search_all) {
                d = 1e30;
                for (int jj = 0; jj < k; ++jj) {
                    double dr = q.c[0] - pal.r[jj], dg = q.c[1] - pal.g[jj], db = q.c[2] - pal.b[jj];
                    double dj = dr * dr + dg * dg + db * db;
                    if (dj < d) {
                        d = dj;
                        a = jj;
                    }
                }
            } else if (first) {
                a = lookup.nearest(round_byte(q.c[0]), round_byte(q.c[1]), round_byte(q.c[2]));
                double dr = q.c[0] - pal.r[a], dg = q.c[1] - pal.g[a], db = q.c[2] - pal.b[a];
                d = dr * dr + dg * dg + db * db;
            }
            assign[p] = static_cast<uint8_t>(a);
            double w = q.w;
            error += w * d;
            if (w * d > worst_err) {
                worst_err = w * d;
                worst = p;
            }
            weight[a] += w;
            for (int c = 0; c < 3; ++c)
                sum[a][c] += w * q.c[c];
        }
        first = false;
        bool moved = false;
        for (int i = 0; i < k; ++i) {
            if (weight[i] > 0) {
                for (int c = 0; c < 3; ++c)
                    cent[i][c] = sum[i][c] / weight[i];
            } else if (worst >= 0) {
                // An entry nothing went to takes the worst-served colour.
                for (int c = 0; c < 3; ++c)
                    cent[i][c] = pts[worst].c[c];
                worst = -1;
                moved = true;
            }
        }
        if (progress_update(progress_base + pass))
            return 2;
        if (pass > 0 && !moved && prev_error - error <= prev_error * 1e-4)
            break;
        prev_error = error;
    }
    for (int i = 0; i < k; ++i) {
        pal.r[i] = static_cast<uint8_t>(round_byte(cent[i][0]));
        pal.g[i] = static_cast<uint8_t>(round_byte(cent[i][1]));
        pal.b[i] = static_cast<uint8_t>(round_byte(cent[i][2]));
    }
    return 0;
}

void sort_palette(Palette& pal, int k)
{
    uint32_t keyed[256];
    for (int i = 0; i < k; ++i)
        keyed[i] = static_cast<uint32_t>(render_tables::grey(pal.r[i], pal.g[i], pal.b[i])) << 24 |
                   static_cast<uint32_t>(pal.r[i]) << 16 | pal.g[i] << 8 | pal.b[i];
    std::sort(keyed, keyed + k);
    for (int i = 0; i < k; ++i) {
        pal.r[i] = static_cast<uint8_t>(keyed[i] >> 16);
        pal.g[i] = static_cast<uint8_t>(keyed[i] >> 8);
        pal.b[i] = static_cast<uint8_t>(keyed[i]);
    }
}

} // namespace

int choose_palette(Image* image, int colours, uint8_t* red, uint8_t* green, uint8_t* blue, int* chosen)
{
    *chosen = 0;
    colours = std::clamp(colours, 2, 256);
    progress_open("Choosing Colors", image->height + kMaxPasses, 10);
    struct Closer {
        ~Closer() { progress_close(); }
    } closer;

    Owned<Point> points;
    long n = 0, distinct = 0;
    int r = gather_exact(image, points, &n, &distinct);
    if (r == 1) {
        points.p = mem_free_t(points.p);
        r = gather_binned(image, points, &n);
        distinct = -1;
    }
    if (r != 0)
        return r < 0 ? 1 : 2;
    if (progress_update(image->height))
        return 2;

    Palette pal{};
    int k;
    if (distinct >= 0 && distinct <= colours) {
        // Few enough colours: keep every one of them.
        k = static_cast<int>(distinct);
        for (int i = 0; i < k; ++i) {
            pal.r[i] = static_cast<uint8_t>(points[i].c[0]);
            pal.g[i] = static_cast<uint8_t>(points[i].c[1]);
            pal.b[i] = static_cast<uint8_t>(points[i].c[2]);
        }
    } else {
        Box boxes[256];
        boxes[0].begin = 0;
        boxes[0].end = n;
        box_measure(boxes[0], points.p);
        k = 1;
        bool cuttable[256];
        std::fill(cuttable, cuttable + 256, true);
        while (k < colours) {
            int pick = -1;
            double most = 0;
            for (int i = 0; i < k; ++i)
                if (cuttable[i] && boxes[i].end - boxes[i].begin > 1 && boxes[i].error() > most) {
                    most = boxes[i].error();
                    pick = i;
                }
            if (pick < 0)
                break;
            if (!box_split(boxes[pick], boxes[k], points.p)) {
                cuttable[pick] = false;
                continue;
            }
            ++k;
        }
        double cent[256][3];
        for (int i = 0; i < k; ++i)
            for (int c = 0; c < 3; ++c)
                cent[i][c] = boxes[i].s[c] / boxes[i].w;
        PaletteLookup lookup;
        int rc = refine(points.p, n, k, cent, pal, lookup, image->height);
        if (rc != 0)
            return rc;
    }
    sort_palette(pal, k);
    for (int i = 0; i < k; ++i) {
        red[i] = pal.r[i];
        green[i] = pal.g[i];
        blue[i] = pal.b[i];
    }
    *chosen = k;
    return 0;
}

int render_choose_palette(Image* image, int colours, uint8_t* red, uint8_t* green, uint8_t* blue)
{
    if (!image || !image->pixels)
        return 0;
    int chosen = 0;
    return choose_palette(image, colours, red, green, blue, &chosen) == 0 ? chosen : 0;
}

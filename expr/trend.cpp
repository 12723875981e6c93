#include "expr/trend.h"

#include "core/mem.h"
#include "core/messages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kListFirst = 20;
constexpr int kListGrowth = 16;

TrendList g_list{nullptr, 0, 0, 7, true, 0, {}};

int32_t clamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The straight line through two keys at frame f, truncated toward zero.
int32_t line_at(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t f)
{
    if (x1 == x0)
        return clamp32(y0);
    return clamp32(y0 + (f - x0) * (y1 - y0) / (x1 - x0));
}

// A natural cubic spline through the points (its second derivative is 0 at
// both ends), evaluated at every frame.  The extended end points make the
// curve leave the first key and reach the last one level.
void spline_fill(const std::vector<double>& x, const std::vector<double>& y, int32_t* out, long frames,
                 int32_t low, int32_t high)
{
    const size_t n = x.size();
    std::vector<double> m(n, 0.0), c(n, 0.0), d(n, 0.0);
    // Tridiagonal system for the second derivatives m[1 .. n-2].
    for (size_t i = 1; i + 1 < n; ++i) {
        double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
        double a = h0, b = 2 * (h0 + h1), cc = h1;
        double r = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        if (i > 1) {
            b -= a * c[i - 1];
            r -= a * d[i - 1];
        }
        c[i] = cc / b;
        d[i] = r / b;
    }
    for (size_t i = n - 2; i >= 1; --i) {
        m[i] = d[i] - c[i] * m[i + 1];
        if (i == 1)
            break;
    }
    size_t seg = 0;
    for (long f = 0; f < frames; ++f) {
        double t = static_cast<double>(f);
        double v;
        if (t <= x.front()) {
            v = y.front();
        } else if (t >= x.back()) {
            v = y.back();
        } else {
            while (seg + 2 < n && t > x[seg + 1])
                ++seg;
            double h = x[seg + 1] - x[seg];
            double a = (x[seg + 1] - t) / h, b = (t - x[seg]) / h;
            v = a * y[seg] + b * y[seg + 1] + ((a * a * a - a) * m[seg] + (b * b * b - b) * m[seg + 1]) * h * h / 6;
        }
        v = std::trunc(v);
        int64_t iv = std::isfinite(v) ? static_cast<int64_t>(std::clamp(v, -9.0e18, 9.0e18)) : 0;
        out[f] = clamp32(std::clamp<int64_t>(iv, low, high));
    }
}

bool visible(const Trend* t)
{
    return !g_list.per_level || t->level == g_list.current_level;
}

Trend* free_trend(Trend* t)
{
    if (!t)
        return nullptr;
    mem_free(t->key_frames);
    mem_free(t->key_values);
    mem_free(t->values);
    return mem_free_t(t);
}

// Room for one more pointer in the list; false when memory ran short.
bool list_room()
{
    if (g_list.count < g_list.capacity)
        return true;
    int capacity = g_list.items ? g_list.capacity + kListGrowth : kListFirst;
    auto** grown = mem_alloc_as<Trend*>(capacity, g_list.items ? "ttds" : "trds");
    if (!grown)
        return false;
    if (g_list.items) {
        std::memcpy(grown, g_list.items, sizeof(Trend*) * static_cast<size_t>(g_list.count));
        mem_free(g_list.items);
    }
    g_list.items = grown;
    g_list.capacity = capacity;
    return true;
}

// Three tables of frames + 2 places; false (nothing changed) when short.
bool make_tables(Trend* t, long frames, const char* lx, const char* ly, const char* la)
{
    auto* kx = mem_alloc_as<int32_t>(frames + 2, lx);
    auto* ky = mem_alloc_as<int32_t>(frames + 2, ly);
    auto* va = mem_alloc_as<int32_t>(frames + 2, la);
    if (!kx || !ky || !va) {
        mem_free(kx);
        mem_free(ky);
        mem_free(va);
        return false;
    }
    mem_free(t->key_frames);
    mem_free(t->key_values);
    mem_free(t->values);
    t->key_frames = kx;
    t->key_values = ky;
    t->values = va;
    t->frames = frames;
    return true;
}

void redraw(Trend* t)
{
    if (t->window && g_list.hooks.redraw)
        g_list.hooks.redraw(t);
}

} // namespace

TrendList& trend_list()
{
    return g_list;
}

void trend_set_frames(long frames)
{
    g_list.frames = std::max(1L, frames);
}

Trend* trend_find(const void* parameter)
{
    for (int i = g_list.count - 1; i >= 0; --i)
        if (g_list.items[i]->parameter == parameter && visible(g_list.items[i]))
            return g_list.items[i];
    return nullptr;
}

Trend* trend_find_at(const void* parameter, long level)
{
    for (int i = g_list.count - 1; i >= 0; --i)
        if (g_list.items[i]->parameter == parameter && g_list.items[i]->level == level)
            return g_list.items[i];
    return nullptr;
}

Trend* trend_make(const int32_t* parameter, long owner, const char* text, int32_t range_low, int32_t range_high,
                  int16_t creation)
{
    if (Trend* found = trend_find(parameter))
        return found;
    long frames = g_list.frames;
    auto* t = mem_alloc_as<Trend>(1, "ntre");
    if (!t || !make_tables(t, frames, "trnx", "trny", "trna") || !list_room()) {
        free_trend(t);
        message_show(msg::NoMemoryOperation, "making a trend");
        return nullptr;
    }
    t->parameter = parameter;
    t->owner = owner;
    t->range_low = std::min(range_low, range_high);
    t->range_high = std::max(range_low, range_high);
    t->limit_low = t->range_low;
    t->limit_high = t->range_high;
    t->creation = creation;
    t->splined = 0;
    t->level = g_list.current_level;
    std::snprintf(t->name, sizeof t->name, "%s", text ? text : "");
    int32_t now = parameter ? *parameter : 0;
    t->key_count = 0;
    t->key_frames[t->key_count] = 0;
    t->key_values[t->key_count++] = now;
    if (frames > 1) {
        t->key_frames[t->key_count] = static_cast<int32_t>(frames - 1);
        t->key_values[t->key_count++] = now;
    }
    g_list.items[g_list.count++] = t;
    if (g_list.hooks.seed)
        g_list.hooks.seed(t);
    trend_recompute(t);
    return t;
}

int trend_key_at(const Trend* t, long frame)
{
    for (int i = 0; i < t->key_count; ++i)
        if (t->key_frames[i] == frame)
            return i;
    return -1;
}

int trend_add_key(Trend* t, long frame, int32_t value)
{
    if (frame < 0 || frame >= t->frames)
        return 1;
    int at = 0;
    while (at < t->key_count && t->key_frames[at] < frame)
        ++at;
    if (at < t->key_count && t->key_frames[at] == frame) {
        t->key_values[at] = value;
    } else {
        // At most one key a frame: there is always room for this one.
        for (int i = t->key_count; i > at; --i) {
            t->key_frames[i] = t->key_frames[i - 1];
            t->key_values[i] = t->key_values[i - 1];
        }
        t->key_frames[at] = static_cast<int32_t>(frame);
        t->key_values[at] = value;
        ++t->key_count;
    }
    trend_recompute(t);
    return 0;
}

int trend_set_keys(Trend* t, const int32_t* frames, const int32_t* values, int count)
{
    // Last pair of a frame wins; frames outside the trend go.
    std::vector<std::pair<int32_t, int32_t>> keys;
    for (int i = 0; i < count; ++i) {
        if (frames[i] < 0 || frames[i] >= t->frames)
            continue;
        auto same = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.first == frames[i]; });
        if (same != keys.end())
            same->second = values[i];
        else
            keys.emplace_back(frames[i], values[i]);
    }
    if (keys.empty())
        return 1;
    std::sort(keys.begin(), keys.end());
    t->key_count = static_cast<int32_t>(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        t->key_frames[i] = keys[i].first;
        t->key_values[i] = keys[i].second;
    }
    trend_recompute(t);
    return 0;
}

long trend_move_key(Trend* t, int index, long frame, int32_t value)
{
    if (index < 0 || index >= t->key_count)
        return -1;
    long lo = index > 0 ? t->key_frames[index - 1] + 1 : 0;
    long hi = index + 1 < t->key_count ? t->key_frames[index + 1] - 1 : t->frames - 1;
    frame = std::clamp(frame, lo, std::max(lo, hi));
    t->key_frames[index] = static_cast<int32_t>(frame);
    t->key_values[index] = value;
    trend_recompute(t);
    return frame;
}

int trend_remove_key(Trend* t, int index)
{
    if (index <= 0 || index >= t->key_count - 1 || t->key_count <= 2)
        return 1;
    for (int i = index; i + 1 < t->key_count; ++i) {
        t->key_frames[i] = t->key_frames[i + 1];
        t->key_values[i] = t->key_values[i + 1];
    }
    --t->key_count;
    trend_recompute(t);
    return 0;
}

void trend_recompute(Trend* t)
{
    const long frames = t->frames;
    const int n = t->key_count;
    if (n <= 0) {
        std::fill(t->values, t->values + frames, 0);
        return;
    }
    const int32_t* kx = t->key_frames;
    const int32_t* ky = t->key_values;
    // Before the first key and after the last the end values hold.
    for (long f = 0; f < frames && f < kx[0]; ++f)
        t->values[f] = ky[0];
    for (long f = kx[n - 1]; f < frames; ++f)
        t->values[f] = ky[n - 1];
    if (!t->splined || n == 2) {
        for (int k = 0; k + 1 < n; ++k)
            for (long f = kx[k]; f <= kx[k + 1] && f < frames; ++f) {
                int32_t v = line_at(kx[k], ky[k], kx[k + 1], ky[k + 1], f);
                t->values[f] = t->splined ? std::clamp(v, t->limit_low, t->limit_high) : v;
            }
    } else if (n == 1) {
        std::fill(t->values, t->values + frames, ky[0]);
    } else {
        std::vector<double> x, y;
        x.reserve(static_cast<size_t>(n) + 2);
        y.reserve(static_cast<size_t>(n) + 2);
        x.push_back(kx[0] - 1.0);
        y.push_back(ky[0]);
        for (int k = 0; k < n; ++k) {
            x.push_back(kx[k]);
            y.push_back(ky[k]);
        }
        x.push_back(kx[n - 1] + 1.0);
        y.push_back(ky[n - 1]);
        spline_fill(x, y, t->values, frames, t->limit_low, t->limit_high);
    }
    redraw(t);
}

int32_t trend_value(const Trend* t, long frame)
{
    if (t->frames <= 0)
        return 0;
    return t->values[std::clamp(frame, 0L, t->frames - 1)];
}

int trend_rescale_all(long m, long n)
{
    int status = 0;
    n = std::max(1L, n);
    for (int i = 0; i < g_list.count; ++i) {
        Trend* t = g_list.items[i];
        if (m > 1) {
            int kept = 0;
            for (int k = 0; k < t->key_count; ++k) {
                int64_t x = static_cast<int64_t>(t->key_frames[k]) * (n - 1) / (m - 1);
                x = std::clamp<int64_t>(x, 0, n - 1);
                if (kept > 0 && t->key_frames[kept - 1] >= x)
                    continue;  // landed on its predecessor
                t->key_frames[kept] = static_cast<int32_t>(x);
                t->key_values[kept] = t->key_values[k];
                ++kept;
            }
            t->key_count = kept;
        }
        // New tables for n frames: the keys are copied across.
        Trend copy = *t;
        copy.key_frames = copy.key_values = copy.values = nullptr;
        if (!make_tables(&copy, n, "xmark", "ymark", "array")) {
            message_show(msg::NoMemoryOperation, "rescaling a trend");
            status = 1;
            continue;
        }
        int keep = std::min<int>(t->key_count, static_cast<int>(n));
        std::memcpy(copy.key_frames, t->key_frames, sizeof(int32_t) * static_cast<size_t>(keep));
        std::memcpy(copy.key_values, t->key_values, sizeof(int32_t) * static_cast<size_t>(keep));
        mem_free(t->key_frames);
        mem_free(t->key_values);
        mem_free(t->values);
        t->key_frames = copy.key_frames;
        t->key_values = copy.key_values;
        t->values = copy.values;
        t->frames = n;
        t->key_count = keep;
        trend_recompute(t);
    }
    g_list.frames = n;
    return status;
}

void trend_write(FILE* f, const void* parameter, const char* name)
{
    const Trend* t = trend_find(parameter);
    if (!t) {
        std::fprintf(f, "NoTrend[%s]\n", name);
        return;
    }
    std::fprintf(f, "Trend[%s] %ld %ld %ld %d\n", name, t->frames, static_cast<long>(t->range_low),
                 static_cast<long>(t->range_high), t->creation);
    for (int k = 0; k < t->key_count; ++k) {
        std::fprintf(f, " %d,%d,", t->key_frames[k], t->key_values[k]);
        if (k % 20 == 19)
            std::fputc('\n', f);
    }
    std::fputc('\n', f);
}

void trend_remove(Trend* t)
{
    for (int i = 0; i < g_list.count; ++i) {
        if (g_list.items[i] != t)
            continue;
        if (t->window && g_list.hooks.forget_window)
            g_list.hooks.forget_window(t);
        std::memmove(g_list.items + i, g_list.items + i + 1, sizeof(Trend*) * static_cast<size_t>(g_list.count - i - 1));
        --g_list.count;
        free_trend(t);
        return;
    }
}

void trend_clear_all()
{
    while (g_list.count > 0)
        trend_remove(g_list.items[g_list.count - 1]);
    g_list.items = mem_free_t(g_list.items);
    g_list.capacity = 0;
}

void trend_release()
{
    trend_clear_all();
}

#include "formats/trim.h"

#include "core/image.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr int kEscape = 15;  // a quotient this large sends the code as 8 bits

inline int zigzag_value(int k)
{
    return (k & 1) ? -((k + 1) / 2) : k / 2;
}

inline int zigzag_code(int v)
{
    return v >= 0 ? 2 * v : -2 * v - 1;
}

// The predictor of the pixel at (x, y) from the pixels already known.
inline int predict(const uint8_t* plane, long x, long y, long stride, long pitch)
{
    if (y == 0)
        return x == 0 ? 0 : plane[(x - 1) * stride];
    const uint8_t* row = plane + y * pitch;
    const uint8_t* above = row - pitch;
    if (x == 0)
        return above[0];
    int l = row[(x - 1) * stride], u = above[x * stride], ul = above[(x - 1) * stride];
    return std::abs(u - ul) < std::abs(l - ul) ? u : l;
}

struct BitWriter {
    std::vector<uint8_t>& out;
    uint32_t acc = 0;
    int bits = 0;
    void put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            acc = acc << 1 | ((value >> i) & 1);
            if (++bits == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                bits = 0;
            }
        }
    }
    void flush()
    {
        if (bits)
            out.push_back(static_cast<uint8_t>(acc << (8 - bits)));
        acc = 0;
        bits = 0;
    }
};

struct BitReader {
    const uint8_t* data;
    long size;  // bytes
    long bit = 0;
    bool over = false;
    int get()
    {
        if (bit >= size * 8) {
            over = true;
            return 0;
        }
        int b = (data[bit >> 3] >> (7 - (bit & 7))) & 1;
        ++bit;
        return b;
    }
    int get(int count)
    {
        int v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 1 | get();
        return v;
    }
};

long rice_bits(const uint8_t* codes, int n, int k)
{
    long bits = 0;
    for (int i = 0; i < n; ++i) {
        int q = codes[i] >> k;
        bits += q < kEscape ? q + 1 + k : kEscape + 8;
    }
    return bits;
}

} // namespace

void trim_encode_plane(const uint8_t* plane, long width, long height, long stride, long pitch,
                       std::vector<uint8_t>& out)
{
    // Residuals against the predictor, and how often each occurs.
    std::vector<uint8_t> residual(static_cast<size_t>(width * height));
    std::array<long, 256> count{};
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) {
            int r = (plane[y * pitch + x * stride] - predict(plane, x, y, stride, pitch)) & 255;
            residual[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(r);
            ++count[static_cast<size_t>(r)];
        }
    // The commonest residuals get the smallest codes; ties go to the
    // residual nearer 0.
    std::array<int, 256> order;
    for (int i = 0; i < 256; ++i)
        order[static_cast<size_t>(i)] = i;
    auto signed_of = [](int r) { return r < 128 ? r : r - 256; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (count[static_cast<size_t>(a)] != count[static_cast<size_t>(b)])
            return count[static_cast<size_t>(a)] > count[static_cast<size_t>(b)];
        return zigzag_code(signed_of(a)) < zigzag_code(signed_of(b));
    });
    std::array<uint8_t, 256> code_of{};
    int previous = 0;
    for (int i = 0; i < 256; ++i) {
        int delta = order[static_cast<size_t>(i)];
        code_of[static_cast<size_t>(delta)] = static_cast<uint8_t>(i);
        out.push_back(static_cast<uint8_t>(zigzag_code(signed_of((delta - previous) & 255))));
        previous = delta;
    }
    uint8_t codes[kTrimTile * kTrimTile];
    for (long ty = 0; ty < height; ty += kTrimTile)
        for (long tx = 0; tx < width; tx += kTrimTile) {
            int n = 0;
            bool all_zero = true;
            for (long y = ty; y < std::min(ty + kTrimTile, height); ++y)
                for (long x = tx; x < std::min(tx + kTrimTile, width); ++x) {
                    codes[n] = code_of[residual[static_cast<size_t>(y * width + x)]];
                    all_zero = all_zero && codes[n] == 0;
                    ++n;
                }
            size_t at = out.size();
            out.push_back(0);
            out.push_back(0);
            if (all_zero)
                continue;
            int best = 0;
            long best_bits = rice_bits(codes, n, 0);
            for (int k = 1; k < 8; ++k) {
                long b = rice_bits(codes, n, k);
                if (b < best_bits)
                    best = k, best_bits = b;
            }
            out.push_back(static_cast<uint8_t>(best));
            BitWriter bw{out};
            for (int i = 0; i < n; ++i) {
                int q = codes[i] >> best;
                if (q < kEscape) {
                    bw.put((1u << q) - 1, q);
                    bw.put(0, 1);
                    bw.put(codes[i] & ((1u << best) - 1), best);
                } else {
                    bw.put((1u << kEscape) - 1, kEscape);
                    bw.put(codes[i], 8);
                }
            }
            bw.flush();
            size_t bytes = out.size() - at - 2;
            out[at] = static_cast<uint8_t>(bytes >> 8);
            out[at + 1] = static_cast<uint8_t>(bytes);
        }
}

int trim_decode_plane(const uint8_t* data, long size, long& pos, uint8_t* plane, long width, long height,
                      long stride, long pitch)
{
    if (size - pos < 256)
        return 1;
    std::array<uint8_t, 256> delta{};
    int sum = 0;
    for (int i = 0; i < 256; ++i) {
        sum = (sum + zigzag_value(data[pos + i])) & 255;
        delta[static_cast<size_t>(i)] = static_cast<uint8_t>(sum);
    }
    pos += 256;
    for (long ty = 0; ty < height; ty += kTrimTile)
        for (long tx = 0; tx < width; tx += kTrimTile) {
            if (size - pos < 2)
                return 1;
            long count = data[pos] << 8 | data[pos + 1];
            pos += 2;
            if (count > size - pos)
                return 1;
            int k = 0;
            BitReader br{data + pos + 1, count - 1};
            if (count > 0) {
                k = data[pos];
                if (k > 7)
                    return 1;
            }
            for (long y = ty; y < std::min(ty + kTrimTile, height); ++y)
                for (long x = tx; x < std::min(tx + kTrimTile, width); ++x) {
                    int code = 0;
                    if (count > 0) {
                        int q = 0;
                        while (q < kEscape && br.get())
                            ++q;
                        code = q < kEscape ? (q << k | br.get(k)) : br.get(8);
                        if (br.over || code > 255)
                            return 1;
                    }
                    plane[y * pitch + x * stride] =
                        static_cast<uint8_t>(predict(plane, x, y, stride, pitch) + delta[static_cast<size_t>(code)]);
                }
            pos += count;
        }
    return 0;
}

long trim_encode(const Image* image, int planes, std::vector<uint8_t>& out)
{
    size_t start = out.size();
    long pitch = 4 * static_cast<long>(image->width);
    for (int c = 0; c < planes && c < 4; ++c)
        trim_encode_plane(image->pixels + c, image->width, image->height, 4, pitch, out);
    return static_cast<long>(out.size() - start);
}

int trim_decode(const uint8_t* data, long size, Image* image, int planes, long* used)
{
    long pos = 0;
    long pitch = 4 * static_cast<long>(image->width);
    int result = 0;
    for (int c = 0; c < planes && c < 4 && result == 0; ++c)
        result = trim_decode_plane(data, size, pos, image->pixels + c, image->width, image->height, 4, pitch);
    if (planes == 1) {
        // A grey image: the one plane is red; green and blue follow it.
        size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        for (size_t i = 0; i < n; ++i)
            image->pixels[4 * i + 1] = image->pixels[4 * i + 2] = image->pixels[4 * i];
    }
    if (used)
        *used = pos;
    return result;
}

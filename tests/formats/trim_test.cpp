#include "core/image.h"
#include "formats/trim.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

Image* random_image(long w, long h, unsigned seed, bool smooth)
{
    Image* img = image_new_locked(w, h, "test");
    std::mt19937 rng(seed);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                img->pixel(static_cast<int>(x), static_cast<int>(y))[c] =
                    static_cast<uint8_t>(smooth ? (x * (c + 1) + y * 3 + (rng() % 5)) : rng());
    return img;
}

std::vector<uint8_t> bytes(Image* img)
{
    return {img->pixels, img->pixels + 4 * img->width * img->height};
}

} // namespace

TEST(Trim, PlanesComeBackBitForBit)
{
    const long sizes[][2] = {{1, 1}, {16, 16}, {17, 33}, {300, 7}, {5, 200}};
    unsigned seed = 1;
    for (const auto& s : sizes)
        for (bool smooth : {false, true}) {
            Image* img = random_image(s[0], s[1], seed++, smooth);
            std::vector<uint8_t> coded;
            long n = trim_encode(img, 4, coded);
            EXPECT_EQ(n, static_cast<long>(coded.size()));
            Image* back = image_new_locked(s[0], s[1], "test");
            long used = -1;
            ASSERT_EQ(trim_decode(coded.data(), n, back, 4, &used), 0) << s[0] << "x" << s[1];
            EXPECT_EQ(used, n);
            EXPECT_EQ(bytes(back), bytes(img)) << s[0] << "x" << s[1] << (smooth ? " smooth" : " noise");
            if (smooth) {
                EXPECT_LT(n, s[0] * s[1] * 4 / 2 + 4 * 256 + 64) << "smooth planes pack";
            }
            image_free(img);
            image_free(back);
        }
}

TEST(Trim, FlatTilesTakeTwoBytesAndGreyTakesOnePlane)
{
    Image* img = image_new_locked(40, 20, "test");
    for (long i = 0; i < 40 * 20; ++i) {
        img->pixels[4 * i] = img->pixels[4 * i + 1] = img->pixels[4 * i + 2] = 90;
    }
    std::vector<uint8_t> coded;
    // A flat plane predicts exactly after its first pixel: only the first
    // tile holds a code that is not 0.
    long n = trim_encode(img, 1, coded);
    EXPECT_LT(n, 256 + 3 * 2 * 2 + 64);
    Image* back = image_new_locked(40, 20, "test");
    ASSERT_EQ(trim_decode(coded.data(), n, back, 1), 0);
    EXPECT_EQ(bytes(back), bytes(img));  // green and blue follow red; alpha stays 255
    image_free(img);
    image_free(back);
}

TEST(Trim, TheDecoderFollowsTheTableAndThePredictor)
{
    // A table whose first entry is +1 (zig-zag 2) and the rest 0: every code
    // is the delta +1.  One tile of count 0: all codes 0.
    std::vector<uint8_t> data(256, 0);
    data[0] = 2;
    data.push_back(0);
    data.push_back(0);
    Image* img = image_new_locked(3, 2, "test");
    ASSERT_EQ(trim_decode(data.data(), static_cast<long>(data.size()), img, 1), 0);
    // (0,0) from 0; the first row from the left; (0,1) from above; (1,1):
    // above 2, upper-left 1, left 2: the above one differs no less, so left.
    const int want[2][3] = {{1, 2, 3}, {2, 3, 4}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(img->pixel(x, y)[0], want[y][x]) << x << "," << y;
    image_free(img);
}

TEST(Trim, DamagedDataIsRefusedWithoutHarm)
{
    Image* img = random_image(37, 21, 9, true);
    std::vector<uint8_t> coded;
    long n = trim_encode(img, 4, coded);
    Image* back = image_new_locked(37, 21, "test");
    for (long cut = 0; cut < n; cut += 7)
        EXPECT_EQ(trim_decode(coded.data(), cut, back, 4), 1) << cut;
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bad = coded;
        for (int k = 0; k < 4; ++k)
            bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        trim_decode(bad.data(), static_cast<long>(bad.size()), back, 4);  // any result, no harm
    }
    // A Rice parameter above 7 breaks the coding.
    std::vector<uint8_t> data(256, 0);
    data.insert(data.end(), {0, 2, 9, 0});
    EXPECT_EQ(trim_decode(data.data(), static_cast<long>(data.size()), back, 1), 1);
    image_free(img);
    image_free(back);
}

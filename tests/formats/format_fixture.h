// Shared pieces of the file-format tests: a scratch folder, byte builders,
// and a record of the boxes the user would have seen.
#pragma once

#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class FormatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-formats-XXXXXX";
        folder_ = mkdtemp(tmpl);
        settings_reset(settings(), folder_);
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
    }
    void TearDown() override
    {
        for (Image* image : image_store().slots)
            if (image)
                image_free(image);
        std::string cmd = "rm -rf '" + folder_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::string write(const std::string& name, const Bytes& bytes) const
    {
        std::string p = path(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    static Bytes read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    // Everything shown to the user so far, one box a line.
    static std::string boxes()
    {
        std::string all;
        for (const std::string& line : ui::headless().transcript())
            all += line + "\n";
        return all;
    }

    static void rgba_at(Image* image, int x, int y, uint8_t out[4])
    {
        image_lock(image);
        for (int i = 0; i < 4; ++i)
            out[i] = image->pixel(x, y)[i];
        image_unlock(image);
    }

    std::string folder_;
};

// Little-endian byte builders.
inline void le16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void le32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An image of distinct pixels, with alpha when asked.
inline Image* pattern(int width, int height, bool alpha)
{
    Image* image = image_new(width, height, "test");
    image_lock(image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 13 + y);
            p[1] = static_cast<uint8_t>(y * 29);
            p[2] = static_cast<uint8_t>(x * y);
            p[3] = alpha ? static_cast<uint8_t>(x * 7 + 3) : 255;
        }
    image_unlock(image);
    image->alpha = alpha ? 1 : 0;
    return image;
}

inline int max_difference(Image* a, Image* b, bool with_alpha)
{
    if (a->width != b->width || a->height != b->height)
        return 999;
    image_lock(a);
    image_lock(b);
    int worst = 0;
    for (int y = 0; y < a->height; ++y)
        for (unsigned x = 0; x < a->width; ++x)
            for (int c = 0; c < (with_alpha ? 4 : 3); ++c)
                worst = std::max(worst, std::abs(a->pixel(static_cast<int>(x), y)[c] - b->pixel(static_cast<int>(x), y)[c]));
    image_unlock(a);
    image_unlock(b);
    return worst;
}

#define EXPECT_RGB(image, x, y, r, g, b)                                                                          \
    do {                                                                                                          \
        uint8_t px_[4];                                                                                           \
        rgba_at(image, x, y, px_);                                                                                \
        EXPECT_EQ(px_[0], r) << "red at " << (x) << "," << (y);                                                   \
        EXPECT_EQ(px_[1], g) << "green at " << (x) << "," << (y);                                                 \
        EXPECT_EQ(px_[2], b) << "blue at " << (x) << "," << (y);                                                  \
    } while (0)

// Shared set-up of the layer tests: the settings at their defaults, the
// tables built, and helpers that make masters and layers in memory.
#pragma once

#include "core/image.h"
#include "core/list.h"
#include "core/mem.h"
#include "core/settings.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"
#include "layers/layer_tables.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

using Px = std::array<int, 4>;

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings_reset(settings(), ".");
        ASSERT_TRUE(layer_tables_init());
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
        ui::headless().set_quiet(true);
    }
    void TearDown() override
    {
        for (Image* m : masters_)
            layers_close(m);
        layer_tables_release();
    }

    // A master of the given size whose stack is empty.
    Image* master(int w, int h)
    {
        Image* m = image_new(w, h, "test");
        EXPECT_EQ(layer_start_stack(m), 0);
        masters_.push_back(m);
        return m;
    }

    // A layer on top of the stack, every pixel `fill`.
    Image* layer(Image* m, int w, int h, Px fill, int mode = MODE_NORMAL, int opacity = 100, int factor = 100,
                 int x = 0, int y = 0)
    {
        Image* l = layer_create(m, w, h);
        EXPECT_NE(l, nullptr);
        l->layer_mode = mode;
        l->layer_opacity = opacity;
        l->layer_factor = factor;
        l->layer_x = x;
        l->layer_y = y;
        paint(l, [&](int, int) { return fill; });
        return l;
    }

    static void paint(Image* img, const std::function<Px(int, int)>& f)
    {
        ASSERT_EQ(image_lock(img), 0);
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < static_cast<int>(img->width); ++x) {
                Px p = f(x, y);
                for (int c = 0; c < 4; ++c)
                    img->pixel(x, y)[c] = static_cast<uint8_t>(p[c]);
            }
        image_unlock(img);
        img->changes = static_cast<int16_t>(img->changes + 1);
    }

    static Px at(Image* img, int x, int y)
    {
        image_lock(img);
        const uint8_t* p = img->pixel(x, y);
        Px out{p[0], p[1], p[2], p[3]};
        image_unlock(img);
        return out;
    }

    static std::vector<uint8_t> pixels(Image* img)
    {
        image_lock(img);
        std::vector<uint8_t> v(img->pixels, img->pixels + 4 * img->width * img->height);
        image_unlock(img);
        return v;
    }

    // The channel after the mix, for an opaque master pixel: D + f(w (t - D)).
    static int mixed(int d, int t, int w) { return d + ((w * (t - d) + ((w * (t - d)) >> 8)) >> 8); }

    std::vector<Image*> masters_;
};

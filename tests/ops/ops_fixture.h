// The system started with the operations subsystem, images to work on and a
// platform that records what the user would see.
#pragma once

#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/progress.h"
#include "core/settings.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/ops.h"
#include "ops/tone/tone.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

// Cancels the running job after a number of progress pumps.
class CancellingPlatform : public ui::HeadlessPlatform {
public:
    int cancel_after = -1;
    int pumps = 0;
    bool shows_alpha = false;
    std::vector<std::string> redraws;
    void pump_messages() override
    {
        if (++pumps == cancel_after)
            progress_request_cancel();
    }
    bool view_shows_alpha(Image*) override { return shows_alpha; }
    void redraw(Image*, const ui::Rect* r) override
    {
        redraws.push_back(r ? std::to_string(r->x0) + "," + std::to_string(r->y0) + "," + std::to_string(r->x1) +
                                  "," + std::to_string(r->y1)
                            : "whole");
    }
};

class OpsTest : public ::testing::Test {
protected:
    CancellingPlatform platform;

    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-ops-XXXXXX";
        home = mkdtemp(tmpl);
        ops_install();
        AppOptions o;
        o.home = home;
        ASSERT_EQ(app_init_instance(o), 0);
        platform.set_recording(true);
        platform.set_quiet(true);
        ui::platform_install(&platform);
        Settings& s = settings();
        s.mod_alpha = 0;
        s.with_alpha = 0;
        s.work_method = 0;
        s.undo_want = 20;
    }

    void TearDown() override
    {
        app_shutdown();
        ui::platform_install(nullptr);
        std::string cmd = "rm -rf '" + home + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    // An image filled by f(x, y) (red, green, blue, alpha in the low to high byte).
    Image* make(int w, int h, const std::function<uint32_t(int, int)>& f)
    {
        Image* img = image_new(w, h, "test");
        EXPECT_EQ(image_lock(img), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixel_store(img->pixel(x, y), f(x, y));
        image_unlock(img);
        return img;
    }
    Image* solid(int w, int h, uint32_t p)
    {
        return make(w, h, [p](int, int) { return p; });
    }
    // A varied image: every channel changes along x and y.
    Image* ramp(int w, int h)
    {
        return make(w, h, [](int x, int y) {
            return pixel_make((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * 91 + y * 3) & 255, 255);
        });
    }

    uint32_t px(Image* img, int x, int y)
    {
        image_lock(img);
        uint32_t v = pixel_load(img->pixel(x, y));
        image_unlock(img);
        return v;
    }
    std::vector<uint32_t> pixels(Image* img)
    {
        std::vector<uint32_t> v;
        image_lock(img);
        for (int y = 0; y < img->height; ++y)
            for (uint32_t x = 0; x < img->width; ++x)
                v.push_back(pixel_load(img->pixel(static_cast<int>(x), y)));
        image_unlock(img);
        return v;
    }

    int apply(int32_t command, Image* img)
    {
        EXPECT_EQ(set_current_operation(command), 0);
        return perform_operation(img, 0);
    }

    // Draw First with a hand-made mask: f gives the weight of each pixel.
    void use_mask(Image* img, const std::function<int(int, int)>& f, AreaRect rect)
    {
        settings().work_method = 1;
        ASSERT_EQ(ensure_mask(img->width, img->height), 0);
        uint8_t* m = mask_lock();
        ASSERT_NE(m, nullptr);
        for (int y = 0; y < img->height; ++y)
            for (uint32_t x = 0; x < img->width; ++x)
                m[y * img->width + x] = static_cast<uint8_t>(f(static_cast<int>(x), y));
        mask_unlock();
        area_mask().rect = rect;
        area_mask().built = true;
    }

    bool said(const std::string& text)
    {
        for (const std::string& line : platform.transcript())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    std::string home;
};

// Helpers of the area tests: images, masks, files in a fresh folder.
#pragma once

#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

inline Image* solid_image(long w, long h, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0, uint8_t a = 255)
{
    Image* img = image_new(w, h, "test");
    image_lock(img);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
            p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        }
    image_unlock(img);
    return img;
}

inline void paint(Image* img, long x0, long y0, long x1, long y1, uint8_t r, uint8_t g, uint8_t b)
{
    image_lock(img);
    for (long y = y0; y <= y1; ++y)
        for (long x = x0; x <= x1; ++x) {
            uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
            p[0] = r, p[1] = g, p[2] = b;
        }
    image_unlock(img);
}

struct Mask {
    long w = 0, h = 0;
    std::vector<uint8_t> v;
    AreaRect rect{};
    int at(long x, long y) const { return v[static_cast<size_t>(y * w + x)]; }
    double area() const
    {
        double s = 0;
        for (uint8_t b : v)
            s += b;
        return s / 255;
    }
    long count(int min = 1) const
    {
        long n = 0;
        for (uint8_t b : v)
            n += b >= min;
        return n;
    }
};

// Selects the current settings and builds the mask for the image.
inline Mask select_and_build(Image* img, bool fold_alpha = false)
{
    Mask m;
    EXPECT_EQ(area_select(), 0);
    EXPECT_EQ(build_area_mask(img, fold_alpha), 0);
    m.w = img->width;
    m.h = img->height;
    uint8_t* bytes = mask_lock();
    m.v.assign(bytes, bytes + m.w * m.h);
    mask_unlock();
    m.rect = area_mask().rect;
    return m;
}

inline Mask build_only(Image* img, bool fold_alpha = false)
{
    Mask m;
    EXPECT_EQ(build_area_mask(img, fold_alpha), 0);
    m.w = img->width;
    m.h = img->height;
    uint8_t* bytes = mask_lock();
    m.v.assign(bytes, bytes + m.w * m.h);
    mask_unlock();
    m.rect = area_mask().rect;
    return m;
}

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/glimvq-areas-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir()
    {
        std::string cmd = "rm -rf '" + path_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

private:
    std::string path_;
};

// Records the boxes shown during a test.
class Shown {
public:
    Shown()
    {
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
    }
    ~Shown() { ui::headless().set_recording(false); }
    const std::vector<std::string>& lines() const { return ui::headless().transcript(); }
    bool has(const std::string& text) const
    {
        for (const std::string& l : lines())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
};

// The run forms of the pixel-map workers must give exactly the colours of
// their per-pixel workers, for every parameter the lanes take and the ones
// they hand back to the worker.
#include "ops/tone/tone_internal.h"
#include "ops_fixture.h"

#include <random>

namespace {

// A spread of colours over the whole cube, the corners and edges included,
// with varied alpha; the count is not a multiple of the lane width, so the
// tail goes through the worker.
std::vector<uint8_t> colour_cube()
{
    std::vector<uint8_t> px;
    auto put = [&](int r, int g, int b, int a) { px.insert(px.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)}); };
    for (int r = 0; r <= 255; r += 5)
        for (int g = 0; g <= 255; g += 5)
            for (int b = 0; b <= 255; b += 5)
                put(r, g, b, (r + g * 3 + b * 7) & 255);
    std::mt19937 rng(7);
    for (int i = 0; i < 20011; ++i) {
        const uint32_t v = rng();
        put(v & 255, (v >> 8) & 255, (v >> 16) & 255, v >> 24);
    }
    return px;
}

struct Case {
    const char* what;
    uint32_t (*worker)(uint32_t);
    void (*run)(const uint8_t*, uint32_t*, int);
    std::function<void(ToneParams&)> set;
};

} // namespace

TEST_F(OpsTest, RunFormsMatchTheirWorkersForEveryColour)
{
    const std::vector<uint8_t> in = colour_cube();
    const int count = static_cast<int>(in.size() / 4);
    std::vector<uint32_t> out(count);
    std::vector<Case> cases;
    for (int shift : {-180, -121, -1, 0, 1, 59, 60, 120, 179, 180, 400, -725})
        cases.push_back({"hue", hue_worker, hue_run, [shift](ToneParams& p) { p.hue_shift = shift; }});
    for (int amount : {-100, -63, -1, 0, 1, 50, 100, 155, 156, 300})
        cases.push_back({"value", value_worker, value_run, [amount](ToneParams& p) { p.value = amount; }});
    for (int amount : {-100, -33, 0, 7, 100, 150})
        cases.push_back({"saturation", saturation_worker, saturation_run, [amount](ToneParams& p) { p.saturation = amount; }});
    for (int method : {0, 3, 8})
        cases.push_back({"mono", mono_worker, mono_run, [method](ToneParams& p) { p.mono_method = method; }});
    for (int mode = -1; mode <= 6; ++mode)
        for (int sel : {1, 2, 4, 7})
            cases.push_back({"negative", negative_worker, negative_run, [mode, sel](ToneParams& p) {
                                 p.negative_mode = mode;
                                 for (int c = 0; c < 3; ++c)
                                     p.negative_select[c] = (sel >> c) & 1;
                             }});
    for (const Case& c : cases) {
        c.set(tone_params());
        c.run(in.data(), out.data(), count);
        int wrong = 0;
        for (int i = 0; i < count && wrong < 3; ++i) {
            const uint32_t want = c.worker(pixel_load(&in[4 * i]));
            if (out[i] != want) {
                ++wrong;
                ADD_FAILURE() << c.what << ": pixel " << std::hex << pixel_load(&in[4 * i]) << " gave " << out[i]
                              << ", the worker " << want;
            }
        }
    }
}

// Through the applier: whole runs, a row shorter than a run, a row that
// ends inside one, and a rectangle that starts off the left edge.
TEST_F(OpsTest, AdjustHueThroughTheApplierKeepsAlphaAndMatchesTheWorker)
{
    tone_params().hue_shift = 77;
    for (int w : {7, 1000}) {
        Image* img = make(w, 3, [](int x, int y) {
            return pixel_make((x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * 91 + y * 3) & 255, (x * 13) & 255);
        });
        const std::vector<uint32_t> before = pixels(img);
        ASSERT_EQ(apply(opcmd::AdjustHue, img), 0);
        const std::vector<uint32_t> after = pixels(img);
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(after[i], hue_worker(before[i])) << "width " << w << ", pixel " << i;
        image_free(img);
    }
}

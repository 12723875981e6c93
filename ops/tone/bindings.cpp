// The tone and colour operations in the catalogue: parameters and workers.
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "ops/tone/tone.h"
#include "ops/tone/tone_internal.h"

#include <cstring>
#include <vector>

ToneParams g_tone_params;

void tone_params_reset()
{
    ToneParams& p = g_tone_params;
    std::memset(&p, 0, sizeof p);
    p.contrast = 25;
    p.brightness = 25;
    p.gamma = 50;
    p.fill[0] = 25, p.fill[1] = 100, p.fill[2] = 0;
    p.balance_level[0] = 140, p.balance_level[1] = 128, p.balance_level[2] = 116;
    p.balance_pivot[0] = p.balance_pivot[1] = p.balance_pivot[2] = 128;
    p.remap_tolerance = 30;
    p.colorize_hue = 30;
    p.colorize_saturation = 50;
    p.colorize_set_saturation = 1;
    p.mono_method = 1;
    p.negative_select[0] = p.negative_select[1] = p.negative_select[2] = 1;
    p.hue_shift = 30;
    p.saturation = 25;
    p.value = 20;
    p.glare_direction = 1;
    p.glare_amount = 50;
    p.antique_direction = 1;
    p.gel[0] = 1;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            p.hist_curve[c][i] = static_cast<uint8_t>(i);
    p.hist_locked = 1;
}

const OpBinding* tone_bindings(int* count)
{
    static std::vector<OpSlot> slots;
    static std::vector<OpBinding> bindings;
    static const CurveApply curves = {histogram_measuring, histogram_build_tables, table_worker};
    op_set_curve_apply(&curves);
    if (!bindings.empty()) {
        *count = static_cast<int>(bindings.size());
        return bindings.data();
    }
    ToneParams& p = g_tone_params;
    // Slots are gathered first and pointed at afterwards: the vector must not move.
    struct Pending {
        OpBinding b;
        size_t first, n;
    };
    std::vector<Pending> pending;
    auto op = [&](int32_t command, OpPrepare prepare, OpWorkers worker, std::initializer_list<OpSlot> s,
                  OpWorkers warp = {}) {
        Pending e{};
        e.b.command = command;
        e.b.prepare = prepare;
        e.b.worker = worker;
        e.b.warp = warp;
        e.first = slots.size();
        e.n = s.size();
        slots.insert(slots.end(), s);
        pending.push_back(e);
    };
    auto map = [](uint32_t (*f)(uint32_t), void (*run)(const uint8_t*, uint32_t*, int) = nullptr) {
        OpWorkers w{};
        w.map = f;
        w.map_run = run;
        return w;
    };
    auto place = [](void (*f)(uint8_t*, int)) {
        OpWorkers w{};
        w.place = f;
        return w;
    };

    const double wide = 99999;
    op(opcmd::Contrast, contrast_prepare, place(table_worker),
       {slot_int(&p.contrast, "amount", "Amount", -100, 100, -wide, wide)});
    op(opcmd::Brightness, brightness_prepare, place(table_worker),
       {slot_int(&p.brightness, "amount", "Amount", -100, 100, -wide, wide)});
    op(opcmd::Gamma, gamma_prepare, place(table_worker),
       {slot_int(&p.gamma, "amount", "Amount", -200, 200, -wide, wide)});
    op(opcmd::ColorFill, color_fill_prepare, place(table_worker),
       {slot_range(&p.fill[0], "red", "Red", 0, 255), slot_range(&p.fill[1], "green", "Green", 0, 255),
        slot_range(&p.fill[2], "blue", "Blue", 0, 255)});
    op(opcmd::Balance, balance_prepare, place(table_worker),
       {slot_switch(&p.balance_method, "method", "Method (0 pivot, 1 levels)"),
        slot_range(&p.balance_level[0], "level1", "Red output / low level", 0, 255),
        slot_range(&p.balance_level[1], "level2", "Green output / high level", 0, 255),
        slot_range(&p.balance_level[2], "level3", "Blue output", 0, 255),
        slot_range(&p.balance_pivot[0], "pivot1", "Red pivot", 0, 255),
        slot_range(&p.balance_pivot[1], "pivot2", "Green pivot", 0, 255),
        slot_range(&p.balance_pivot[2], "pivot3", "Blue pivot", 0, 255)});
    // Measuring is what the descriptor does; applying the curves is the
    // framework's Histogram case.
    OpWorkers measure{};
    measure.whole = histogram_measure;
    op(opcmd::Histogram, nullptr, measure,
       {slot_switch(&p.hist_measure, "measure", "Measure"),
        slot_profile(profile_find("histo"), SLOT_PROFILE_FIRST, "Histo", 255, "curve", "Curve")});
    op(opcmd::Remap, nullptr, place(remap_worker),
       {slot_range(&p.remap_tolerance, "tolerance", "Tolerance", 0, 255),
        slot_range(&p.remap_offset, "offset", "Offset", 0, 255),
        slot_palette(&p.remap_from, SLOT_PALETTE, "remappal1", "from", "From palette"),
        slot_palette(&p.remap_to, SLOT_PALETTE_B, "remappal2", "to", "To palette")});
    op(opcmd::Colorize, nullptr, place(colorize_worker),
       {slot_int(&p.colorize_hue, "hue", "Hue", 0, 360, 0, 360, 360),
        slot_range(&p.colorize_saturation, "saturation", "Saturation", 0, 100),
        slot_switch(&p.colorize_set_saturation, "set_saturation", "Set saturation")});
    op(opcmd::Monochrome, nullptr, map(mono_worker, mono_run), {slot_range(&p.mono_method, "method", "Method", 0, 8)});
    op(opcmd::Negative, nullptr, map(negative_worker, negative_run),
       {slot_range(&p.negative_mode, "mode", "Mode", 0, 5), slot_switch(&p.negative_select[0], "red", "Red"),
        slot_switch(&p.negative_select[1], "green", "Green"), slot_switch(&p.negative_select[2], "blue", "Blue")},
       map(negative_warp_worker));
    op(opcmd::AdjustHue, nullptr, map(hue_worker, hue_run), {slot_range(&p.hue_shift, "shift", "Shift", -180, 180)});
    op(opcmd::Saturation, nullptr, map(saturation_worker, saturation_run),
       {slot_range(&p.saturation, "amount", "Amount", -100, 100)});
    op(opcmd::AdjustValue, nullptr, map(value_worker, value_run), {slot_range(&p.value, "amount", "Amount", -100, 100)});
    op(opcmd::Glare, nullptr, map(glare_worker),
       {slot_switch(&p.glare_direction, "direction", "Direction"),
        slot_range(&p.glare_amount, "amount", "Amount", 0, 100)});
    op(opcmd::Antique, nullptr, map(antique_worker), {slot_switch(&p.antique_direction, "direction", "Direction")});
    op(opcmd::ColorGel, gel_prepare, map(gel_worker),
       {slot_switch(&p.gel[0], "red", "Red"), slot_switch(&p.gel[1], "green", "Green"),
        slot_switch(&p.gel[2], "blue", "Blue")});
    op(opcmd::PseudoColor, nullptr, map(pseudo_worker), {});
    op(opcmd::FalseColor, nullptr, map(false_color_worker), {});
    op(opcmd::Solarize, solarize_prepare, map(solarize_worker), {});

    for (Pending& e : pending) {
        e.b.slots = e.n ? &slots[e.first] : nullptr;
        e.b.slot_count = static_cast<int>(e.n);
        bindings.push_back(e.b);
    }
    *count = static_cast<int>(bindings.size());
    return bindings.data();
}

#include "ops/help.h"
#include "ops_fixture.h"

#include <cstring>
#include <set>

using Catalogue = OpsTest;

TEST_F(Catalogue, HoldsEveryOperationOnceInGroupOrder)
{
    ASSERT_EQ(op_count(), 153);
    EXPECT_EQ(op_catalogue()[153].command, 0);  // the terminator

    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    ASSERT_EQ(groups, 15);
    const int32_t order[15] = {3110, 3210, 3120, 3130, 3140, 3150, 3160, 3170,
                               3570, 3180, 3190, 3800, 3550, 3900, 3560};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(g[i].command, order[i]);

    // Groups follow each other without interleaving, in that order.
    int group_at = 0;
    std::set<int32_t> commands;
    std::set<std::string> names, keywords;
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        while (group_at < 15 && d->group != order[group_at])
            ++group_at;
        ASSERT_LT(group_at, 15) << d->name << " out of group order";
        EXPECT_TRUE(commands.insert(d->command).second) << d->command;
        EXPECT_TRUE(names.insert(d->name).second) << d->name;
        if (d->keyword) {
            EXPECT_TRUE(keywords.insert(d->keyword).second) << d->keyword;
        }
        EXPECT_FALSE(commands.count(d->group) && d->group != d->command) << "group number used by an operation";
        ASSERT_NE(d->applier, nullptr);
        EXPECT_EQ(d->available != 0, d->unavailable == nullptr) << d->name;
        EXPECT_EQ(find_operation(d->command), i);
    }
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(commands.count(order[i]), 0u);

    // Numbers that others refer to.
    const std::pair<int32_t, const char*> fixed[] = {
        {3115, "Negative"},   {3133, "Swirl"},       {3167, "Closed Line"}, {3168, "Closed Line Pen"},
        {3169, "Open Line Edge"}, {3173, "Enlarge"}, {3174, "Reduce"},      {3179, "Monochrome"},
        {3181, "Contrast"},   {3182, "Brightness"},  {3183, "Gamma"},       {3184, "Balance"},
        {3185, "Histogram"},  {3186, "Color Fill"},  {3188, "Colorize"},    {3189, "Remap"},
        {3191, "Make Area"},  {3221, "Roll"},        {3242, "SPercent"},    {3243, "SPixel"},
        {3574, "Convolve"},   {3712, "Pseudo Color"}, {3713, "Antique"},    {3714, "False Color"},
        {3715, "Solarize"},   {3717, "Glare"},       {3722, "Adjust Hue"},  {3723, "Saturation"},
        {3724, "Adjust Value"}, {3725, "Color Gel"}, {3728, "Shear"},
    };
    for (const auto& [command, name] : fixed) {
        const OpDescriptor* d = op_by_command(command);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_STREQ(d->name, name);
    }
    EXPECT_EQ(find_operation(0), -1);
    EXPECT_EQ(find_operation(4242), -1);
}

TEST_F(Catalogue, FlagsAppliersAndAvailability)
{
    const OpDescriptor* neg = op_by_command(opcmd::Negative);
    EXPECT_STREQ(neg->dialog, "NegDlg");
    EXPECT_EQ(neg->group, 3550);
    EXPECT_EQ(neg->kind, ApplierKind::PixelMap);
    EXPECT_TRUE(neg->warp_capable);
    EXPECT_EQ(neg->applier, apply_pixel_map);
    EXPECT_EQ(op_by_command(opcmd::Contrast)->applier, apply_pixel_in_place);
    EXPECT_EQ(op_by_command(opcmd::Histogram)->applier, apply_whole_image_no_undo);

    // No alpha masking: the Geom Group, Enlarge, Reduce, and the Alpha Group
    // but Sample A and Make Area.
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        bool expected = d->group == 3130 || d->command == opcmd::Enlarge || d->command == opcmd::Reduce ||
                        (d->group == 3190 && d->command != 3199 && d->command != opcmd::MakeArea);
        EXPECT_EQ(d->no_alpha_masking != 0, expected) << d->name;
        if (d->kind == ApplierKind::Geometric) {
            EXPECT_TRUE(d->warp_capable) << d->name;
        }
    }
    EXPECT_TRUE(op_uses_source(3138));   // Surface Warp
    EXPECT_TRUE(op_uses_brush(3281));    // Stroke
    EXPECT_TRUE(op_full_refresh(3579));  // Ray Trace
    EXPECT_FALSE(op_uses_source(opcmd::ClosedLinePen));
    op_set_line_tool_images(true);
    EXPECT_TRUE(op_uses_source(opcmd::ClosedLinePen));
    EXPECT_TRUE(op_uses_brush(opcmd::OpenLineEdge));
    EXPECT_FALSE(op_uses_source(opcmd::Negative));

    // Operations with a worker run (Ray Trace's is registered by the ray
    // tracer); the others say why not.
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        const OpWorkers& w = d->worker;
        const bool worker = w.map || w.map_xy || w.place || w.place_xy || w.whole;
        EXPECT_EQ(d->available != 0, worker) << d->name;
        EXPECT_EQ(d->unavailable == nullptr, worker) << d->name;
    }
    EXPECT_TRUE(op_by_command(opcmd::RayTrace)->available);
    EXPECT_TRUE(op_by_command(opcmd::Negative)->available);

    // Names and keywords find operations, case ignored.
    EXPECT_EQ(op_by_name("negative"), neg);
    EXPECT_EQ(op_by_name("BRIGHT"), op_by_command(opcmd::Brightness));
    EXPECT_EQ(op_by_name("color gel"), op_by_command(opcmd::ColorGel));
    EXPECT_EQ(op_by_name("nothing"), nullptr);
    EXPECT_EQ(op_group_find("photo")->command, 3550);
    EXPECT_EQ(op_group_find("3180")->command, 3180);
}

TEST_F(Catalogue, UnavailableOperationsRefuseWithoutTouchingTheImage)
{
    const OpDescriptor* missing = nullptr;
    for (int i = 0; i < op_count() && !missing; ++i)
        if (!op_at(i)->available)
            missing = op_at(i);
    if (!missing)
        GTEST_SKIP() << "every operation is available";
    Image* img = ramp(4, 4);
    std::vector<uint32_t> before = pixels(img);
    EXPECT_EQ(apply(missing->command, img), 1);
    EXPECT_TRUE(said(missing->name));
    EXPECT_EQ(pixels(img), before);
    EXPECT_EQ(img->changes, 0);
}

TEST_F(Catalogue, RegisteringAWorkerMakesAnOperationAvailable)
{
    static int calls;
    calls = 0;
    OpRow b{};
    b.command = opcmd::RayTrace;
    b.worker.whole = [](Image* t, uint8_t*) {
        ++calls;
        pixel_store(t->pixel(0, 0), pixel_make(1, 2, 3, 255));
        return 0;
    };
    EXPECT_TRUE(op_register(b));
    b.command = 4242;
    EXPECT_FALSE(op_register(b));
    EXPECT_TRUE(op_by_command(opcmd::RayTrace)->available);
    Image* img = solid(2, 2, pixel_make(9, 9, 9, 255));
    EXPECT_EQ(apply(opcmd::RayTrace, img), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(px(img, 0, 0), pixel_make(1, 2, 3, 255));
    // A rebuilt catalogue keeps it.
    ASSERT_EQ(build_catalogue(), 0);
    EXPECT_TRUE(op_by_command(opcmd::RayTrace)->available);
}

TEST_F(Catalogue, HelpTopicsLeadToOperationPages)
{
    EXPECT_EQ(op_help_page("negative"), "f_op_negative");
    EXPECT_EQ(op_help_page("Lighting Group"), "f_op_asterize");
    EXPECT_EQ(op_help_page("3-D Net"), "f_op_3dnet");
    EXPECT_EQ(op_help_page("nothing"), "");

    EXPECT_EQ(op_help(nullptr), 1);
    EXPECT_TRUE(said("No help index: NULL Pointer"));
    EXPECT_EQ(op_help(""), 1);
    EXPECT_TRUE(said("No help index: Empty String"));
    EXPECT_EQ(op_help("nothing"), 1);
    EXPECT_TRUE(said("No help index: \"nothing\""));
    // The page is not installed here: the shell's refusal becomes the title.
    EXPECT_EQ(op_help("negative"), 1);
    EXPECT_EQ(platform.frame_title(), "lasterror=2");
}

namespace {
uint32_t test_map(uint32_t p) { return p; }
void test_place(uint8_t*, int) {}
void test_place_xy(uint8_t*, int, int, int) {}
int32_t g_test_value;
constexpr OpSlot kTwice[] = {slot_range(&g_test_value, "amount", "Amount", 0, 1),
                             slot_range(&g_test_value, "amount", "Amount again", 0, 1)};
} // namespace

TEST_F(Catalogue, StartUpCheckPassesTheFamiliesAndCatchesMismatches)
{
    std::string report;
    EXPECT_EQ(catalogue_check(op_families(), &report), 0) << report;

    // Negative is a pixel map: an in-place worker does not fit it.
    static constexpr OpRow kWrongKind[] = {{.command = opcmd::Negative, .worker = worker_place(test_place)}};
    // Contrast is not warp capable; Swirl has a second row; 4242 is no operation.
    static constexpr OpRow kOthers[] = {
        {.command = opcmd::Contrast, .worker = worker_place(test_place), .warp = worker_place(test_place)},
        {.command = opcmd::Swirl, .worker = worker_place_xy(test_place_xy)},
        {.command = opcmd::Swirl, .worker = worker_place_xy(test_place_xy)},
        {.command = 4242, .worker = worker_map(test_map)},
        {.command = opcmd::Gamma, .worker = worker_place(test_place), .slots = kTwice},
        {.command = opcmd::Brightness, .worker = worker_place(test_place), .mapping = [](int, int, double*, double*, unsigned*) {}},
    };
    static const OpFamily wrong = {"wrong", kWrongKind, nullptr, nullptr, nullptr};
    static const OpFamily others = {"others", kOthers, nullptr, nullptr, nullptr};
    const OpFamily* const families[] = {&wrong, &others};
    report.clear();
    EXPECT_EQ(catalogue_check(families, &report), 6) << report;
    EXPECT_NE(report.find("wrong row 3115 (Negative): its worker is not the map worker"), std::string::npos) << report;
    EXPECT_NE(report.find("not warp capable"), std::string::npos);
    EXPECT_NE(report.find("another row"), std::string::npos);
    EXPECT_NE(report.find("4242: the command is not in the catalogue"), std::string::npos);
    EXPECT_NE(report.find("\"amount\" is used twice"), std::string::npos);
    EXPECT_NE(report.find("not geometric"), std::string::npos);

    // A module outside the families is held to the same rule.
    OpRow bad{};
    bad.command = opcmd::RayTrace;
    bad.worker.map = test_map;
    EXPECT_FALSE(op_register(bad));
}

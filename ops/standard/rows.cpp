// The standard family's table: the rest of the Standard Group and the
// Attrib Group.
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/family.h"
#include "ops/standard/docs.h"
#include "ops/standard/standard.h"

#include <cstring>

int measure_worker(Image* t, uint8_t* mask);
int forcedyn_worker(Image* t, uint8_t* mask);
int channel_map_worker(Image* t, uint8_t* mask);
int swap_prepare(Image* t, int);
void swap_worker(uint8_t* p, int x, int y, int weight);
int sample_worker(Image* t, uint8_t* mask);
int build_palette_worker(Image* t, uint8_t* mask);
int aspect_prepare(Image* t, int);
int aspect_finish(Image* t, int);
int dpi_prepare(Image* t, int);
int dpi_finish(Image* t, int);
int author_finish(Image* t, int);
int annotation_finish(Image* t, int);
int copyright_finish(Image* t, int);
int attrib_worker(Image* t, uint8_t* mask);

namespace {

void standard_reset()
{
    StandardParams& p = g_standard_params;
    std::memset(&p, 0, sizeof p);
    p.map_from = 4;
    p.swap_order = 2103;  // red and blue change places
    p.pal_colours = 256;
    p.aspect_x = p.aspect_y = 1;
    p.dpi_h = p.dpi_v = 300;
}

StandardParams& p = g_standard_params;

constexpr OpSlot kChannelMap[] = {
    slot_range(&p.map_from, "from", "From (0 red, 1 green, 2 blue, 3 alpha, 4 brightness)", 0, 4),
    slot_range(&p.map_to, "to", "To (0 all colours, 1 red, 2 green, 3 blue, 4 alpha)", 0, 4),
};
constexpr OpSlot kSwap[] = {slot_range(&p.swap_order, "order", "Order (digits RGBA: 0 red .. 3 alpha)", 0, 3333)};
constexpr OpSlot kSample[] = {
    slot_int(&p.sample_x, "x", "X", 0, 1000, 0, 40000),
    slot_int(&p.sample_y, "y", "Y", 0, 1000, 0, 40000),
};
constexpr OpSlot kBuildPalette[] = {
    slot_range(&p.pal_colours, "colours", "Colours", 2, 256),
    slot_range(&p.pal_method, "method", "Method (0 median cut, 1 most frequent, 2 uniform)", 0, 2),
    slot_switch(&p.pal_area, "area", "Selected pixels only"),
    slot_switch(&p.pal_sort, "sort", "Sort dark to light"),
};
constexpr OpSlot kAspect[] = {
    slot_int(&p.aspect_x, "x", "Pixel width", 1, 16, 1, 10000),
    slot_int(&p.aspect_y, "y", "Pixel height", 1, 16, 1, 10000),
};
constexpr OpSlot kDpi[] = {
    slot_int(&p.dpi_h, "horizontal", "Horizontal DPI", 1, 1200, 1, 100000),
    slot_int(&p.dpi_v, "vertical", "Vertical DPI", 1, 1200, 1, 100000),
};
constexpr OpSlot kAuthor[] = {slot_text(p.author, SLOT_TEXT, kAuthorText, "text", "Author")};
constexpr OpSlot kAnnotation[] = {slot_text(p.annotation, SLOT_TEXT, kAnnotationText, "text", "Annotation")};
constexpr OpSlot kCopyright[] = {slot_text(p.copyright, SLOT_TEXT, kCopyrightText, "text", "Copyright")};

constexpr OpRow kRows[] = {
    {.command = opcmd::Measure, .worker = worker_whole(canvas::guarded<measure_worker>), .doc = standard_docs::measure},
    {.command = opcmd::ForceDyn, .worker = worker_whole(canvas::guarded<forcedyn_worker>), .doc = standard_docs::forcedyn},
    {.command = opcmd::ChannelMap, .worker = worker_whole(canvas::guarded<channel_map_worker>), .slots = kChannelMap,
     .doc = standard_docs::channel_map},
    {.command = opcmd::SwapRGBA, .worker = worker_place_xy(swap_worker), .prepare = swap_prepare, .slots = kSwap,
     .doc = standard_docs::swap_rgba, .parallel = true},
    {.command = opcmd::Sample, .worker = worker_whole(canvas::guarded<sample_worker>), .slots = kSample, .doc = standard_docs::sample},
    {.command = opcmd::BuildPalette, .worker = worker_whole(canvas::guarded<build_palette_worker>), .slots = kBuildPalette,
     .doc = standard_docs::build_palette},
    {.command = opcmd::AspectRatio, .worker = worker_whole(canvas::guarded<attrib_worker>), .prepare = aspect_prepare, .finish = aspect_finish, .slots = kAspect,
     .doc = standard_docs::aspect_ratio},
    {.command = opcmd::DPI, .worker = worker_whole(canvas::guarded<attrib_worker>), .prepare = dpi_prepare, .finish = dpi_finish, .slots = kDpi,
     .doc = standard_docs::dpi},
    {.command = opcmd::AuthorName, .worker = worker_whole(canvas::guarded<attrib_worker>), .finish = author_finish, .slots = kAuthor,
     .doc = standard_docs::author},
    {.command = opcmd::Annotation, .worker = worker_whole(canvas::guarded<attrib_worker>), .finish = annotation_finish,
     .slots = kAnnotation, .doc = standard_docs::annotation},
    {.command = opcmd::Copyright, .worker = worker_whole(canvas::guarded<attrib_worker>), .finish = copyright_finish,
     .slots = kCopyright, .doc = standard_docs::copyright},
};

} // namespace

const OpFamily kStandardFamily = {"standard", kRows, standard_reset, nullptr, nullptr};

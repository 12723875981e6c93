#include "../fail_midway.h"
#include "core/bytes.h"
#include "core/mem.h"
#include "layer_fixture.h"
#include "layers/elf.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

class ElfTest : public LayerTest {
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        char tmpl[] = "/tmp/glimvq-elf-XXXXXX";
        folder_ = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + folder_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        LayerTest::TearDown();
    }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    static std::vector<uint8_t> read_file(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void write_file(const std::string& p, const std::vector<uint8_t>& b)
    {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    // Adopts a loaded master so that the fixture frees it.
    Image* keep(Image* m)
    {
        if (m)
            masters_.push_back(m);
        return m;
    }

    // A stack of random layers: sizes, offsets (some outside), modes,
    // flags, opacities, factors and pixels.
    Image* random_stack(unsigned seed, int least_width = 1)
    {
        std::mt19937 rng(seed);
        Image* m = master(37, 29);
        std::snprintf(m->name, sizeof m->name, "stack %u", seed);
        std::snprintf(m->author, sizeof m->author, "Ada");
        std::snprintf(m->copyright, sizeof m->copyright, "(c) 2026 Ada");
        m->hres_num = 300, m->vres_num = 150, m->vres_den = 2;
        const int modes[] = {MODE_NORMAL, MODE_MULTIPLY, MODE_SCREEN, MODE_WARP, MODE_DIFFERENCE_TO_GRAY, MODE_MASK};
        for (int i = 0; i < 5; ++i) {
            int w = least_width + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 30);
            Image* l = layer(m, w, h, {0, 0, 0, 0}, modes[rng() % 6], static_cast<int>(rng() % 101),
                             static_cast<int>(rng() % 30001), static_cast<int>(rng() % 60) - 20,
                             static_cast<int>(rng() % 50) - 15);
            l->layer_flags = (rng() & 0x27) | LAYER_VISIBLE;
            if (l->layer_mode == MODE_WARP)
                l->layer_flags |= LAYER_WARP;
            paint(l, [&](int x, int y) {
                // Mixed runs and noise, so that every coding has work to do.
                if ((x / 5 + y) % 3 == 0)
                    return Px{x * 7 & 255, 40, 200, 255};
                return Px{static_cast<int>(rng() & 255), static_cast<int>(rng() & 255),
                          static_cast<int>(rng() & 255), static_cast<int>(rng() & 255)};
            });
        }
        composite_layers(m);
        return m;
    }

    std::string folder_;
};

std::vector<Image*> stack_of(Image* m)
{
    std::vector<Image*> out;
    for (ListNode* n = m->layer_list->head; n; n = n->ln_succ)
        out.push_back(static_cast<Image*>(n->element));
    return out;
}

} // namespace

TEST_F(ElfTest, EveryCodingRoundTripsARandomStackBitForBit)
{
    for (int coding = 0; coding <= 3; ++coding) {
        // Deflated rows must stay below twice the width: at least 12 pixels.
        Image* m = random_stack(100 + static_cast<unsigned>(coding), coding == ELF_DEFLATE ? 12 : 1);
        std::string file = path("stack.elf");
        ASSERT_EQ(elf_save_coded(file.c_str(), m, coding), 0) << coding << ": " << elf_last_error();
        Image* back = keep(elf_load(file.c_str()));
        ASSERT_NE(back, nullptr) << coding;
        EXPECT_EQ(back->has_layers, 1);
        EXPECT_STREQ(back->name, m->name);
        EXPECT_STREQ(back->author, "Ada");
        EXPECT_STREQ(back->copyright, "(c) 2026 Ada");
        EXPECT_EQ(back->annotation, nullptr);  // written as "Unknown"
        EXPECT_EQ(back->hres_num, 300);
        EXPECT_EQ(back->vres_den, 2);
        EXPECT_EQ(back->layer_number, m->layer_number);
        std::vector<Image*> a = stack_of(m), b = stack_of(back);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_STREQ(a[i]->name, b[i]->name);
            EXPECT_EQ(a[i]->width, b[i]->width);
            EXPECT_EQ(a[i]->height, b[i]->height);
            EXPECT_EQ(a[i]->layer_x, b[i]->layer_x);
            EXPECT_EQ(a[i]->layer_y, b[i]->layer_y);
            EXPECT_EQ(a[i]->layer_mode, b[i]->layer_mode);
            EXPECT_EQ(a[i]->layer_flags, b[i]->layer_flags);
            EXPECT_EQ(a[i]->layer_opacity, b[i]->layer_opacity);
            EXPECT_EQ(a[i]->layer_factor, b[i]->layer_factor);
            EXPECT_EQ(a[i]->layer_number, b[i]->layer_number);
            EXPECT_EQ(b[i]->owner, back);
            EXPECT_EQ(pixels(a[i]), pixels(b[i])) << "coding " << coding << " layer " << i;
        }
        EXPECT_EQ(pixels(back), pixels(m)) << "the composite, coding " << coding;
        if (coding == ELF_TRIM) {
            EXPECT_STREQ(b[0]->format, "ELF");
        }
    }
}

TEST_F(ElfTest, TheLayoutIsBigEndianWithFixedWords)
{
    Image* m = master(300, 2);
    m->layer_number = 7;
    Image* l = layer(m, 2, 1, {1, 2, 3, 4}, MODE_SCREEN, 64, 250, -3, 1);
    std::snprintf(l->name, sizeof l->name, "top");
    std::string file = path("layout.elf");
    ASSERT_EQ(elf_save(file.c_str(), l, 0), 0);  // a layer saves its master
    std::vector<uint8_t> b = read_file(file);
    ASSERT_EQ(b.size(), 1316u + 308u + 2 * 4);
    EXPECT_EQ(get_be32(&b[0]), 0x1BAB00FEu);
    EXPECT_EQ(get_be32(&b[4]), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[264])), "Unknown");
    std::string creator(reinterpret_cast<char*>(&b[1032]));
    EXPECT_EQ(creator.rfind("File written by Glimmerix V/q", 0), 0u);
    EXPECT_TRUE(creator.ends_with("Glimmerix is the baseline application for .elf files."));
    EXPECT_EQ(get_be32(&b[1288]), 300u);
    EXPECT_EQ(get_be32(&b[1292]), 2u);
    EXPECT_EQ(get_be32(&b[1296]), 200u);
    EXPECT_EQ(get_be32(&b[1312]), 8u);  // the master counted its new layer
    const uint8_t* r = &b[1316];
    EXPECT_EQ(get_be32(r), 0x62951413u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 4)), "top");
    EXPECT_EQ(get_be32(r + 268), static_cast<uint32_t>(-3));
    EXPECT_EQ(get_be32(r + 280), 0u);
    EXPECT_EQ(get_be32(r + 284), 0u);  // the last layer
    EXPECT_EQ(get_be32(r + 288), 21u);
    EXPECT_EQ(get_be32(r + 292), 1u);
    EXPECT_EQ(get_be32(r + 296), 64u | 250u << 16);
    EXPECT_EQ(get_be32(r + 300), 0x000000FFu);
    EXPECT_EQ(get_be32(r + 304), 0xFFFFFFFFu);
    // Row 0: the red plane, then green, blue, alpha, each two bytes.
    const std::vector<uint8_t> planes(b.begin() + 1316 + 308, b.end());
    EXPECT_EQ(planes, (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 4, 4}));
    EXPECT_TRUE(elf_probe(file.c_str()));

    // With packing on and the "High Compression ELF" preference, coding 3;
    // without the preference, coding 1.
    ASSERT_EQ(elf_save(file.c_str(), m, 1), 0);
    EXPECT_EQ(get_be32(&read_file(file)[1316 + 280]), 3u);
    settings().user_prefs[PREF_HIGH_COMPRESSION_ELF] = 0;
    ASSERT_EQ(elf_save(file.c_str(), m, 1), 0);
    EXPECT_EQ(get_be32(&read_file(file)[1316 + 280]), 1u);

    // An image without layers writes nothing.
    Image* plain = image_new(2, 2, "test");
    EXPECT_EQ(elf_save(path("plain.elf").c_str(), plain, 1), 2);
    EXPECT_NE(access(path("plain.elf").c_str(), F_OK), 0);
    image_free(plain);
}

TEST_F(ElfTest, AHeaderOnlyFileIsABlankMaster)
{
    Image* m = master(4, 3);
    std::string file = path("empty.elf");
    ASSERT_EQ(elf_save_coded(file.c_str(), m, ELF_RUNS), 0);
    EXPECT_EQ(read_file(file).size(), 1316u);
    Image* back = keep(elf_load(file.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->has_layers, 1);
    EXPECT_EQ(list_count(back->layer_list), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(at(back, x, y), (Px{255, 255, 255, 0}));
}

TEST_F(ElfTest, ReadingStopsAfterTheLastRecordAndMarksWarps)
{
    Image* m = master(6, 6);
    layer(m, 6, 6, {10, 10, 10, 255});
    Image* w = layer_create_warp(m);
    ASSERT_NE(w, nullptr);
    std::string file = path("warp.elf");
    ASSERT_EQ(elf_save_coded(file.c_str(), m, ELF_RAW), 0);
    std::vector<uint8_t> b = read_file(file);
    size_t second = 1316 + 308 + 6 * 6 * 4;
    ASSERT_EQ(get_be32(&b[second + 288]), 16u);
    put_be32(&b[second + 292], 1);  // warp bit cleared
    b.insert(b.end(), {'j', 'u', 'n', 'k', 0x62, 0x95, 0x14, 0x13});
    write_file(file, b);
    Image* back = keep(elf_load(file.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(list_count(back->layer_list), 2);
    EXPECT_EQ(stack_of(back)[1]->layer_flags, LAYER_VISIBLE | LAYER_WARP);
    EXPECT_EQ(at(back, 3, 3), (Px{10, 10, 10, 255}));
}

TEST_F(ElfTest, BadRecordsRefuseTheFileAndBadPixelsKeepWhatWasRead)
{
    Image* m = master(5, 5);
    layer(m, 5, 5, {1, 2, 3, 255});
    layer(m, 3, 3, {9, 9, 9, 255});
    std::string file = path("bad.elf");
    ASSERT_EQ(elf_save_coded(file.c_str(), m, ELF_RUNS), 0);
    const std::vector<uint8_t> good = read_file(file);
    const size_t rec = 1316;
    ASSERT_NE(keep(elf_load(file.c_str())), nullptr);

    int images = image_store_count();
    auto refused = [&](const char* what, size_t at, uint32_t value) {
        std::vector<uint8_t> b = good;
        put_be32(&b[at], value);
        write_file(file, b);
        ui::headless().clear_transcript();
        EXPECT_EQ(elf_load(file.c_str()), nullptr) << what;
        EXPECT_EQ(image_store_count(), images) << what << " left images behind";
        EXPECT_FALSE(ui::headless().transcript().empty()) << what << " said nothing";
    };
    refused("opacity 101", rec + 296, 101 | 100u << 16);
    refused("factor 30001", rec + 296, 100 | 30001u << 16);
    refused("coding 4", rec + 280, 4);
    refused("mode 93", rec + 288, 93);
    refused("flags 256", rec + 292, 256);
    refused("width 0", rec + 260, 0);
    refused("record magic", rec, 0x12345678);
    refused("header magic", 0, 0x1BAB00FF);
    refused("version 4", 4, 4);
    refused("height 0", 1292, 0);
    refused("huge master", 1288, 70000);

    // Opacity 100 and factor 30000 are the largest allowed.
    std::vector<uint8_t> edge = good;
    put_be32(&edge[rec + 296], 100 | 30000u << 16);
    write_file(file, edge);
    EXPECT_NE(keep(elf_load(file.c_str())), nullptr);

    // A file cut inside the second layer's pixels keeps the first layer,
    // stack marked invalid; cut inside a record, nothing comes back.
    std::vector<uint8_t> cut(good.begin(), good.end() - 3);
    write_file(file, cut);
    Image* partial = keep(elf_load(file.c_str()));
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->has_layers, 0);
    EXPECT_EQ(list_count(partial->layer_list), 1);
    EXPECT_EQ(at(partial, 0, 0), (Px{255, 255, 255, 0}));  // not composited
    std::vector<uint8_t> cut_record(good.begin(), good.begin() + static_cast<long>(rec) + 100);
    write_file(file, cut_record);
    EXPECT_EQ(elf_load(file.c_str()), nullptr);

    // Every cut and random damage: no crash, no leak (the sanitizers watch).
    std::mt19937 rng(1);
    for (size_t n = 0; n < good.size(); n += 29) {
        write_file(file, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)));
        keep(elf_load(file.c_str()));
    }
    for (int round = 0; round < 80; ++round) {
        std::vector<uint8_t> b = good;
        for (int k = 0; k < 3; ++k)
            b[rec + rng() % (b.size() - rec)] = static_cast<uint8_t>(rng());
        write_file(file, b);
        keep(elf_load(file.c_str()));
    }
    EXPECT_FALSE(elf_probe(path("missing.elf").c_str()));
    EXPECT_EQ(elf_load(path("missing.elf").c_str()), nullptr);
}

TEST_F(ElfTest, LongAnnotationsAreCutAndFailedSavesKeepTheOldFile)
{
    Image* m = master(20, 2);
    layer(m, 3, 2, {5, 5, 5, 255});
    image_annotation_alloc(m, 400);
    std::string note(300, 'n');
    note[253] = 'Z';
    std::snprintf(m->annotation, 400, "%s", note.c_str());
    std::string file = path("note.elf");
    ASSERT_EQ(elf_save_coded(file.c_str(), m, ELF_TRIM), 0);
    std::vector<uint8_t> b = read_file(file);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[264])), note.substr(0, 254));
    Image* back = keep(elf_load(file.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back->annotation), note.substr(0, 254));

    // A layer 3 pixels wide cannot deflate into 6 bytes: the save fails,
    // says why, and the file written before stays.
    EXPECT_EQ(elf_save_coded(file.c_str(), m, ELF_DEFLATE), 1);
    EXPECT_NE(std::string(elf_last_error()).find("twice its width"), std::string::npos);
    EXPECT_EQ(read_file(file), b);
    EXPECT_EQ(test_support::leftover_parts(folder_), std::vector<std::string>{});
}

TEST_F(ElfTest, ASaveTheDiskCutsShortKeepsTheOldFile)
{
    Image* m = random_stack(3, 8);
    const std::string file = path("cut.elf");
    for (int coding : {ELF_RAW, ELF_RUNS, ELF_TRIM}) {
        SCOPED_TRACE(coding);
        Image* small = master(4, 4);
        layer(small, 2, 2, {1, 2, 3, 255});
        ASSERT_EQ(elf_save_coded(file.c_str(), small, coding), 0);
        const std::vector<uint8_t> before = read_file(file);
        // The header (1316 bytes) and a record go out, the pixels do not.
        EXPECT_EQ(test_support::run_with_file_limit(1800, [&] { return elf_save_coded(file.c_str(), m, coding); }), 1);
        EXPECT_EQ(read_file(file), before);
        EXPECT_EQ(test_support::leftover_parts(folder_), std::vector<std::string>{});
    }
}

TEST_F(ElfTest, AHeaderFarBeyondItsFileIsRefused)
{
    // The header alone, its master 8192 x 8192: no layer data can make it.
    std::vector<uint8_t> b(kElfHeaderSize, 0);
    put_be32(b.data(), kElfMagic);
    put_be32(b.data() + 4, kElfVersion);
    put_be32(b.data() + 1288, 8192);
    put_be32(b.data() + 1292, 8192);
    const std::string file = path("huge.elf");
    write_file(file, b);
    mem_reset_statistics();
    EXPECT_EQ(elf_load(file.c_str()), nullptr);
    EXPECT_NE(ui::headless().transcript().back().find("Layered file is damaged (it declares 8192 x 8192"),
              std::string::npos);
    EXPECT_LT(mem_counters().virt_max, 1L << 20);
    // A small master of the header alone is a blank master, as before.
    put_be32(b.data() + 1288, 640);
    put_be32(b.data() + 1292, 480);
    write_file(file, b);
    EXPECT_NE(keep(elf_load(file.c_str())), nullptr);
}

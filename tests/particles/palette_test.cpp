// Palette files: the four kinds read, bad ones refused with the file's name,
// and where a system's palette name is looked for.
#include "particles/palette.h"
#include "tests/ops/ops_fixture.h"

#include <fstream>
#include <sys/stat.h>

namespace {

class Palettes : public OpsTest {
protected:
    std::string put(const std::string& name, const std::string& bytes) const
    {
        std::string path = home + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    bool parse(const std::string& bytes, std::string* why = nullptr)
    {
        std::string w;
        bool ok = palette_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pal, w);
        if (why)
            *why = w;
        return ok;
    }
    PsysPalette pal;
};

std::string le16(int v)
{
    return std::string{static_cast<char>(v & 255), static_cast<char>(v >> 8)};
}
std::string le32(uint32_t v)
{
    return le16(static_cast<int>(v & 0xffff)) + le16(static_cast<int>(v >> 16));
}

std::string riff(int count, int stated_count)
{
    std::string data = le16(0x300) + le16(stated_count);
    for (int i = 0; i < count; ++i)
        data += std::string{static_cast<char>(i), static_cast<char>(2 * i), static_cast<char>(255 - i), 0};
    std::string chunk = "data" + le32(static_cast<uint32_t>(data.size())) + data;
    return "RIFF" + le32(static_cast<uint32_t>(4 + chunk.size())) + "PAL " + chunk;
}

} // namespace

TEST_F(Palettes, TheFourKindsAreRead)
{
    ASSERT_TRUE(parse("JASC-PAL\r\n0100\r\n2\r\n255 0 0\r\n0 128 255\r\n"));
    EXPECT_EQ(pal.count, 2);
    EXPECT_EQ(pal.red[0], 255);
    EXPECT_EQ(pal.green[1], 128);
    EXPECT_EQ(pal.blue[1], 255);

    ASSERT_TRUE(parse("GIMP Palette\nName: test\nColumns: 4\n# a comment\n  1   2   3\tdark\n10 20 30 Untitled\n"));
    EXPECT_EQ(pal.count, 2);
    EXPECT_EQ(pal.blue[0], 3);
    EXPECT_EQ(pal.red[1], 10);

    ASSERT_TRUE(parse(riff(3, 3)));
    EXPECT_EQ(pal.count, 3);
    EXPECT_EQ(pal.green[2], 4);
    EXPECT_EQ(pal.blue[2], 253);

    std::string act(768, '\0');
    act[3 * 5] = static_cast<char>(200);
    ASSERT_TRUE(parse(act));
    EXPECT_EQ(pal.count, 256);
    EXPECT_EQ(pal.red[5], 200);
    ASSERT_TRUE(parse(act + std::string{0, 16, 0, 0}));  // with its count of 16
    EXPECT_EQ(pal.count, 16);
}

TEST_F(Palettes, BadPalettesAreRefusedAndSayWhy)
{
    std::string why;
    EXPECT_FALSE(parse("JASC-PAL\n0100\n3\n1 2 3\n4 5 6\n", &why));
    EXPECT_EQ(why, "a JASC palette of 3 colours that holds 2");
    EXPECT_FALSE(parse("JASC-PAL\n0100\n0\n", &why));
    EXPECT_FALSE(parse("JASC-PAL\n0100\n5000\n", &why));
    EXPECT_FALSE(parse("JASC-PAL\n0200\n1\n1 2 3\n", &why));
    EXPECT_FALSE(parse("JASC-PAL\n0100\n1\n1 2 300\n", &why));
    EXPECT_FALSE(parse("JASC-PAL\n0100\n1\n1 two 3\n", &why));
    EXPECT_FALSE(parse("GIMP Palette\n", &why));
    EXPECT_FALSE(parse(riff(2, 9), &why));  // a count the chunk does not hold
    std::string cut = riff(4, 4);
    EXPECT_FALSE(parse(cut.substr(0, cut.size() - 6), &why));
    EXPECT_FALSE(parse("RIFF" + le32(4) + "PAL ", &why));
    EXPECT_FALSE(parse(std::string(767, 'x'), &why));
    EXPECT_EQ(pal.count, 0);

    EXPECT_EQ(palette_read(put("odd.pal", "hello").c_str(), pal), 1);
    EXPECT_TRUE(said("File does not match the type requested."));
    EXPECT_TRUE(said("odd.pal: not a JASC, GIMP, RIFF or Adobe palette"));
    EXPECT_EQ(palette_read((home + "/none.pal").c_str(), pal), 1);
    EXPECT_TRUE(said("Could not open the requested file."));
    EXPECT_TRUE(said("none.pal: No such file or directory"));
}

TEST_F(Palettes, ANameIsLookedForBesideTheSystemThenInThePaletteFolder)
{
    mkdir((home + "/systems").c_str(), 0755);
    mkdir((home + "/palettes").c_str(), 0755);
    std::string system = home + "/systems/a.psy";
    put("palettes/warm colours.pal", "JASC-PAL\n0100\n1\n1 2 3\n");
    settings().parti_pal_path = home + "/palettes";
    EXPECT_EQ(psys_palette_path("warm colours.pal", system.c_str()), home + "/palettes/warm colours.pal");
    put("systems/warm colours.pal", "JASC-PAL\n0100\n1\n1 2 3\n");
    EXPECT_EQ(psys_palette_path("warm colours.pal", system.c_str()), home + "/systems/warm colours.pal");
    EXPECT_EQ(psys_palette_path("../palettes/warm colours.pal", system.c_str()),
              home + "/systems/../palettes/warm colours.pal");
    EXPECT_EQ(psys_palette_path("/abs/x.pal", system.c_str()), "/abs/x.pal");
    // Found nowhere: the place beside the system, for the message.
    EXPECT_EQ(psys_palette_path("none.pal", system.c_str()), home + "/systems/none.pal");
    EXPECT_EQ(psys_palette_path("", system.c_str()), "");
}

// Operations named and their parameters set from words, as the command line
// and the command server hand them over.
#include "ops/op_values.h"
#include "ops_fixture.h"

#include <cstring>

namespace {

const OpSlot& slot(const OpDescriptor& op, const char* key)
{
    for (const OpSlot& s : op.slots)
        if (s.used() && std::strcmp(s.key, key) == 0)
            return s;
    ADD_FAILURE() << op.name << " has no slot " << key;
    return op.slots[0];
}

using OpValues = OpsTest;

TEST_F(OpValues, FindsOperationsByNameCommandOrNumber)
{
    OpDescriptor* swirl = op_find("Swirl");
    ASSERT_TRUE(swirl);
    EXPECT_EQ(op_find("sWiRl"), swirl);
    EXPECT_EQ(op_find(std::to_string(swirl->command)), swirl);
    EXPECT_EQ(op_find("no such thing"), nullptr);
    EXPECT_EQ(op_find("12x"), nullptr);
    EXPECT_EQ(op_find(""), nullptr);
}

TEST_F(OpValues, SetsValuesInOrderByNameAndByChoiceName)
{
    OpDescriptor* swirl = op_find("Swirl");
    ASSERT_TRUE(swirl);
    std::string error;
    ASSERT_TRUE(op_set_values(*swirl, {"120"}, error)) << error;
    EXPECT_EQ(slot_get(slot(*swirl, "amount")), 120);
    ASSERT_TRUE(op_set_values(*swirl, {"AMOUNT=-45"}, error)) << error;
    EXPECT_EQ(slot_value_text(slot(*swirl, "amount")), "-45");
    // Beyond the slider but within the typed range is allowed.
    EXPECT_TRUE(op_set_values(*swirl, {"amount=1000"}, error)) << error;

    OpDescriptor* mono = op_find("Monochrome");
    ASSERT_TRUE(mono);
    ASSERT_TRUE(op_set_values(*mono, {"method=red and blue"}, error)) << error;
    EXPECT_EQ(slot_get(slot(*mono, "method")), 6);
    EXPECT_NE(slot_range_text(slot(*mono, "method")).find("Luminance"), std::string::npos);
}

TEST_F(OpValues, PalettesAndTexts)
{
    OpDescriptor* fill = op_find("Linear Fill");
    ASSERT_TRUE(fill);
    std::string error;
    ASSERT_TRUE(op_set_values(*fill, {"palette=255,0,0/0,0,255"}, error)) << error;
    const auto& p = *static_cast<const OpPalette*>(slot(*fill, "palette").var);
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.red[0], 255);
    EXPECT_EQ(p.blue[1], 255);
    EXPECT_EQ(slot_value_text(slot(*fill, "palette")), "2 colours");
    for (const char* bad : {"palette=255,0", "palette=1,2,3,4", "palette=256,0,0", "palette=a,b,c"}) {
        EXPECT_FALSE(op_set_values(*fill, {bad}, error)) << bad;
        EXPECT_NE(error.find("palette"), std::string::npos) << error;
    }

    OpDescriptor* enc = op_find("encrypt image");
    ASSERT_TRUE(enc);
    ASSERT_TRUE(op_set_values(*enc, {"password=opensesame"}, error)) << error;
    EXPECT_EQ(slot_value_text(slot(*enc, "password")), "\"opensesame\"");
}

TEST_F(OpValues, RefusalsNameTheParameterAndChangeNothing)
{
    OpDescriptor* fill = op_find("Linear Fill");
    ASSERT_TRUE(fill);
    std::string error;
    ASSERT_TRUE(op_set_values(*fill, {"angle=30", "repeat=2", "palette=1,2,3"}, error)) << error;

    struct Case {
        std::vector<std::string> words;
        const char* says;
    } cases[] = {
        {{"angle=45", "repeat=0"}, "repeat must lie in 1..10000"},
        {{"angle=45", "repeat=two"}, "repeat takes a whole number"},
        {{"palette=9,9,9", "nothing=1"}, "no parameter \"nothing\""},
        {{"45", "3", "1", "1,1,1", "7"}, "one too many"},
        {{"angle=4.5"}, "angle takes a whole number"},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(op_set_values(*fill, c.words, error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        // The words before the faulty one are taken back.
        EXPECT_EQ(slot_get(slot(*fill, "angle")), 30);
        EXPECT_EQ(slot_get(slot(*fill, "repeat")), 2);
        const auto& p = *static_cast<const OpPalette*>(slot(*fill, "palette").var);
        EXPECT_EQ(p.count, 1);
        EXPECT_EQ(p.red[0], 1);
    }
}

} // namespace

TEST_F(OpValues, ColoursAsAPersonWritesThem)
{
    OpDescriptor* extend = op_find("Extend");
    ASSERT_TRUE(extend);
    const OpSlot& colour = slot(*extend, "colour");
    std::string error;
    const std::pair<const char*, double> written[] = {
        {"255,128,0", 0xFF8000}, {"#00ff7F", 0x00FF7F}, {"0x0000FF", 0xFF}, {"0XABCDEF", 0xABCDEF}, {"65280", 0xFF00}};
    for (const auto& [text, value] : written) {
        ASSERT_TRUE(op_set_values(*extend, {std::string("colour=") + text}, error)) << text << ": " << error;
        EXPECT_EQ(slot_get(colour), value) << text;
    }
    for (const char* bad : {"256,0,0", "1,2", "1,2,3,4", "#12345", "#1234567", "0x", "0x1000000", "red", "-1,0,0"}) {
        EXPECT_FALSE(op_set_values(*extend, {std::string("colour=") + bad}, error)) << bad;
        EXPECT_NE(error.find("a colour"), std::string::npos) << bad << ": " << error;
        EXPECT_EQ(slot_get(colour), 0xFF00) << bad;  // left as it was
    }
    EXPECT_NE(slot_range_text(colour).find("#RRGGBB"), std::string::npos);
    // Other whole-number parameters keep to decimal.
    EXPECT_FALSE(op_set_values(*extend, {"left=0x10"}, error));
}

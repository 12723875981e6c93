#include "ops/op_values.h"

#include "core/words.h"
#include "ops/catalogue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>

namespace {

// A colour as a person writes it: "R,G,B" (0 to 255 each), "#RRGGBB" or
// "0xRRGGBB".  Plain decimal numbers are read by the caller.
bool parse_colour(const std::string& text, long& value)
{
    int r = 0, g = 0, b = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d%c", &r, &g, &b, &extra) == 3) {
        if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255)
            return false;
        value = static_cast<long>(r) << 16 | g << 8 | b;
        return true;
    }
    std::string hex;
    if (text.size() == 7 && text[0] == '#')
        hex = text.substr(1);
    else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        hex = text.substr(2);
    if (hex.empty() || hex.size() > 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    value = std::strtol(hex.c_str(), nullptr, 16);
    return true;
}

std::string trimmed(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

const OpSlot* slot_by_key(const OpDescriptor& op, const std::string& key)
{
    for (const OpSlot& s : op.slots)
        if (s.used() && (strcasecmp(s.key, key.c_str()) == 0 || strcasecmp(s.name, key.c_str()) == 0))
            return &s;
    return nullptr;
}

bool set_palette(const OpSlot& s, const std::string& text, std::string& error)
{
    OpPalette& p = *static_cast<OpPalette*>(s.var);
    int count = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find('/', i);
        std::string colour = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        long rgb[3];
        int got = 0;
        size_t at = 0;
        while (got < 3 && at <= colour.size()) {
            size_t comma = colour.find(',', at);
            std::string part = colour.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            if (!word_to_long(part, rgb[got]) || rgb[got] < 0 || rgb[got] > 255)
                break;
            ++got;
            if (comma == std::string::npos)
                break;
            at = comma + 1;
        }
        if (got != 3 || colour.find(',', colour.find(',', colour.find(',') + 1) + 1) != std::string::npos) {
            error = std::string(s.key) + ": \"" + colour + "\" is not a colour R,G,B of 0..255";
            return false;
        }
        if (count >= kPaletteColours) {
            error = std::string(s.key) + ": a palette holds at most 1024 colours";
            return false;
        }
        p.red[count] = static_cast<uint8_t>(rgb[0]);
        p.green[count] = static_cast<uint8_t>(rgb[1]);
        p.blue[count] = static_cast<uint8_t>(rgb[2]);
        ++count;
        if (end == std::string::npos)
            break;
        i = end + 1;
    }
    p.count = count;
    return true;
}

bool set_one(const OpDescriptor& op, const OpSlot& s, const std::string& text, std::string& error)
{
    if (slot_is_palette(s.kind))
        return set_palette(s, text, error);
    if (slot_is_profile(s.kind)) {
        error = std::string(s.key) + ": a curve is given in a settings file (--settings)";
        return false;
    }
    if (slot_is_text(s.kind)) {
        char* dst = static_cast<char*>(s.var);
        if (s.text_size > 0) {
            std::snprintf(dst, static_cast<size_t>(s.text_size), "%s", text.c_str());
        }
        return true;
    }
    double v = 0;
    long l = 0;
    bool ok = s.kind == SLOT_FLOAT ? word_to_double(text, v) : word_to_long(text, l);
    if (!ok && slot_is_colour(s))
        ok = parse_colour(text, l);
    // A choice may be named ("luminance", "red and blue").
    if (!ok && s.choices) {
        std::string names = s.choices;
        long value = static_cast<long>(s.slider_min);
        for (size_t start = 0; !ok && start <= names.size(); ++value) {
            size_t bar = names.find('|', start);
            std::string name = names.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (strcasecmp(name.c_str(), text.c_str()) == 0)
                ok = true, l = value;
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
    }
    if (s.kind != SLOT_FLOAT)
        v = static_cast<double>(l);
    std::string range = number(s.typed_min) + ".." + number(s.typed_max);
    if (!ok || !std::isfinite(v)) {
        const char* what = s.kind == SLOT_FLOAT ? "a number"
                           : slot_is_colour(s) ? "a colour (R,G,B, #RRGGBB or a whole number)"
                                               : "a whole number";
        error = std::string(op.name) + ": " + s.key + " takes " + what + " in " + range + ", not \"" + text + "\"";
        return false;
    }
    if (v < s.typed_min || v > s.typed_max) {
        error = std::string(op.name) + ": " + s.key + " must lie in " + range + ", not " + text;
        return false;
    }
    slot_set(s, v);
    return true;
}

} // namespace

bool slot_is_colour(const OpSlot& s)
{
    return s.kind == SLOT_INT && s.typed_min == 0 && s.typed_max == 0xFFFFFF && s.slider_max == 0xFFFFFF;
}

OpDescriptor* op_find(const std::string& text)
{
    long number = 0;
    if (word_to_long(text, number))
        return op_by_command(static_cast<int32_t>(number));
    return op_by_name(text);
}

std::string slot_value_text(const OpSlot& s)
{
    if (!s.var)
        return "";
    if (slot_is_palette(s.kind))
        return std::to_string(static_cast<const OpPalette*>(s.var)->count) + " colours";
    if (slot_is_profile(s.kind))
        return "curve";
    if (slot_is_text(s.kind))
        return std::string("\"") + static_cast<const char*>(s.var) + "\"";
    return number(slot_get(s));
}

std::string slot_range_text(const OpSlot& s)
{
    if (slot_is_palette(s.kind))
        return std::string("palette \"") + s.name + "\" of up to 1024 colours";
    if (slot_is_profile(s.kind))
        return std::string("curve \"") + s.name + "\" of 201 values 0.." + std::to_string(s.profile_high);
    if (slot_is_text(s.kind))
        return "text";
    std::string slider = number(s.slider_min) + ".." + number(s.slider_max);
    if (s.choices) {
        std::string names = s.choices;
        for (size_t bar; (bar = names.find('|')) != std::string::npos;)
            names.replace(bar, 1, ", ");
        return slider + ": " + names;
    }
    if (slot_is_colour(s))
        return slider + ": a colour, R,G,B or #RRGGBB";
    if (s.typed_min == s.slider_min && s.typed_max == s.slider_max)
        return slider;
    return slider + ", typed " + number(s.typed_min) + ".." + number(s.typed_max);
}

namespace {

// The parameters as they were, put back when a word is refused: a caller
// that gets "false" finds the operation as it left it.
class SlotSnapshot {
public:
    explicit SlotSnapshot(const OpDescriptor& op) : op_(op)
    {
        for (const OpSlot& s : op.slots) {
            Saved v;
            if (s.used() && s.var) {
                if (slot_is_palette(s.kind))
                    v.palette = std::make_unique<OpPalette>(*static_cast<const OpPalette*>(s.var));
                else if (slot_is_text(s.kind) && s.text_size > 0)
                    v.text.assign(static_cast<const char*>(s.var), static_cast<size_t>(s.text_size));
                else if (!slot_is_profile(s.kind))
                    v.number = slot_get(s), v.has_number = true;
            }
            saved_.push_back(std::move(v));
        }
    }
    void put_back() const
    {
        for (size_t i = 0; i < saved_.size(); ++i) {
            const OpSlot& s = op_.slots[i];
            const Saved& v = saved_[i];
            if (v.palette)
                *static_cast<OpPalette*>(s.var) = *v.palette;
            else if (!v.text.empty())
                std::memcpy(s.var, v.text.data(), v.text.size());
            else if (v.has_number)
                slot_set(s, v.number);
        }
    }

private:
    struct Saved {
        std::unique_ptr<OpPalette> palette;
        std::string text;
        double number = 0;
        bool has_number = false;
    };
    const OpDescriptor& op_;
    std::vector<Saved> saved_;
};

bool set_values(const OpDescriptor& op, const std::vector<std::string>& words, std::string& error)
{
    size_t next = 0;  // the next slot a value in order goes to
    for (const std::string& w : words) {
        size_t eq = w.find('=');
        if (eq != std::string::npos && eq > 0) {
            // "amount = 20" reads as "amount=20".
            const std::string key = trimmed(w.substr(0, eq));
            const OpSlot* s = slot_by_key(op, key);
            if (!s) {
                error = std::string(op.name) + " has no parameter \"" + key + "\"";
                return false;
            }
            if (!set_one(op, *s, trimmed(w.substr(eq + 1)), error))
                return false;
            continue;
        }
        while (next < static_cast<size_t>(kOpSlots) && !(op.slots[next].used() && slot_is_value(op.slots[next].kind)))
            ++next;
        if (next >= static_cast<size_t>(kOpSlots)) {
            int n = 0;
            for (const OpSlot& s : op.slots)
                n += s.used() && slot_is_value(s.kind);
            error = std::string(op.name) + " takes " + std::to_string(n) + " value" + (n == 1 ? "" : "s") +
                    " in order; \"" + w + "\" is one too many";
            return false;
        }
        if (!set_one(op, op.slots[next++], w, error))
            return false;
    }
    return true;
}

} // namespace

bool op_set_values(const OpDescriptor& op, const std::vector<std::string>& words, std::string& error)
{
    SlotSnapshot before(op);
    if (set_values(op, words, error))
        return true;
    before.put_back();
    return false;
}

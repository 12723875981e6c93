#include "timeline/sequence_output.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "formats/gif.h"
#include "formats/load_save.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace {

// The one number conversion of a pattern: where it starts and ends, its
// width and whether it pads with zeros.  "%%" stands for "%".
struct Conversion {
    size_t at = 0, end = 0;
    int width = 0;
    bool zeros = false;
};

// -1: no conversion; 0: one; 1: more than one or one that is not %d.
int find_conversion(const std::string& p, Conversion& c)
{
    int found = -1;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%')
            continue;
        if (i + 1 < p.size() && p[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        Conversion k;
        k.at = i;
        if (j < p.size() && p[j] == '0') {
            k.zeros = true;
            ++j;
        }
        while (j < p.size() && p[j] >= '0' && p[j] <= '9' && k.width < 100)
            k.width = k.width * 10 + (p[j++] - '0');
        if (j >= p.size() || (p[j] != 'd' && p[j] != 'i') || k.width > 12 || found == 0)
            return 1;
        k.end = j + 1;
        c = k;
        found = 0;
        i = j;
    }
    return found;
}

std::string unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%')
            ++i;
    }
    return out;
}

// The save type whose files carry the extension, -1 when none.
long type_for_extension(const char* ext)
{
    if (!*ext)
        return -1;
    static const struct {
        const char* ext;
        long type;
    } kAliases[] = {{".jpeg", FMT_JPG}, {".tiff", FMT_TIFF}, {".dib", FMT_BMP}, {".ilbm", FMT_IFF}};
    for (const auto& a : kAliases)
        if (strcasecmp(ext, a.ext) == 0)
            return a.type;
    int count = 0;
    const Codec* rows = codec_rows(&count);
    for (int i = 0; i < count; ++i)
        if (rows[i].save_type >= 0 && rows[i].write && strcasecmp(rows[i].extension, ext) == 0)
            return rows[i].save_type;
    return -1;
}

// Makes the folders of a file's path that are missing.  0, else after
// telling the user which folder could not be made and why.
int make_folders(const std::string& file)
{
    size_t slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return 0;
    std::string folder = file.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/')
            continue;
        std::string part = folder.substr(0, i);
        int err = 0;
        if (::stat(part.c_str(), &st) == 0)
            err = S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        else if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            err = errno;
        if (err) {
            std::string text = "Could not make the folder \"" + part + "\" for the sequence: " + std::strerror(err);
            error_box(text.c_str());
            return 1;
        }
    }
    return 0;
}

int frame_delay(const SequenceOutput& out)
{
    if (out.delay >= 0)
        return std::min(out.delay, 9999);
    long ms = settings().film_speed > 0 ? settings().film_speed : 70;
    return static_cast<int>(std::clamp((ms + 5) / 10, 1L, 9999L));
}

// The sequence save settings stand in for the save settings while a frame is written.
class SaveSettingsSwap {
public:
    SaveSettingsSwap(long type, long depth, long compress, long quality)
    {
        Settings& s = settings();
        type_ = s.save_type;
        depth_ = s.save_depth;
        compress_ = s.save_compress;
        quality_ = s.jpeg_quality;
        s.save_type = type;
        s.save_depth = depth;
        s.save_compress = compress;
        s.jpeg_quality = quality;
    }
    ~SaveSettingsSwap()
    {
        Settings& s = settings();
        s.save_type = type_;
        s.save_depth = depth_;
        s.save_compress = compress_;
        s.jpeg_quality = quality_;
    }
    SaveSettingsSwap(const SaveSettingsSwap&) = delete;
    SaveSettingsSwap& operator=(const SaveSettingsSwap&) = delete;

private:
    long type_, depth_, compress_, quality_;
};

// One numbered image file per frame, through the save entry.
class NumberedWriter : public SequenceWriter {
public:
    explicit NumberedWriter(const SequenceOutput& out) : out_(out) {}
    int frame(Image* image, long, long frame) override
    {
        std::string name = sequence_output_file(out_, frame + 1);
        if (name.empty() || name.size() + 1 >= static_cast<size_t>(kImagePathMax)) {
            std::string text = "The sequence file name \"" + name + "\" is too long.";
            error_box(text.c_str());
            return 1;
        }
        if (make_folders(name) != 0)
            return 1;
        const Settings& s = settings();
        long depth = out_.depth >= 0 ? out_.depth : out_.depth == -2 ? (image->alpha ? 0 : 2) : s.seq_depth;
        SaveSettingsSwap swap(type(), depth, out_.compress >= 0 ? out_.compress : s.seq_compress,
                              out_.quality >= 0 ? out_.quality : s.seq_quality);
        char buffer[kImagePathMax];
        std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
        if (SaveImageFile(image, buffer) != 0)
            return 1;
        written_ = buffer;
        return 0;
    }
    int finish(bool) override { return 0; }

private:
    long type() const { return out_.type >= 0 ? out_.type : settings().seq_type; }
    SequenceOutput out_;
};

// One FLC file: each frame is saved at the frame position it takes.
class FlicWriter : public SequenceWriter {
public:
    explicit FlicWriter(const SequenceOutput& out) : out_(out) {}
    int frame(Image* image, long index, long) override
    {
        if (index == 0 && make_folders(out_.name) != 0)
            return 1;
        formats_set_frame_position(index);
        SaveSettingsSwap swap(FMT_FLC, settings().seq_depth, settings().seq_compress, settings().seq_quality);
        char buffer[kImagePathMax];
        std::snprintf(buffer, sizeof buffer, "%s", out_.name.c_str());
        int rc = SaveImageFile(image, buffer);
        formats_set_frame_position(0);
        if (rc != 0)
            return 1;
        written_ = buffer;
        return 0;
    }
    int finish(bool) override { return 0; }

private:
    SequenceOutput out_;
};

// A GIF animation opened with the first frame's size.
class GifWriter : public SequenceWriter {
public:
    explicit GifWriter(const SequenceOutput& out) : out_(out) {}
    ~GifWriter() override
    {
        if (open_)
            gif_animation_abandon();
    }
    int frame(Image* image, long index, long) override
    {
        if (!open_) {
            if (make_folders(out_.name) != 0)
                return 1;
            GifAnimationOptions o;
            o.delay = frame_delay(out_);
            o.loop = out_.loop;
            if (gif_animation_open(out_.name.c_str(), image->width, image->height, o) != 0)
                return 1;
            open_ = true;
        }
        if (WriteGifFrame(image, index) != 0)
            return 1;
        frames_ += 1;
        return 0;
    }
    int finish(bool) override
    {
        if (!open_)
            return 0;
        open_ = false;
        // The frames written so far make the animation, also after a stop.
        if (frames_ == 0) {
            gif_animation_abandon();
            return 0;
        }
        if (CloseGifAnimation() != 0)
            return 1;
        written_ = out_.name;
        return 0;
    }

private:
    SequenceOutput out_;
    bool open_ = false;
    long frames_ = 0;
};

} // namespace

std::string sequence_frame_name(const std::string& pattern, long number)
{
    Conversion c;
    if (find_conversion(pattern, c) != 0)
        return "";
    std::string digits = std::to_string(std::max(0L, number));
    if (static_cast<int>(digits.size()) < c.width)
        digits.insert(0, static_cast<size_t>(c.width) - digits.size(), c.zeros ? '0' : ' ');
    return unescape(pattern.substr(0, c.at)) + digits + unescape(pattern.substr(c.end));
}

bool sequence_output_parse(const std::string& name, SequenceOutput& out, std::string& error)
{
    out = SequenceOutput{};
    out.name = name;
    Conversion c;
    int conv = find_conversion(name, c);
    if (conv == 1) {
        error = "\"" + name + "\" must hold one number conversion such as %04d, and no other";
        return false;
    }
    const char* ext = file_extension(name.c_str());
    if (conv == 0) {
        out.kind = SequenceOutputKind::Numbered;
        out.type = type_for_extension(ext);
        return true;
    }
    static const struct {
        const char* ext;
        SequenceOutputKind kind;
    } kAnimations[] = {{".gif", SequenceOutputKind::Gif},  {".mng", SequenceOutputKind::Mng},
                       {".flc", SequenceOutputKind::Flic}, {".avi", SequenceOutputKind::Avi},
                       {".flm", SequenceOutputKind::Film}};
    for (const auto& a : kAnimations)
        if (strcasecmp(ext, a.ext) == 0) {
            out.kind = a.kind;
            return true;
        }
    error = "\"" + name +
            "\" is neither a numbered pattern (out/f%04d.png) nor an animation (.gif, .mng, .flc, .avi) or film "
            "(.flm) file";
    return false;
}

std::string sequence_output_file(const SequenceOutput& out, long number)
{
    if (out.kind != SequenceOutputKind::Numbered)
        return out.name;
    std::string name = sequence_frame_name(out.name, number);
    long type = out.type >= 0 ? out.type : settings().seq_type;
    // The save entry gives the name its type's extension when it lacks it.
    if (const Codec* c = codec_for_save_type(static_cast<int>(type)); c && !name.empty()) {
        char buffer[kImagePathMax];
        if (name.size() + std::strlen(c->extension) < sizeof buffer) {
            std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
            EnsureExtension(buffer, sizeof buffer, c->extension);
            name = buffer;
        }
    }
    return name;
}

SequenceOutput sequence_output_from_settings()
{
    SequenceOutput out;
    const Settings& s = settings();
    if (!s.save_result)
        return out;
    std::string folder = s.out_path;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    std::string base = folder + (s.out_name.empty() ? std::string("frame") : s.out_name);
    out.type = s.seq_type;
    switch (s.seq_type) {
    case FMT_FLC: out.kind = SequenceOutputKind::Flic; out.name = base + ".flc"; return out;
    case FMT_AVI: out.kind = SequenceOutputKind::Avi; out.name = base + ".avi"; return out;
    case FMT_MNG_ANIM: out.kind = SequenceOutputKind::Mng; out.name = base + ".mng"; return out;
    case FMT_GIF_ANIM: out.kind = SequenceOutputKind::Gif; out.name = base + ".gif"; return out;
    default: break;
    }
    if (s.seq_type == FMT_GIF && s.pref(PREF_TIMELINE_GIF_ANIMATED)) {
        out.kind = SequenceOutputKind::Gif;
        out.name = base + ".gif";
        return out;
    }
    out.kind = SequenceOutputKind::Numbered;
    std::string ext = s.out_extn.empty() ? std::string("bmp") : s.out_extn;
    if (const Codec* c = codec_for_save_type(static_cast<int>(s.seq_type)))
        ext = c->extension + 1;
    // A "%" in the folder or the name stands for itself.
    std::string escaped;
    for (char ch : base) {
        escaped += ch;
        if (ch == '%')
            escaped += '%';
    }
    out.name = escaped + "%04d." + ext;
    return out;
}

std::unique_ptr<SequenceWriter> sequence_writer(const SequenceOutput& out, long count)
{
    (void)count;
    switch (out.kind) {
    case SequenceOutputKind::None: return nullptr;
    case SequenceOutputKind::Numbered:
        if (sequence_frame_name(out.name, 1).empty()) {
            std::string text = "\"" + out.name + "\" has no frame number in it.";
            error_box(text.c_str());
            return nullptr;
        }
        return std::make_unique<NumberedWriter>(out);
    case SequenceOutputKind::Flic: return std::make_unique<FlicWriter>(out);
    case SequenceOutputKind::Gif: return std::make_unique<GifWriter>(out);
    case SequenceOutputKind::Mng:
    case SequenceOutputKind::Avi:
    case SequenceOutputKind::Film: break;
    }
    std::string text = "\"" + out.name + "\": this system cannot write that kind of sequence yet.";
    error_box(text.c_str());
    return nullptr;
}

int sequence_film_place(Image* image, long frame, bool always)
{
    (void)image;
    (void)frame;
    (void)always;
    return 0;
}

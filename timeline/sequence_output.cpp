#include "timeline/sequence_output.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/avi.h"
#include "formats/codecs.h"
#include "formats/film.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "formats/mng.h"
#include "timeline/timeline.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
        SaveSettingsScope swap(type(), depth, out_.compress >= 0 ? out_.compress : s.seq_compress,
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
        SaveSettingsScope swap(FMT_FLC, settings().seq_depth, settings().seq_compress, settings().seq_quality);
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

// The folder of a file must take new files: checked at the first frame, so
// that a run whose output can only be written at the end fails early.
int check_writable_folder(const std::string& file)
{
    if (make_folders(file) != 0)
        return 1;
    size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : file.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0) {
        std::string text = "Cannot write \"" + file + "\": " + std::strerror(errno);
        error_box(text.c_str());
        return 1;
    }
    return 0;
}

// Writers that need the frame count before the first frame (MNG, film
// files) keep the frames in a temporary file until the run ends, so that a
// run stopped early still gets a file of the frames made.
class SpooledWriter : public SequenceWriter {
public:
    explicit SpooledWriter(const SequenceOutput& out) : out_(out) {}
    ~SpooledWriter() override
    {
        if (spool_)
            std::fclose(spool_);
    }
    SpooledWriter(const SpooledWriter&) = delete;
    SpooledWriter& operator=(const SpooledWriter&) = delete;

    int frame(Image* image, long, long) override
    {
        if (!spool_) {
            if (check_writable_folder(out_.name) != 0)
                return 1;
            spool_ = std::tmpfile();
            if (!spool_) {
                std::string text = "Cannot make a temporary file for the frames of \"" + out_.name + "\": " +
                                   std::strerror(errno);
                error_box(text.c_str());
                return 1;
            }
            width_ = image->width;
            height_ = image->height;
            hres_[0] = image->hres_num, hres_[1] = image->hres_den;
            vres_[0] = image->vres_num, vres_[1] = image->vres_den;
        }
        if (image->width != width_ || image->height != height_) {
            message_show(msg::DifferentSizedFrame, out_.name.c_str());
            return 1;
        }
        ImageLock lock(image, msg::NoRealMemoryOperation);
        if (!lock)
            return 1;
        alpha_.push_back(image->alpha);
        const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
        if (std::fwrite(image->pixels, 1, n, spool_) != n) {
            message_show(msg::ProblemWriting, "(the temporary file of the frames)");
            return 1;
        }
        count_ += 1;
        return 0;
    }
    int finish(bool) override
    {
        if (!spool_ || count_ == 0)
            return 0;
        if (std::fflush(spool_) != 0 || std::fseek(spool_, 0, SEEK_SET) != 0) {
            message_show(msg::ProblemWriting, "(the temporary file of the frames)");
            return 1;
        }
        Image* img = image_new(width_, height_, "iseq");
        if (!img) {
            message_show(msg::NoMemoryNewImage);
            return 1;
        }
        int rc = open_output(count_);
        const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
        for (long i = 0; i < count_ && rc == 0; ++i) {
            ImageLock lock(img, msg::NoRealMemoryOperation);
            if (!lock || std::fread(img->pixels, 1, n, spool_) != n) {
                if (lock)
                    message_show(msg::ProblemWriting, "(the temporary file of the frames)");
                rc = 1;
                break;
            }
            img->alpha = alpha_[static_cast<size_t>(i)];
            img->hres_num = hres_[0], img->hres_den = hres_[1];
            img->vres_num = vres_[0], img->vres_den = vres_[1];
            lock.release();
            rc = write_frame(img, i);
        }
        if (rc == 0)
            rc = close_output();
        else
            abandon_output();
        image_free(img);
        std::fclose(spool_);
        spool_ = nullptr;
        if (rc == 0)
            written_ = out_.name;
        return rc;
    }

protected:
    virtual int open_output(long count) = 0;
    virtual int write_frame(Image* image, long index) = 0;
    virtual int close_output() = 0;
    virtual void abandon_output() = 0;
    long width() const { return width_; }
    long height() const { return height_; }

    SequenceOutput out_;

private:
    FILE* spool_ = nullptr;
    long width_ = 0, height_ = 0, count_ = 0;
    decltype(Image::hres_num) hres_[2] = {}, vres_[2] = {};
    std::vector<decltype(Image::alpha)> alpha_;
};

// An MNG animation of 8-bit indexed frames.
class MngWriter : public SpooledWriter {
public:
    using SpooledWriter::SpooledWriter;
    ~MngWriter() override { abandon_output(); }

protected:
    int open_output(long count) override
    {
        // MNG counts ticks of 1/50 s.
        if (OpenMngAnimation(count, width(), height(), out_.name.c_str(), (frame_delay(out_) + 1) / 2, out_.loop ? 1 : 0,
                             nullptr) != 0) {
            note("Unable to open MNG animation");
            return 1;
        }
        return 0;
    }
    int write_frame(Image* image, long index) override
    {
        // The last frame writes the file.
        if (WriteMngFrame(image, index) != 0) {
            note("Unable to write MNG animation frame");
            return 1;
        }
        return 0;
    }
    int close_output() override { return 0; }
    void abandon_output() override
    {
        if (mng_animation_open())
            CloseMngAnimation();
    }
};

// A film file: the frames placed into a film of their size (at most the
// film file's largest side, proportions kept), then saved.
class FilmWriter : public SpooledWriter {
public:
    using SpooledWriter::SpooledWriter;

protected:
    int open_output(long count) override
    {
        if (count > kFilmMaxFrames) {
            std::string text = "\"" + out_.name + "\": a film file holds at most " + std::to_string(kFilmMaxFrames) +
                               " frames.";
            error_box(text.c_str());
            return 1;
        }
        long w = width(), h = height();
        if (w > kFilmMaxSide || h > kFilmMaxSide) {
            if (w >= h) {
                h = std::max(1L, h * kFilmMaxSide / w);
                w = kFilmMaxSide;
            } else {
                w = std::max(1L, w * kFilmMaxSide / h);
                h = kFilmMaxSide;
            }
        }
        return film_create(count, w, h);
    }
    int write_frame(Image* image, long index) override { return PlaceFrame(image, index); }
    int close_output() override { return SaveFilm(out_.name.c_str()); }
    void abandon_output() override {}
};

// An AVI file, written as the frames come: a stop keeps those written.
class AviSequenceWriter : public SequenceWriter {
public:
    explicit AviSequenceWriter(const SequenceOutput& out) : out_(out) {}
    int frame(Image* image, long, long) override
    {
        if (!open_) {
            if (check_writable_folder(out_.name) != 0)
                return 1;
            // A delay of 0 plays as fast as a player can: 100 frames a second.
            if (writer_.open(out_.name.c_str(), image->width, image->height, 100, std::max(frame_delay(out_), 1),
                             out_.compress > 0) != 0)
                return 1;
            open_ = true;
            width_ = image->width;
            height_ = image->height;
        }
        if (image->width != width_ || image->height != height_) {
            message_show(msg::DifferentSizedFrame, out_.name.c_str());
            return 1;
        }
        ImageLock lock(image, msg::NoRealMemoryOperation);
        if (!lock || writer_.write(image) != 0)
            return 1;
        frames_ += 1;
        return 0;
    }
    int finish(bool) override
    {
        // Without a frame the writer gives the file up when it goes.
        if (!open_ || frames_ == 0)
            return 0;
        open_ = false;
        if (writer_.finish() != 0)
            return 1;
        written_ = out_.name;
        return 0;
    }

private:
    SequenceOutput out_;
    AviWriter writer_;
    bool open_ = false;
    long width_ = 0, height_ = 0, frames_ = 0;
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
    case FMT_AVI:  // "SeqCompress" 1: MJPEG frames
        out.kind = SequenceOutputKind::Avi;
        out.name = base + ".avi";
        out.compress = s.seq_compress;
        return out;
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
    case SequenceOutputKind::Mng: return std::make_unique<MngWriter>(out);
    case SequenceOutputKind::Avi: return std::make_unique<AviSequenceWriter>(out);
    case SequenceOutputKind::Film: return std::make_unique<FilmWriter>(out);
    }
    return nullptr;
}

int sequence_film_place(Image* image, long frame, bool always)
{
    FilmState& film = film_state();
    if (!always && !film.changed)
        return 0;
    if (!film.slots || film.frames < 1) {
        // No film yet: one of the timeline's length at the size the film
        // window last used, else the frame's own size within a film's limits.
        const Settings& s = settings();
        long w = s.film_size[0] > 0 ? s.film_size[0] : std::min<long>(image->width, kFilmMaxSide);
        long h = s.film_size[1] > 0 ? s.film_size[1] : std::min<long>(image->height, kFilmMaxSide);
        if (film_create(std::clamp<long>(timeline().frames, 1, kFilmMaxFrames), std::clamp(w, 1L, kFilmMaxSide),
                        std::clamp(h, 1L, kFilmMaxSide)) != 0)
            return 1;
    }
    // The window shows the frame just made (placing tells it).
    if (frame >= 0 && frame < film.frames)
        film.current = frame;
    if (PlaceFrame(image, frame) != 0)
        return 1;
    return 0;
}

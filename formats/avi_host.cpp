// The host side of vqavi.so: finding the library, and the AVI reader and
// writer of the load and save entries and of the film strip on top of it.
#include "formats/avi.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "formats/codec_io.h"
#include "core/settings.h"
#include "formats/extlib/vqavi.h"
#include "formats/film.h"
#include "formats/load_save.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

constexpr int kErrorSize = 400;

// What FFmpeg's run-time libraries are called in Debian: libavformat.so.59
// comes with the package libavformat59.
std::string missing_package(const char* why)
{
    std::string text = why ? why : "";
    size_t at = text.find("libav");
    if (at == std::string::npos)
        at = text.find("libsw");
    if (at != std::string::npos) {
        size_t so = text.find(".so.", at);
        if (so != std::string::npos) {
            size_t end = so + 4;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                ++end;
            return text.substr(at, so - at) + text.substr(so + 4, end - so - 4);
        }
    }
    return "";
}

// The library stays loaded once found: FFmpeg keeps state of its own.
struct Library {
    void* handle = nullptr;
    const VqAviApi* api = nullptr;
};
Library g_library;

void tell(const char* name, const char* what)
{
    std::string text = std::string("AVI file ") + name + ": " + what;
    note(text.c_str());
}

} // namespace

void avi_library_forget()
{
    g_library = Library{};
}

const VqAviApi* avi_library()
{
    if (g_library.api)
        return g_library.api;
    std::string path = loader_library_path("VQAVI.DLL");
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        log_printf("Library %s: %s\n", path.c_str(), why ? why : "");
        std::string package = missing_package(why);
        std::string text = path + "\n";
        if (access(path.c_str(), F_OK) != 0)
            text += "AVI files need the video library vqavi.so, built with FFmpeg's libraries (Debian packages "
                    "libavformat-dev, libavcodec-dev and libswscale-dev).";
        else
            text += "AVI files need FFmpeg's libraries: install the Debian package" +
                    (package.empty() ? std::string("s of libavformat, libavcodec and libswscale (ffmpeg)")
                                     : " " + package) +
                    ".";
        message_show(msg::LoaderNotFound, text.c_str());
        return nullptr;
    }
    auto entry = reinterpret_cast<VqAviInterface>(dlsym(handle, "AviInterface"));
    const VqAviApi* api = entry ? entry() : nullptr;
    if (!api || api->version != kVqAviVersion) {
        dlclose(handle);
        message_show(msg::LoaderCorrupted, path.c_str());
        return nullptr;
    }
    g_library.handle = handle;
    g_library.api = api;
    return api;
}

// ---- reading ----------------------------------------------------------------

AviReader::~AviReader()
{
    if (reader_)
        api_->close_read(reader_);
}

int AviReader::open(const char* name)
{
    name_ = name;
    api_ = avi_library();
    if (!api_)
        return 1;
    VqAviInfo info{};
    char error[kErrorSize] = {};
    reader_ = api_->open_read(name, &info, error, sizeof error);
    if (!reader_) {
        tell(name, error);
        return 1;
    }
    width_ = info.width;
    height_ = info.height;
    frames_ = info.frames;
    rate_num_ = info.rate_num;
    rate_den_ = info.rate_den;
    log_printf("AVI %s: %ld x %ld, %ld frames, %d/%d frames a second, %s\n", name, width_, height_, frames_,
               rate_num_, rate_den_, info.codec);
    return 0;
}

int AviReader::next(Image* into)
{
    if (!reader_ || !into || !into->pixels || static_cast<long>(into->width) != width_ || into->height != height_)
        return -1;
    char error[kErrorSize] = {};
    // The image's rows are contiguous from row 0.
    int rc = api_->read_next(reader_, into->pixels, error, sizeof error);
    if (rc < 0)
        tell(name_, error);
    return rc;
}

Image* ReadAvi(const LoadRequest& request)
{
    log_printf("Reading \"%s\" as an AVI file\n", request.name);
    AviReader reader;
    if (reader.open(request.name) != 0)
        return nullptr;
    long index = film_choose_frame(reader.frames(), reader.seconds_per_frame());
    if (index < 0)
        return nullptr;
    Image* image = codec_io::new_image(reader.width(), reader.height(), "iavi", request.name);
    if (!image)
        return nullptr;
    long decoded = 0;
    progress_open("Loading AVI", index + 1);
    for (long i = 0; i <= index; ++i) {
        int rc = reader.next(image);
        if (rc < 0 || (rc == 0 && decoded == 0)) {
            progress_close();
            if (rc == 0)
                tell(request.name, "the file holds no frame");
            image_unlock(image);
            image_free(image);
            return nullptr;
        }
        if (rc == 0)
            break;  // beyond the last frame: the last
        ++decoded;
        progress_update(i + 1);
    }
    progress_close();
    image->bits = 24;
    image->frame_number = static_cast<int32_t>(decoded);
    image->frame_count = static_cast<int32_t>(reader.frames() > 0 ? reader.frames() : decoded);
    double seconds = reader.seconds_per_frame();
    if (seconds > 0 && seconds < 60)
        image->frame_timing[1] = static_cast<uint16_t>(seconds * 1000 + 0.5);
    std::snprintf(image->type_name, sizeof image->type_name, "AVI");
    image_unlock(image);
    return image;
}

int avi_info(const LoadRequest& request, ImageInfo* info)
{
    AviReader reader;
    if (reader.open(request.name) != 0)
        return 1;
    info->width = reader.width();
    info->height = reader.height();
    info->bits = 24;
    info->frames = reader.frames();
    return 0;
}

// ---- writing ----------------------------------------------------------------

AviWriter::~AviWriter()
{
    if (writer_) {
        char error[kErrorSize] = {};
        api_->close_write(writer_, 0, error, sizeof error);
    }
    rgba_ = mem_free_t(rgba_);
    delete out_;
}

int AviWriter::open(const char* name, long width, long height, int rate_num, int rate_den, bool mjpeg)
{
    api_ = avi_library();
    if (!api_)
        return 1;
    width_ = width;
    height_ = height;
    rgba_ = static_cast<uint8_t*>(mem_alloc(width * height * 4, "aviw"));
    if (!rgba_) {
        message_show(msg::NoMemoryOperation, name);
        return 1;
    }
    out_ = new SafeWrite(name);
    char error[kErrorSize] = {};
    writer_ = api_->open_write(out_->temp_path(), width, height, rate_num, rate_den, mjpeg ? 1 : 0, error,
                               sizeof error);
    if (!writer_) {
        tell(name, error);
        return 1;
    }
    return 0;
}

int AviWriter::write(Image* image)
{
    if (!writer_ || !image->pixels || static_cast<long>(image->width) != width_ || image->height != height_)
        return 1;
    for (long y = 0; y < height_; ++y)
        std::memcpy(rgba_ + y * width_ * 4, image->row(static_cast<int>(y)), static_cast<size_t>(width_) * 4);
    char error[kErrorSize] = {};
    if (api_->write_frame(writer_, rgba_, error, sizeof error) != 0) {
        tell(out_->target(), error);
        return 1;
    }
    return 0;
}

int AviWriter::finish()
{
    if (!writer_)
        return 1;
    char error[kErrorSize] = {};
    int rc = api_->close_write(writer_, 1, error, sizeof error);
    writer_ = nullptr;
    if (rc != 0) {
        tell(out_->target(), error);
        return 1;
    }
    return safe_write_commit(*out_, msg::ProblemWriting);
}

int write_avi(Image* image, const char* name, const SaveRequest& request)
{
    ImageLock lock(image, msg::NoRealMemoryImage, name);
    if (!lock)
        return 1;
    // One frame, shown for the film's frame time.
    long ms = settings().film_speed > 0 ? settings().film_speed : 70;
    AviWriter writer;
    if (writer.open(name, image->width, image->height, 1000, static_cast<int>(ms), request.compress == 1) != 0)
        return 1;
    if (writer.write(image) != 0)
        return 1;
    return writer.finish();
}

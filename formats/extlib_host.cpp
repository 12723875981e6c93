// The host side of the separately loaded loader and saver libraries.
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/extlib/vqext.h"
#include "formats/load_save.h"
#include "core/platform.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// What one library call has made, so that nothing it leaves is lost.
struct CallState {
    std::vector<Image*> made;
    int meters = 0;
};
CallState* g_call = nullptr;

std::string program_folder()
{
    if (const char* dir = std::getenv("GLIMVQ_LIB_DIR"); dir && *dir)
        return dir;
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    std::string s(path);
    size_t slash = s.rfind('/');
    return slash == std::string::npos ? "." : s.substr(0, slash);
}

// "VQLDJPEG.DLL" is the file vqldjpeg.so beside the programs.
std::string library_path(const char* library)
{
    std::string base = library;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos)
        base.resize(dot);
    for (char& c : base)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return program_folder() + "/" + base + ".so";
}

void cb_begin(const char* caption, long total)
{
    progress_open(caption ? caption : "", total);
    if (g_call)
        g_call->meters += 1;
}
int cb_step(long position)
{
    return progress_update(position) ? 1 : 0;
}
int cb_percent(int percent)
{
    return progress_update(progress_state().total * percent / 100) ? 1 : 0;
}
void cb_end()
{
    if (g_call && g_call->meters > 0) {
        g_call->meters -= 1;
        progress_close();
    }
}
Image* cb_new_image(long width, long height, const char* label)
{
    Image* image = codec_new_image(width, height, label ? label : "dllI");
    if (!image)
        return nullptr;
    // The library gets the image locked; the host unlocks it after the call.
    ImageLock lock(image);
    if (!lock) {
        lock.release();
        image_free(image);
        return nullptr;
    }
    if (g_call)
        g_call->made.push_back(image);
    return lock.keep();
}
void* cb_alloc(long size, const char* label)
{
    return mem_alloc(size, label ? label : "dllm");
}
void* cb_free(void* block)
{
    return block ? mem_free(block) : nullptr;
}
void cb_message(int number, int, const char* text)
{
    if (messages_quiet()) {
        ui::platform().beep();
        return;
    }
    if (number > 0)
        message_show(number, text);
    else
        note(text ? text : "");
}

struct Library {
    void* handle = nullptr;
    ~Library()
    {
        if (handle)
            dlclose(handle);
    }
};

// Opens the library and finds its export in either spelling; reports and
// returns null when it cannot.
void* find_export(Library& lib, const char* library, const char* name, const char* upper)
{
    std::string path = library_path(library);
    lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
        log_printf("Library %s: %s\n", path.c_str(), dlerror());
        message_show(msg::LoaderNotFound, path.c_str());
        return nullptr;
    }
    void* fn = dlsym(lib.handle, name);
    if (!fn)
        fn = dlsym(lib.handle, upper);
    if (!fn)
        message_show(msg::LoaderCorrupted, path.c_str());
    return fn;
}

// Ends what a library call left open: meters, images it made and did not return.
void end_call(CallState& call, Image* kept)
{
    while (call.meters > 0) {
        call.meters -= 1;
        progress_close();
    }
    for (Image* image : call.made) {
        if (image != kept && image_store_contains(image)) {
            while (image->locks > 0)
                image_unlock(image);
            image_free(image);
        }
    }
    g_call = nullptr;
}

} // namespace

std::string loader_library_path(const char* library)
{
    return library_path(library);
}

Image* LoadViaDll(const char* name, const char* library)
{
    Library lib;
    auto load = reinterpret_cast<VqImageLoad>(find_export(lib, library, "ImageLoad", "IMAGELOAD"));
    if (!load)
        return nullptr;
    CallState call;
    g_call = &call;
    Image* image = load(name, nullptr, nullptr, cb_begin, cb_step, cb_percent, cb_end, cb_new_image, cb_alloc,
                        cb_free, cb_message);
    if (image && !image_store_contains(image))
        image = nullptr;
    end_call(call, image);
    if (image)
        image_unlock(image);
    return image;
}

int SaveViaDll(Image* image, const char* name, const char* library, long parameter)
{
    Library lib;
    auto save = reinterpret_cast<VqImageSave>(find_export(lib, library, "ImageSave", "IMAGESAVE"));
    if (!save)
        return 1;
    ImageLock lock(image);
    if (!lock) {
        note("No real memory for image");
        return 1;
    }
    CallState call;
    g_call = &call;
    int rc = save(name, image, nullptr, nullptr, parameter, cb_begin, cb_step, cb_percent, cb_end, cb_alloc, cb_free,
                  cb_message);
    end_call(call, nullptr);
    return rc;
}

int InfoViaDll(const char* name, const char* library, ImageInfo* info)
{
    Library lib;
    auto read = reinterpret_cast<VqImageInfoRead>(find_export(lib, library, "ImageInfo", "IMAGEINFO"));
    if (!read)
        return 1;
    VqImageInfo got{};
    if (read(name, &got, cb_message) != 0)
        return 1;
    info->width = got.width;
    info->height = got.height;
    info->bits = got.bits;
    info->alpha = got.alpha != 0;
    info->hres = got.hres;
    info->vres = got.vres;
    return 0;
}

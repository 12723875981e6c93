// The script editor's rules for reading and saving script files: what the
// "EDITOR" dialog refuses and how it reports it.
#include "script/script.h"

#include "core/mem.h"
#include "core/platform.h"
#include "core/safe_write.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr long kEditBuffer = 128000;
constexpr long kReadLimit = 65000;

int edit_error(const char* text)
{
    ui::platform().message_box("Edit Error", text, ui::BoxIcon::Stop);
    return 1;
}

} // namespace

int script_editor_load(const std::string& path, std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::string message = "Failed to open " + path;
        return edit_error(message.c_str());
    }
    long size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || size >= kScriptEditLimit) {
        std::fclose(f);
        return edit_error("Script larger than 64k!");
    }
    std::rewind(f);
    auto* buffer = static_cast<char*>(mem_alloc(kEditBuffer, "editbuffer"));
    if (!buffer) {
        std::fclose(f);
        return edit_error("Memory Shortage");
    }
    size_t got = std::fread(buffer, 1, static_cast<size_t>(kReadLimit), f);
    std::fclose(f);
    buffer[got] = 0;
    text.assign(buffer, got);
    buffer = mem_free_t(buffer);
    return 0;
}

std::string script_editor_choose(const std::string& suggested)
{
    return ui::platform().choose_file(false, "Load Script File", "*.GXS", suggested);
}

int script_editor_save(std::string& path, const std::string& text)
{
    if (text.empty())
        return edit_error("Script contains no information");
    std::string name = path;
    if (name.empty()) {
        name = ui::platform().choose_file(true, "Save Script File", "*.GXS", "");
        if (name.empty())
            return 1;
        // The default extension.
        size_t slash = name.find_last_of('/');
        size_t dot = name.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            name += ".GXS";
    }
    // The old file is replaced only by a whole new one.
    SafeWrite out(name.c_str());
    FILE* f = out.open("wb");
    if (!f)
        return edit_error("Cannot open file for write!");
    size_t put = std::fwrite(text.data(), 1, text.size(), f);
    if (put != text.size() || out.commit() != 0)
        return edit_error("Could not save file!");
    path = name;
    return 0;
}

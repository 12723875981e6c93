#include "timeline/project.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "formats/load_save.h"
#include "ops/framework.h"
#include "ops/op_settings.h"
#include "timeline/timeline.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* kRoleWords[] = {"TARGET", "SOURCE", "BRUSH", "IMAGE", "TIMELINE"};

// The project lines met while the settings reader goes through a project.
std::vector<std::pair<std::string, std::string>>* g_entries = nullptr;

void collect(const char* line)
{
    if (!g_entries)
        return;
    std::string s = line;
    for (const char* word : kRoleWords) {
        size_t n = std::strlen(word);
        if (s.compare(0, n, word) != 0)
            continue;
        size_t at = s.find_first_not_of(" \t", n);
        std::string path = at == std::string::npos ? std::string() : s.substr(at);
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t'))
            path.pop_back();
        if (!path.empty())
            g_entries->emplace_back(word, path);
        return;
    }
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool has_file(const Image* image)
{
    return image && image->path[0] && !image->is_layer;
}

// The settings lines of the current operation, as its settings file holds
// them after the header.
bool operation_lines(const std::string& near, std::string& out)
{
    if (!op_state().current)
        return true;
    std::string temp = near + ".ops" + std::to_string(getpid());
    if (save_op_settings(temp.c_str()) != 0)
        return false;
    FILE* f = std::fopen(temp.c_str(), "rb");
    bool ok = f != nullptr;
    if (f) {
        char buf[8192];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    std::remove(temp.c_str());
    size_t body = out.find("\n\n");
    out = body == std::string::npos ? std::string() : out.substr(body + 2);
    return ok;
}

} // namespace

int project_save(const char* path)
{
    if (!path || !*path) {
        message_show(msg::CannotCreateRequested, path);
        return 1;
    }
    std::string target = path;
    std::string settings;
    if (!operation_lines(target, settings))
        return 1;  // reported by the settings writer
    SafeWrite out(path);
    FILE* f = out.open("w");
    if (!f) {
        message_show_file(msg::CannotCreateRequested, path);
        return 1;
    }
    std::fprintf(f, "VQPROJ Glimmerix:V/q File\n\n");
    Image* roles[3] = {image_role(ImageRole::Target), image_role(ImageRole::Source), image_role(ImageRole::Brush)};
    for (int r = 0; r < 3; ++r)
        if (has_file(roles[r]))
            std::fprintf(f, "%s %s\n", kRoleWords[r], roles[r]->path);
    for (Image* image : image_store().slots) {
        if (!has_file(image) || image == roles[0] || image == roles[1] || image == roles[2])
            continue;
        std::fprintf(f, "IMAGE %s\n", image->path);
    }
    if (!timeline().path.empty())
        std::fprintf(f, "TIMELINE %s\n", timeline().path.c_str());
    std::fputs(settings.c_str(), f);
    if (std::ferror(f) || out.commit() != 0) {
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    return 0;
}

int project_load(const char* path, Image* (*open)(const char* path))
{
    std::vector<std::pair<std::string, std::string>> entries;
    g_entries = &entries;
    op_settings_set_project_reader(collect);
    int status = load_op_settings(path);
    op_settings_set_project_reader(nullptr);
    g_entries = nullptr;
    if (status != 0)
        return 1;

    const std::string folder = folder_of(path);
    std::vector<std::pair<std::string, Image*>> opened;
    for (const auto& [word, name] : entries) {
        std::string file = name[0] == '/' ? name : folder + name;
        if (word == "TIMELINE") {
            status |= timeline_load(file.c_str());
            continue;
        }
        Image* image = nullptr;
        for (const auto& [p, img] : opened)
            if (p == file && image_store_contains(img))
                image = img;
        if (!image) {
            image = open ? open(file.c_str()) : load_image(file.c_str());
            if (!image) {
                status = 1;  // the loader has said why
                continue;
            }
            opened.emplace_back(file, image);
        }
        if (word == "TARGET")
            image_set_role(ImageRole::Target, image);
        else if (word == "SOURCE")
            image_set_role(ImageRole::Source, image);
        else if (word == "BRUSH")
            image_set_role(ImageRole::Brush, image);
    }
    return status ? 1 : 0;
}

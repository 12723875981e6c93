// The function-key script table: a script file and folder for each of the
// ten keys, kept in the preferences "F1".."F9" (file) and "PF1".."PF9"
// (folder), with the backup the "FNKEYS" dialog restores on cancel.
//
// The blocks are made at start-up, before the preferences are read, so the
// table is filled from them when it is first used; every change is written
// through to them, so that the preferences saved at shut-down hold it.
#include "script/script.h"

#include "core/app.h"
#include "core/mem.h"
#include "core/settings.h"
#include "core/platform.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSlot = 256;  // 255 characters and the end

struct FKeyTable {
    char* files = nullptr;         // "fkeys"
    char* folders = nullptr;       // "fkeypaths"
    char* files_backup = nullptr;  // "fkbu"
    char* folders_backup = nullptr;  // "fkpbu"
    bool loaded = false;
    int (*runner)(const std::string& path) = nullptr;
};

FKeyTable g_keys;

bool valid(int n)
{
    return n >= 1 && n <= kFunctionKeys;
}

char* slot(char* table, int n)
{
    return table + (n - 1) * kSlot;
}

void put(char* table, int n, const char* text)
{
    std::snprintf(slot(table, n), kSlot, "%s", text ? text : "");
}

// Keys 1 to 9 are kept in the preferences; key 10 lasts for the session.
void write_through(int n)
{
    if (n < 1 || n > 9)
        return;
    Settings& s = settings();
    s.fkey[n] = slot(g_keys.files, n);
    s.pfkey[n] = slot(g_keys.folders, n);
}

bool ensure()
{
    if (!g_keys.files && !fkeys_init())
        return false;
    if (!g_keys.loaded) {
        const Settings& s = settings();
        for (int n = 1; n <= 9; ++n) {
            put(g_keys.files, n, s.fkey[n].c_str());
            put(g_keys.folders, n, s.pfkey[n].c_str());
        }
        g_keys.loaded = true;
        fkeys_backup();
    }
    return true;
}

} // namespace

bool fkeys_init()
{
    if (g_keys.files)
        return true;
    long size = static_cast<long>(kFunctionKeys) * kSlot;
    g_keys.files = static_cast<char*>(mem_alloc(size, "fkeys"));
    g_keys.folders = static_cast<char*>(mem_alloc(size, "fkeypaths"));
    g_keys.files_backup = static_cast<char*>(mem_alloc(size, "fkbu"));
    g_keys.folders_backup = static_cast<char*>(mem_alloc(size, "fkpbu"));
    if (!g_keys.files || !g_keys.folders || !g_keys.files_backup || !g_keys.folders_backup) {
        fkeys_release();
        return false;
    }
    for (char* table : {g_keys.files, g_keys.folders, g_keys.files_backup, g_keys.folders_backup})
        std::memset(table, 0, static_cast<size_t>(size));
    g_keys.loaded = false;
    return true;
}

void fkeys_release()
{
    g_keys.loaded = false;
    g_keys.files = mem_free_t(g_keys.files);
    g_keys.folders = mem_free_t(g_keys.folders);
    g_keys.files_backup = mem_free_t(g_keys.files_backup);
    g_keys.folders_backup = mem_free_t(g_keys.folders_backup);
}

const char* fkey_file(int n)
{
    if (!valid(n) || !ensure())
        return "";
    return slot(g_keys.files, n);
}

const char* fkey_folder(int n)
{
    if (!valid(n) || !ensure())
        return "";
    return slot(g_keys.folders, n);
}

void fkey_set(int n, const char* file, const char* folder)
{
    if (!valid(n) || !ensure())
        return;
    put(g_keys.files, n, file);
    put(g_keys.folders, n, folder);
    write_through(n);
}

void fkeys_backup()
{
    if (!ensure())
        return;
    size_t size = static_cast<size_t>(kFunctionKeys) * kSlot;
    std::memcpy(g_keys.files_backup, g_keys.files, size);
    std::memcpy(g_keys.folders_backup, g_keys.folders, size);
}

void fkeys_restore()
{
    if (!ensure())
        return;
    size_t size = static_cast<size_t>(kFunctionKeys) * kSlot;
    std::memcpy(g_keys.files, g_keys.files_backup, size);
    std::memcpy(g_keys.folders, g_keys.folders_backup, size);
    for (int n = 1; n <= 9; ++n)
        write_through(n);
}

void script_set_operation_runner(int (*runner)(const std::string& path))
{
    g_keys.runner = runner;
}

int fkey_run(int n, bool draw_first)
{
    if (!draw_first) {
        ui::platform().message_box("Script Engine Error",
                                   "You must be in \"Draw First\" mode so that you are able to create\r\n"
                                   "an active selection before you invoke a function-key script.",
                                   ui::BoxIcon::Stop);
        return 1;
    }
    if (!valid(n) || !ensure())
        return 1;
    Settings& s = settings();
    std::string saved_file = s.script_filename;
    std::string saved_folder = s.script_path;
    s.script_filename = slot(g_keys.files, n);
    s.script_path = slot(g_keys.folders, n);
    std::string path = script_current_path();
    int status;
    if (g_keys.runner) {
        status = g_keys.runner(path);
    } else {
        const char* argv[] = {"script", path.c_str()};
        status = script_run(2, argv) == 0 ? 0 : 1;
    }
    s.script_filename = saved_file;
    s.script_path = saved_folder;
    return status;
}

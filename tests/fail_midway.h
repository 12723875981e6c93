// Writes that fail half-way: the writer runs in a child process whose files
// may not grow beyond a limit (RLIMIT_FSIZE; SIGXFSZ ignored, so a write
// past the limit fails with EFBIG, as on a full disk), and the parent looks
// at what is left in the folder.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace test_support {

// The writer's result in the child, or -1 when the child did not end by
// itself (a signal).
inline int run_with_file_limit(long limit, const std::function<int()>& write)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &r);
        int rc = write();
        std::fflush(nullptr);
        _exit(rc & 0x7f);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

inline std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in a folder, "." and ".." left out.
inline std::vector<std::string> folder_names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

// Temporary files of a save ("*.part*") left in the folder.
inline std::vector<std::string> leftover_parts(const std::string& folder)
{
    std::vector<std::string> parts;
    for (const std::string& n : folder_names(folder))
        if (n.find(".part") != std::string::npos)
            parts.push_back(n);
    return parts;
}

} // namespace test_support

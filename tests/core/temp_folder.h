// A fresh folder for a test's files, made the settings folder, removed after.
#pragma once

#include "core/app.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class TempFolder {
public:
    TempFolder()
    {
        char tmpl[] = "/tmp/glimvq-test-XXXXXX";
        folder_ = mkdtemp(tmpl);
        app_set_config_folder(folder_);
    }
    ~TempFolder()
    {
        std::string cmd = "rm -rf '" + folder_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    const std::string& path() const { return folder_; }
    std::string file(const std::string& name) const { return folder_ + "/" + name; }

    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream out(file(name), std::ios::binary);
        out << text;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return access(file(name).c_str(), F_OK) == 0; }

private:
    std::string folder_;
};

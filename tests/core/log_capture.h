// Runs a test with the log open in a fresh folder and reads back what was written.
#pragma once

#include "core/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class LogCapture {
public:
    LogCapture()
    {
        char tmpl[] = "/tmp/glimvq-test-XXXXXX";
        folder_ = mkdtemp(tmpl);
        log_set_folder(folder_);
        log_open(false);
    }
    ~LogCapture()
    {
        log_close();
        std::string cmd = "rm -rf '" + folder_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    // Everything written after the header.
    std::string text()
    {
        log_flush();
        std::ifstream in(log_path());
        std::stringstream ss;
        ss << in.rdbuf();
        std::string all = ss.str();
        size_t body = all.find("\n\n", all.find("Created on"));
        return body == std::string::npos ? all : all.substr(body + 2);
    }
    std::string all()
    {
        log_flush();
        std::ifstream in(log_path());
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

// The system started with the operations and the timeline, in a scratch
// folder, with a platform that records what the user would see.
#pragma once

#include "core/app.h"
#include "core/mem.h"
#include "ops/catalogue.h"
#include "ops/ops.h"
#include "timeline/timeline.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class TimelineTest : public ::testing::Test {
protected:
    ui::HeadlessPlatform platform;
    std::string home;

    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-timeline-XXXXXX";
        home = mkdtemp(tmpl);
        ops_install();
        AppOptions o;
        o.home = home;
        ASSERT_EQ(app_init_instance(o), 0);
        platform.set_recording(true);
        platform.set_quiet(true);
        ui::platform_install(&platform);
    }

    void TearDown() override
    {
        timeline().changed = false;
        app_shutdown();
        ui::platform_install(nullptr);
        std::string cmd = "rm -rf '" + home + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    std::string path(const char* name) const { return home + "/" + name; }
    static std::string read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static void write(const std::string& file, const std::string& text)
    {
        std::ofstream(file, std::ios::binary) << text;
    }
    bool said(const std::string& text) const
    {
        for (const std::string& line : platform.transcript())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }

    // A file reference held over frames first .. last (from 0).
    static void hold_file(long level, long first, long last, Grid grid, const char* name)
    {
        ASSERT_EQ(timeline_hold(level, first, last, grid, as_cell(timeline_file_new(name))), 0);
    }
    static std::string row_text(long level, Grid grid)
    {
        std::string s;
        for (long f = 0; f < timeline().frames; ++f) {
            Cell c = timeline_cell(level, f, grid);
            s += c == CELL_EMPTY ? "." : c == CELL_CONTINUE ? "=" : c == CELL_END ? "|" : "R";
        }
        return s;
    }
};

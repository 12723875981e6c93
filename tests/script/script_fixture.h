// Runs script programs in a scratch folder and collects what they showed.
#pragma once

#include "core/mem.h"
#include "script/script.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

struct ScriptResult {
    int status = -1;
    std::vector<std::string> out;      // "Script Output" boxes
    std::vector<std::string> console;  // the console stream (LIST, TRON)
    std::vector<std::string> boxes;    // other boxes
    std::string error;                 // the run's unhandled error

    // The boxes joined by line breaks.
    std::string text() const
    {
        std::string s;
        for (const std::string& line : out)
            s += line + "\n";
        return s;
    }
    std::string console_text() const
    {
        std::string s;
        for (const std::string& c : console)
            s += c;
        return s;
    }
};

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-script-XXXXXX";
        dir_ = mkdtemp(tmpl);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        ui::headless().set_recording(true);
        ui::headless().clear_transcript();
    }
    void TearDown() override
    {
        ui::headless().set_recording(false);
        if (chdir("/") != 0) {
        }
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream f(name, std::ios::binary);
        f << text;
    }
    std::string read(const std::string& name)
    {
        std::ifstream f(name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    // Runs a file; every block the run took must be given back.
    ScriptResult run_file(const std::string& path, const std::vector<std::string>& args = {})
    {
        ui::headless().clear_transcript();
        long places = mem_counters().places_now;
        long chunks = chunk_counters().entries;
        std::vector<const char*> argv{"test", path.c_str()};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        ScriptResult r;
        r.status = script_run(static_cast<int>(argv.size()), argv.data());
        r.error = script_last_error();
        EXPECT_EQ(mem_counters().places_now, places) << "blocks left after the run";
        EXPECT_EQ(chunk_counters().entries, chunks) << "chunks left after the run";
        for (const std::string& line : ui::headless().transcript()) {
            if (line.rfind("Script Output: ", 0) == 0)
                r.out.push_back(line.substr(15));
            else if (line.rfind("console: ", 0) == 0)
                r.console.push_back(line.substr(9));
            else
                r.boxes.push_back(line);
        }
        return r;
    }

    // Runs program text (lines separated by '\n').
    ScriptResult run(const std::string& program, const std::vector<std::string>& args = {})
    {
        write("prog.gxs", program);
        return run_file("prog.gxs", args);
    }

    // The output of a program that must end normally.
    std::string output(const std::string& program)
    {
        ScriptResult r = run(program);
        EXPECT_EQ(r.status, 0) << r.error;
        return r.text();
    }

    // The error message of a program that must fail.
    std::string error_of(const std::string& program)
    {
        ScriptResult r = run(program);
        EXPECT_EQ(r.status, 1) << r.text();
        return r.error;
    }

    std::string dir_;
};

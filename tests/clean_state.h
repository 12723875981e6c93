// Every test starts from the state a fresh process starts from, whether its
// program runs one test or all of them: no images or undo captures, no area,
// the memory statistics from zero, the codec rows and the formats state as
// built, the default settings, no progress meter, the headless platform
// installed and its transcript empty.
//
// Each test program includes this once (tests/<folder>/clean_state.cpp).
#pragma once

#include "areas/area.h"
#include "core/image.h"
#include "core/mem.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/codecs.h"
#include "formats/flic.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace test_support {

class CleanState : public ::testing::EmptyTestEventListener {
public:
    explicit CleanState(void (*extra)()) : extra_(extra) {}

    void OnTestStart(const ::testing::TestInfo&) override
    {
        if (!taken_) {
            // The rows and the formats state as the program built them
            // (taken once main runs, when every static is made).
            int count = 0;
            const Codec* rows = codec_rows(&count);
            rows_.assign(rows, rows + count);
            formats_ = formats_state();
            taken_ = true;
        }
        ui::platform_install(nullptr);
        while (progress_state().depth > 0)
            progress_close();
        progress_overall_end();
        undo_release();
        area_release();
        for (Image* image : image_store().slots)
            if (image)
                image_free(image);
        for (const Codec& row : rows_)
            codec_restore(row);
        // What the animation codecs keep is given back before their
        // pointers are put back to none.
        flic_forget();
        gif_animation_abandon();
        formats_state() = formats_;
        char cwd[4096];
        settings_reset(settings(), getcwd(cwd, sizeof cwd) ? cwd : ".");
        ui::headless().set_recording(false);
        ui::headless().set_quiet(false);
        ui::headless().set_policy(ui::HeadlessPlatform::Policy::Default);
        ui::headless().clear_transcript();
        chunk_reset_statistics();
        mem_reset_statistics();
        if (extra_)
            extra_();
    }

private:
    void (*extra_)();
    bool taken_ = false;
    std::vector<Codec> rows_;
    FormatsState formats_{};
};

// `extra` resets what only this program's subsystems keep.
inline bool install_clean_state(void (*extra)() = nullptr)
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new CleanState(extra));
    return true;
}

} // namespace test_support

#define GLIMVQ_CLEAN_STATE_FOR_EVERY_TEST(...) \
    static const bool glimvq_clean_state_installed = test_support::install_clean_state(__VA_ARGS__)

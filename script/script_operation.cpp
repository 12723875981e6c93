// The Script operation: runs a script program on the target image, through
// the operation framework like any operation (its undo capture holds the
// image as it was before the script, its progress meter the script's).
#include "script/engine.h"
#include "script/script.h"

#include "core/app.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/undo.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "areas/area_mask.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kScriptPath = 1024;
char g_file[kScriptPath];

int script_prepare(Image*, int)
{
    if (!g_file[0]) {
        error_box("No script file named.", "The Script operation runs the file of its parameter \"file\".");
        return 2;
    }
    return 0;
}

bool capture_held(Image* capture)
{
    if (!capture)
        return false;
    for (long i = 0; i < undo_slot_count(); ++i)
        if (undo_slot(i) == capture)
            return true;
    return false;
}

int script_worker(Image* target, uint8_t*)
{
    // The capture the applier took of the whole image: a failed script puts
    // it back, whatever its commands captured after it.
    Image* before = undo_last_capture();
    // The script's commands lock, change (and may resize) the image and
    // build the mask themselves, each through the framework.
    image_unlock(target);
    mask_unlock();
    Image* previous = script_image();
    script_set_image(target);
    std::string path = g_file;
    const char* argv[] = {"script", path.c_str()};
    int status = script_run(2, argv);
    script_set_image(previous);
    image_lock(target);
    if (status == 0)
        return 0;
    undo_state().last = capture_held(before) ? before : nullptr;
    return 1;
}

// Function-key scripts run as the Script operation on the active image.
int run_as_operation(const std::string& path)
{
    std::snprintf(g_file, sizeof g_file, "%s", path.c_str());
    OpState& s = op_state();
    const int32_t previous = s.current;
    if (set_current_operation(opcmd::Script) != 0)
        return 1;
    int result = perform_operation(nullptr, 0);
    if (previous && op_by_command(previous))
        set_current_operation(previous);
    return result == 0 ? 0 : 1;
}

OpSlot g_slots[1];

} // namespace

namespace script {

bool script_operation_init()
{
    OpSlot& s = g_slots[0];
    s = OpSlot{};
    s.var = g_file;
    s.control = 1;
    s.kind = SLOT_TEXT;
    s.label = "Script file";
    s.key = "file";
    s.text_size = kScriptPath;
    OpRow row{};
    row.command = opcmd::Script;
    row.worker.whole = script_worker;
    row.prepare = script_prepare;
    row.slots = g_slots;
    row.doc = "Runs a script program (docs/script-language.md) on the image: its image commands apply "
              "operations, read and write pixels and move images and masks, each through the operation "
              "framework.\n\n- **file**: the script file (`.gxs`).\n\nThe whole image is captured for undo "
              "first, so one undo takes back everything the script did; a script that ends with an error "
              "leaves the image as it was.  Its console output goes to the \"Script Output\" boxes (stdout "
              "under `vq`).";
    op_register(row);
    script_set_operation_runner(run_as_operation);
    return true;
}

void script_operation_release()
{
    script_set_operation_runner(nullptr);
}

} // namespace script

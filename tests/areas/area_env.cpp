// Each test ends as shut-down would: the area subsystem and every image
// given back, so that the leak checker sees only real leaks.
#include "areas/area.h"
#include "core/image.h"
#include "core/mem.h"

#include <gtest/gtest.h>

namespace {

class AreaEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        area_release();
        for (Image* image : image_store().slots)
            if (image)
                image_free(image);
        chunk_cleanup();
    }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AreaEnvironment);

} // namespace

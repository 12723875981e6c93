#include "core/app.h"
#include "layer_fixture.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/ops.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

// An operation applied to a layer goes through the framework, which calls
// the layers' hook: the master is marked and composited before it is shown.
TEST_F(LayerTest, AnOperationOnALayerMarksItsMaster)
{
    char tmpl[] = "/tmp/glimvq-layer-op-XXXXXX";
    std::string home = mkdtemp(tmpl);
    ops_install();
    AppOptions o;
    o.home = home;
    ASSERT_EQ(app_init_instance(o), 0);
    settings().with_alpha = 0;
    settings().mod_alpha = 0;

    Image* m = master(4, 2);
    layer(m, 4, 2, {10, 20, 30, 255});
    Image* top = layer(m, 2, 2, {100, 150, 200, 255}, MODE_NORMAL, 100, 100, 2, 0);
    composite_layers(m);
    ASSERT_EQ(set_current_operation(opcmd::Negative), 0);
    ASSERT_EQ(perform_operation(top), 0);
    EXPECT_EQ(m->recomposite, 1);
    EXPECT_EQ(at(m, 3, 0)[0], mixed(10, 100, 255));  // not composited yet
    EXPECT_EQ(layers_refresh(m), 0);
    EXPECT_EQ(at(m, 3, 0), (Px{mixed(10, 155, 255), mixed(20, 105, 255), mixed(30, 55, 255), 255}));
    EXPECT_EQ(at(m, 0, 0), (Px{10, 20, 30, 255}));

    masters_.clear();
    layers_close(m);
    app_shutdown();
    std::string cmd = "rm -rf '" + home + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

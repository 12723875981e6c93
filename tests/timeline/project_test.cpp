#include "timeline_fixture.h"

#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/framework.h"
#include "ops/tone/tone.h"
#include "timeline/project.h"

namespace {

Image* saved_image(const std::string& file, int w)
{
    Image* img = image_new_locked(w, 3, "test");
    image_unlock(img);
    settings().save_type = 0;
    settings().save_depth = 2;
    EXPECT_EQ(save_image(img, file.c_str()), 0);
    image_free(img);
    return load_image(file.c_str());
}

} // namespace

TEST_F(TimelineTest, AProjectNamesItsImagesByRoleAndItsTimeline)
{
    Image* target = saved_image(path("target.bmp"), 5);
    Image* source = saved_image(path("source.bmp"), 6);
    Image* other = saved_image(path("other.bmp"), 7);
    Image* unsaved = image_new(2, 2, "NEW_1");
    ASSERT_TRUE(target && source && other && unsaved);
    image_set_role(ImageRole::Target, target);
    image_set_role(ImageRole::Source, source);
    image_set_role(ImageRole::Brush, source);
    hold_file(0, 0, 2, Grid::Action, path("target.bmp").c_str());
    ASSERT_EQ(timeline_save(path("seq.tml").c_str()), 0);
    set_current_operation(opcmd::Negative);
    tone_params().negative_mode = 3;

    const std::string proj = path("work.VQP");
    ASSERT_EQ(project_save(proj.c_str()), 0);
    EXPECT_EQ(read(proj), "VQPROJ Glimmerix:V/q File\n\n"
                          "TARGET " + path("target.bmp") + "\n"
                          "SOURCE " + path("source.bmp") + "\n"
                          "BRUSH " + path("source.bmp") + "\n"
                          "IMAGE " + path("other.bmp") + "\n"
                          "TIMELINE " + path("seq.tml") + "\n"
                          "Negative: 3 1 1 1\n");

    // Everything goes; the project brings it back.
    for (Image* image : {target, source, other, unsaved})
        image_free(image);
    timeline_new();
    tone_params().negative_mode = 0;
    ASSERT_EQ(project_load(proj.c_str()), 0);
    EXPECT_EQ(image_store_count(), 3);  // the source and brush are one image
    ASSERT_NE(image_role(ImageRole::Target), nullptr);
    EXPECT_EQ(image_role(ImageRole::Target)->width, 5u);
    EXPECT_EQ(image_role(ImageRole::Source)->width, 6u);
    EXPECT_EQ(image_role(ImageRole::Brush), image_role(ImageRole::Source));
    EXPECT_EQ(tone_params().negative_mode, 3);
    EXPECT_EQ(timeline().path, path("seq.tml"));
    EXPECT_NE(cell_record<TimelineFile>(timeline_cell(0, 0, Grid::Action)), nullptr);
}

TEST_F(TimelineTest, AProjectFindsItsFilesBesideItAndSaysWhatIsMissing)
{
    Image* img = saved_image(path("near.bmp"), 4);
    image_free(img);
    write(path("p.VQP"), "VQPROJ Glimmerix:V/q File\n\nTARGET near.bmp\nIMAGE gone.bmp\nTIMELINE gone.tml\n");
    EXPECT_EQ(project_load(path("p.VQP").c_str()), 1);
    ASSERT_NE(image_role(ImageRole::Target), nullptr);
    EXPECT_EQ(image_role(ImageRole::Target)->width, 4u);
    EXPECT_TRUE(said("Could not open the requested file."));
    write(path("q.VQP"), "TIMELINE - not a project\n");
    EXPECT_EQ(project_load(path("q.VQP").c_str()), 1);
    EXPECT_TRUE(said("File does not match the type requested."));
}

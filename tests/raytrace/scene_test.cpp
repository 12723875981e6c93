#include "core/list.h"
#include "core/mem.h"
#include "core/progress.h"
#include "expr/expr.h"
#include "raytrace/scene.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::platform_install(&platform);
        platform.set_recording(true);
        scene_begin();
    }
    void TearDown() override
    {
        scene_release();
        scene().libdir[0] = 0;
        expr_sequence() = ExprSequence{};
        ui::platform_install(nullptr);
    }
    int parse(const std::string& text) { return scene_parse(text.c_str(), text.size()); }
    const SceneObject& object(long i) { return scene_objects()[i]; }
    const Surface& surface_of(long i) { return scene_surfaces()[object(i).material]; }
    AttrState& attr() { return scene().attr; }

    ui::HeadlessPlatform platform;
};

} // namespace

TEST_F(SceneTest, KeywordsAndKindsInAnyCaseUnknownTagsSkipped)
{
    EXPECT_EQ(parse("text outside tags <RADIUS 3> <Position 1,2,3> <nosuchword 1 2 3> "
                    "<OBJECT SPHERE \"a\"> <object Sphere \"b\"> <object cube \"c\"> <color 0.5 .25 -1>"),
              0);
    ASSERT_EQ(scene_object_count(), 2);
    EXPECT_EQ(object(0).kind, OBJ_SPHERE);
    EXPECT_STREQ(scene_object_name(object(0)), "a");
    EXPECT_STREQ(scene_object_name(object(1)), "b");
    EXPECT_DOUBLE_EQ(object(0).radius, 3);
    EXPECT_DOUBLE_EQ(object(0).p[0][2], 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(attr().surface.color[k].v[0], 0.5);
        EXPECT_DOUBLE_EQ(attr().surface.color[k].v[1], 0.25);
        EXPECT_DOUBLE_EQ(attr().surface.color[k].v[2], -1);
        EXPECT_TRUE(attr().surface.color[k].set);
    }
    EXPECT_FALSE(attr().surface.color[3].set);
}

TEST_F(SceneTest, DefaultsAndClampedAttributes)
{
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 15.0);
    EXPECT_FALSE(attr().radius.set);
    EXPECT_DOUBLE_EQ(attr().vtx[2].v[0], 3);
    EXPECT_FLOAT_EQ(attr().surface.bumpdrama.v[0], 0.25f);
    EXPECT_DOUBLE_EQ(scene().camera.location[2], -14);
    EXPECT_DOUBLE_EQ(scene().camera.forward[2], 1);
    EXPECT_DOUBLE_EQ(scene().camera.right[0], 1);
    EXPECT_DOUBLE_EQ(scene().camera.up[1], 1);

    parse("<brilliance 80> <roughness 51> <metal 0.4>");
    EXPECT_DOUBLE_EQ(attr().surface.brilliance.v[0], 50);
    EXPECT_DOUBLE_EQ(attr().surface.roughness.v[0], 50);
    EXPECT_EQ(attr().surface.metal.v, 0);
    parse("<metal 0.5> <seed 7.9> <brilliance 20>");
    EXPECT_EQ(attr().surface.metal.v, 1);
    EXPECT_EQ(scene().seed, 7);
    EXPECT_DOUBLE_EQ(attr().surface.brilliance.v[0], 20);

    parse("<texturemap \"Marble\" 1 2 3>");
    const TextureSlot& t = attr().surface.texture[TEX_SOLID];
    EXPECT_EQ(t.kind, SOLID_MARBLE);
    EXPECT_TRUE(t.set);
    EXPECT_DOUBLE_EQ(t.p[2], 3);
    parse("<texturemap \"velvet\" 1 2 3> <uvtexture \"DUNES\" 1 1 1> <dmap \"noise\" 1 1 1> <texturemap2 \"spots\">");
    EXPECT_EQ(attr().surface.texture[TEX_SOLID].kind, 0);
    EXPECT_FALSE(attr().surface.texture[TEX_SOLID].set);
    EXPECT_EQ(attr().surface.texture[TEX_SURFACE].kind, SURF_DUNES);
    EXPECT_EQ(attr().surface.texture[TEX_DISPLACE].kind, DISP_NOISE);
    EXPECT_EQ(attr().surface.texture[TEX_SOLID2].kind, SOLID_SPOTS);

    parse("<normalize>");
    EXPECT_TRUE(attr().scale.set);
    EXPECT_FLOAT_EQ(attr().scale.v[3], 1);
    parse("<viewlocation 0 0 0> <viewtarget 0 0 0>");  // a zero view direction
    EXPECT_DOUBLE_EQ(scene().camera.forward[0], 0.01);
}

TEST_F(SceneTest, TraitsRestoreAndApplyOnlyWhatTheySet)
{
    parse("<ambient 0.3> <diffuse 0.4> <trait \"glow\"> <ambient 0.9> <radius 2> </trait>");
    EXPECT_DOUBLE_EQ(attr().surface.ambient.v[0], 0.3);  // as before the trait
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 15);
    EXPECT_EQ(scene().stack_depth, 0);
    ASSERT_NE(scene().traitlist, nullptr);
    EXPECT_STREQ(scene().traitlist->name, "traitlist");
    EXPECT_EQ(list_count(scene().traitlist), 1);

    parse("<trait \"amb\"> <ambient 0.8> </trait> <apply \"AMB\">");
    EXPECT_DOUBLE_EQ(attr().surface.ambient.v[0], 0.8);
    EXPECT_DOUBLE_EQ(attr().surface.diffuse.v[0], 0.4);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 15);
    parse("<apply \"glow\"> <apply \"nothing-of-that-name\">");
    EXPECT_DOUBLE_EQ(attr().surface.ambient.v[0], 0.9);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 2);
    EXPECT_TRUE(attr().radius.set);
}

TEST_F(SceneTest, StateStackLimits)
{
    parse("<pop> <radius 4>");  // an empty stack changes nothing
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 4);
    std::string pushes;
    for (int i = 0; i < kSceneStackDepth; ++i)
        pushes += "<push>";
    parse(pushes + "<radius 5> <push> <radius 6> <pop>");
    EXPECT_EQ(scene().stack_depth, kSceneStackDepth - 1);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 4);  // the 1025th push was ignored
}

TEST_F(SceneTest, TrianglesTheirNormalsAndTheTransformOrder)
{
    parse("<vtx0 0 0 0> <vtx1 1 0 0> <vtx2 0 1 0> <nrm0 0 0 1> <nrm1 0 0 1> <object tri \"t1\"> "
          "<object tri \"t2\"> <nrm0 0 0 1> <object tri \"t3\">");
    ASSERT_EQ(scene_object_count(), 3);
    EXPECT_DOUBLE_EQ(object(0).n[0][2], 0);  // nrm2 was never given: all zero
    EXPECT_DOUBLE_EQ(object(1).n[0][2], 0);
    EXPECT_FALSE(attr().nrm[0].set);  // cleared after each triangle
    parse("<nrm0 0 0 1> <nrm1 0 0 1> <nrm2 0 0 1> <object tri \"t4\">");
    EXPECT_DOUBLE_EQ(object(3).n[2][2], 1);

    // Scale, then translate, then rotate (90 degrees about z).
    parse("<vtx1 1 0 0> <scale 2 1 1 1> <translate 0 1 0> <rotation 0 0 90> <object tri \"t5\">");
    EXPECT_NEAR(object(4).p[1][0], -1, 1e-9);
    EXPECT_NEAR(object(4).p[1][1], 2, 1e-9);
    // Spheres: scaled position, axis, translation; radius by the uniform scale.
    parse("<normalize> <scale 2 2 2 3> <translate 1 0 0> <position 1 1 1> <radius 2> <object sphere \"s\">");
    EXPECT_DOUBLE_EQ(object(5).p[0][0], 3);
    EXPECT_DOUBLE_EQ(object(5).p[0][1], 2);
    EXPECT_DOUBLE_EQ(object(5).radius, 6);
}

TEST_F(SceneTest, MapFlagsClearAfterObjects)
{
    parse("<imagemap \"a.png\"> <bumpmap \"b.png\"> <ssxar> <object tri \"t\">");
    EXPECT_TRUE(surface_of(0).imagemap.use);
    EXPECT_FALSE(attr().surface.imagemap.use);
    EXPECT_TRUE(attr().surface.bumpmap.use);  // a triangle leaves the bump map
    EXPECT_TRUE(attr().surface.ssxar);
    parse("<object sphere \"s\">");
    EXPECT_FALSE(surface_of(1).imagemap.use);
    EXPECT_TRUE(surface_of(1).bumpmap.use);
    EXPECT_TRUE(surface_of(1).ssxar);
    EXPECT_FALSE(attr().surface.bumpmap.use);
    EXPECT_FALSE(attr().surface.ssxar);
}

TEST_F(SceneTest, KeywordLengthAndBadObjects)
{
    std::string k199(199, 'q'), k200(200, 'q');
    EXPECT_EQ(parse("<" + k199 + " 1 2> <radius 3>"), 0);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 3);
    EXPECT_EQ(parse("<" + k200 + ">"), SCENE_KEY_TOO_LONG);
    EXPECT_STREQ(scene_error_text(SCENE_KEY_TOO_LONG), "Key Too Long");

    EXPECT_EQ(parse("<object sphere>"), SCENE_BAD_OBJECT);
    EXPECT_EQ(parse("<object sphere"), SCENE_BAD_OBJECT);
    EXPECT_EQ(parse("<object " + std::string(201, 's') + " \"x\">"), SCENE_BAD_OBJECT);
    EXPECT_STREQ(scene_error_text(SCENE_BAD_OBJECT), "Bad Object Found");
    EXPECT_STREQ(scene_error_text(2), "Could not read data");
    EXPECT_STREQ(scene_error_text(9), "Unspecified Raytrace Error");
    EXPECT_EQ(parse("<radius 1"), 0);  // a tag cut off by the end of the text
}

TEST_F(SceneTest, KeySetsExpressionsAndArguments)
{
    expr_sequence().frames = 10;
    expr_sequence().frame = 4;  // the fifth frame
    parse("<keys \"k\" 9> <keys \"lin\" 1 0 10 90> <keys \"odd\" 1 2 3> "
          "<splined 1> <keys \"sp\" 1 0 5 10 9 0>");
    double v = 0;
    EXPECT_TRUE(scene_keyset_value("K", &v));
    EXPECT_DOUBLE_EQ(v, 9);
    EXPECT_TRUE(scene_keyset_value("lin", &v));
    EXPECT_DOUBLE_EQ(v, 40);  // frame 5 of the way from frame 1 to frame 10
    EXPECT_FALSE(scene_keyset_value("odd", &v));
    EXPECT_TRUE(scene_keyset_value("sp", &v));
    EXPECT_DOUBLE_EQ(v, 10);  // on its middle key
    expr_sequence().frame = 2;
    scene_keyset_value("sp", &v);
    EXPECT_GT(v, 5);  // a spline overshoots the straight line towards 10
    EXPECT_LT(v, 10);
    expr_sequence().frame = 20;
    scene_keyset_value("lin", &v);
    EXPECT_DOUBLE_EQ(v, 90);  // after the last key
    // Keys set for 10 frames stretch over 20.
    expr_sequence().frames = 20;
    expr_sequence().frame = 9;
    scene_keyset_value("lin", &v);
    EXPECT_DOUBLE_EQ(v, 40);

    expr_sequence().frames = 10;
    expr_sequence().frame = 4;
    parse("<position lin, !k*2 !hyp(3,4)> <radius nothing>");
    EXPECT_DOUBLE_EQ(attr().position.v[0], 40);
    EXPECT_DOUBLE_EQ(attr().position.v[1], 18);
    EXPECT_DOUBLE_EQ(attr().position.v[2], 5);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 0);
    EXPECT_TRUE(platform.transcript().empty());
    parse("<radius !2/0>");
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 0);
    ASSERT_EQ(platform.transcript().size(), 1u);
    EXPECT_NE(platform.transcript()[0].find("Division by zero"), std::string::npos);
}

TEST_F(SceneTest, DigitRuleComesFirstAndAnUnclosedGroupEndsAtItsBlank)
{
    // A word that begins like a number is a number, '!' or not.
    parse("<position 0.2!0.8 -1!2 .5!x>");
    EXPECT_DOUBLE_EQ(attr().position.v[0], 0.2);
    EXPECT_DOUBLE_EQ(attr().position.v[1], -1);
    EXPECT_DOUBLE_EQ(attr().position.v[2], 0.5);
    EXPECT_TRUE(platform.transcript().empty());
    // An unclosed "!(" is one faulty word; the numbers after it are read.
    parse("<position !(1+2 3 4> <radius 7>");
    EXPECT_DOUBLE_EQ(attr().position.v[0], 0);
    EXPECT_DOUBLE_EQ(attr().position.v[1], 3);
    EXPECT_DOUBLE_EQ(attr().position.v[2], 4);
    EXPECT_DOUBLE_EQ(attr().radius.v[0], 7);
    EXPECT_EQ(platform.transcript().size(), 1u);
    // A closed group keeps its blanks and commas.
    parse("<position !(1 + 2) !hyp(3, 4) 6>");
    EXPECT_DOUBLE_EQ(attr().position.v[0], 3);
    EXPECT_DOUBLE_EQ(attr().position.v[1], 5);
    EXPECT_DOUBLE_EQ(attr().position.v[2], 6);
}

TEST_F(SceneTest, AxesOffsetWhatIsReadInside)
{
    parse("<axis 10 0 0 \"outer\"> <axis 0 5 0 \"inner\"> <position 1 1 1> <radius 1> <object sphere \"s\"> "
          "<vtx0 0 0 0> </axis> <position 0 0 0> <object light \"l\"> </axis> <object light \"m\">");
    ASSERT_EQ(scene_object_count(), 3);
    EXPECT_DOUBLE_EQ(object(0).p[0][0], 11);
    EXPECT_DOUBLE_EQ(object(0).p[0][1], 6);
    EXPECT_DOUBLE_EQ(attr().vtx[0].v[0], 10);
    EXPECT_DOUBLE_EQ(attr().vtx[0].v[1], 5);
    EXPECT_DOUBLE_EQ(object(1).p[0][0], 10);  // back on the outer axis
    EXPECT_DOUBLE_EQ(object(1).p[0][1], 0);
    EXPECT_DOUBLE_EQ(object(2).p[0][0], 0);
    EXPECT_EQ(scene().lights, 2);
    EXPECT_EQ(scene().active_axis, nullptr);
    EXPECT_STREQ(scene().axislist->name, "axislist");
}

TEST_F(SceneTest, StructuresBoundsAndSmoothing)
{
    // Two triangles folded 30 degrees along a shared edge: smoothing bends
    // the normals of the shared vertices halfway.
    parse("<structure> <object bound \"b\"> <vtx0 0 0 0> <vtx1 1 0 0> <vtx2 0 1 0> <object tri \"a\"> "
          "<vtx0 1 0 0> <vtx1 0 0 0> <vtx2 0.5 -0.866 0.5> <object tri \"b\"> <smooth> </structure>");
    ASSERT_EQ(scene_object_count(), 3);
    EXPECT_EQ(object(0).kind, OBJ_BOUND);
    EXPECT_EQ(object(0).structure, 1);
    EXPECT_EQ(object(1).structure, 1);
    EXPECT_EQ(scene().structure, 2);
    const double* n = object(1).n[0];  // the shared vertex (0,0,0)
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1, 1e-9);
    EXPECT_LT(n[2], 0.999);  // no longer the flat normal (0, 0, 1)
    const double* own = object(1).n[2];  // not shared: its face normal
    EXPECT_NEAR(own[2], 1, 1e-9);
}

TEST_F(SceneTest, LibrariesNestAndUnreadableOnesAreSkipped)
{
    char dir[] = "/tmp/glimvq-scene-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string d = dir;
    std::ofstream(d + "/inner.w3d") << "<radius 7> <object sphere \"from-inner\">";
    std::ofstream(d + "/outer.w3d") << "<ambient 0.5> <lib \"inner.w3d\"> <diffuse 0.25> <lib \"missing.w3d\">";
    std::ofstream(d + "/self.w3d") << "<lib \"self.w3d\">";
    std::string text = "<libpath \"" + d + "\"> <lib \"outer.w3d\"> <radius 1> <object sphere \"after\"> "
                       "<lib \"self.w3d\">";
    EXPECT_EQ(parse(text), 0);
    ASSERT_EQ(scene_object_count(), 2);
    EXPECT_DOUBLE_EQ(object(0).radius, 7);
    EXPECT_DOUBLE_EQ(attr().surface.ambient.v[0], 0.5);
    EXPECT_DOUBLE_EQ(attr().surface.diffuse.v[0], 0.25);
    EXPECT_DOUBLE_EQ(object(1).radius, 1);
    EXPECT_EQ(mem_counters().places_now, 0);  // no library buffer left behind
    std::string cmd = "rm -rf '" + d + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

namespace {
class CancellingPlatform : public ui::HeadlessPlatform {
public:
    void pump_messages() override { progress_request_cancel(); }
};
} // namespace

TEST_F(SceneTest, CancelEndsTheParse)
{
    CancellingPlatform cancel;
    ui::platform_install(&cancel);
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "<radius 1> ";
    EXPECT_EQ(parse(text), SCENE_CANCELLED);
    EXPECT_EQ(progress_state().depth, 0);
    EXPECT_STREQ(scene_error_text(SCENE_CANCELLED), "");
}

TEST_F(SceneTest, ReleaseLeavesNothingBehind)
{
    parse("<trait \"t\"> </trait> <axis 1 1 1 \"a\"> </axis> <keys \"k\" 1 2 3 4> <object sphere \"s\">");
    scene_release();
    EXPECT_EQ(chunk_counters().entries, 0);
    EXPECT_EQ(mem_counters().places_now, 0);
    scene_begin();
}

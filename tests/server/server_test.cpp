// The command server: the command line, the verbs, the row answers and
// the socket under bad input and load.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/op_values.h"
#include "ops/ops.h"
#include "server/client.h"
#include "server/command_line.h"
#include "server/server.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"
#include "ui/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace server;

namespace {

CommandLine parse(const std::string& text)
{
    return parse_command_line(text.data(), text.size());
}

TEST(CommandLine, FieldsAndBlanks)
{
    CommandLine l = parse("Sheet: my film.tml , 3 4, a, b c");
    EXPECT_EQ(l.verb, "Sheet");
    EXPECT_EQ(l.first, "myfilm.tml");
    EXPECT_EQ(l.second, "34");
    EXPECT_EQ(l.third, "a,bc");
    EXPECT_EQ(l.rest, "my film.tml , 3 4, a, b c");

    // The colon and the blank end the verb alike; a "/" is skipped.
    CommandLine a = parse("target:/tmp/a.png"), b = parse("TARGET /tmp/a.png"), c = parse("/Target : /tmp/a.png");
    EXPECT_EQ(server_verb(a.verb), ServerVerb::Target);
    EXPECT_EQ(server_verb(b.verb), ServerVerb::Target);
    EXPECT_EQ(server_verb(c.verb), ServerVerb::Target);
    EXPECT_EQ(a.first, "/tmp/a.png");
    EXPECT_EQ(b.first, a.first);
    EXPECT_EQ(c.first, a.first);

    CommandLine empty = parse("");
    EXPECT_TRUE(empty.verb.empty() && empty.first.empty() && empty.third.empty());
}

TEST(CommandLine, OnlyTheFirst256CharactersAndUpToANul)
{
    std::string text = "Target: " + std::string(100000, 'x');
    CommandLine l = parse(text);
    EXPECT_EQ(l.first.size(), kServerCommandMax - 8);
    std::string with_nul("Close\0Target: x", 15);
    CommandLine n = parse(with_nul);
    EXPECT_EQ(n.verb, "Close");
    EXPECT_TRUE(n.first.empty());
}

TEST(CommandLine, VerbsByTheirLeadingCharacters)
{
    struct Case {
        const char* word;
        ServerVerb verb;
    } cases[] = {
        {"e", ServerVerb::Sheet},        {"Exit", ServerVerb::Sheet},     {"SHEETS", ServerVerb::Sheet},
        {"Shee", ServerVerb::None},      {"close", ServerVerb::Close},    {"Icon", ServerVerb::Iconify},
        {"Ico", ServerVerb::None},       {"minimize", ServerVerb::Iconify}, {"Minim", ServerVerb::Iconify},
        {"Deicon", ServerVerb::Restore}, {"RESTORE", ServerVerb::Restore}, {"Restor", ServerVerb::None},
        {"Actor", ServerVerb::Source},   {"source", ServerVerb::Source},  {"Brush", ServerVerb::Brush},
        {"Backg", ServerVerb::Target},   {"Background", ServerVerb::Target}, {"Target", ServerVerb::Target},
        {"front", ServerVerb::Front},    {"APPLY", ServerVerb::Apply},    {"Save", ServerVerb::Save},
        {"Saved", ServerVerb::None},     {"Script", ServerVerb::Script},  {"Frobnicate", ServerVerb::None},
        {"", ServerVerb::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(server_verb(c.word), c.verb) << c.word;
}

// The system started in a scratch folder, the server listening there.
class ServerTest : public ::testing::Test {
protected:
    ui::HeadlessPlatform platform;
    std::string home, socket_path;
    static inline std::atomic<int> fronts {0}, iconified {0}, restored {0};
    static inline std::vector<long> frames;

    void SetUp() override
    {
        char tmpl[] = "/tmp/glimvq-server-XXXXXX";
        home = mkdtemp(tmpl);
        ops_install();
        AppOptions o;
        o.home = home;
        ASSERT_EQ(app_init_instance(o), 0);
        platform.set_recording(true);
        platform.set_quiet(true);
        ui::platform_install(&platform);
        socket_path = home + "/test.sock";
        sequence_forget_levels();
        fronts = iconified = restored = 0;
        frames.clear();
        ServerHooks hooks;
        hooks.front = [] { ++fronts; };
        hooks.iconify = [] { ++iconified; };
        hooks.restore = [] { ++restored; };
        hooks.render_frame = [](long frame, std::string&) {
            frames.push_back(frame);
            return 0;
        };
        server_set_hooks(hooks);
    }

    void TearDown() override
    {
        stop_thread();
        server_stop();
        server_set_ack_wait(-1);
        server_set_hooks({});
        timeline().changed = false;
        app_shutdown();
        ui::platform_install(nullptr);
        std::string cmd = "rm -rf '" + home + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }

    std::string error_text;
    bool command(const std::string& text, bool poke = false)
    {
        std::string reason;
        return server_command(text.data(), text.size(), poke, reason);
    }

    // A gradient image file of the given size.
    std::string image_file(const char* name, long w, long h)
    {
        Image* img = image_new(w, h, "iHrgba");
        {
            ImageLock lock(img);
            for (long y = 0; y < h; ++y)
                for (long x = 0; x < w; ++x) {
                    uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
                    p[0] = static_cast<uint8_t>(x);
                    p[1] = static_cast<uint8_t>(y);
                    p[2] = static_cast<uint8_t>(x + y);
                    p[3] = 255;
                }
        }
        std::string path = home + "/" + name;
        settings().save_type = FMT_BMP;
        settings().save_depth = 2;  // 24 bits
        EXPECT_EQ(save_image(img, path.c_str()), 0);
        image_free(img);
        return path;
    }

    // The server's loop on a thread of its own while the test is the client.
    std::thread loop;
    std::atomic<bool> stop {false};
    void start_thread()
    {
        std::string error;
        ASSERT_EQ(server_start(socket_path, error), 0) << error;
        stop = false;
        loop = std::thread([this] {
            while (!stop && server_poll(20)) {
            }
        });
    }
    void stop_thread()
    {
        stop = true;
        if (loop.joinable())
            loop.join();
    }
};

TEST_F(ServerTest, FrontByPokeAndByExecute)
{
    EXPECT_TRUE(command("Front", true));
    EXPECT_TRUE(command("front: anything", true));
    EXPECT_TRUE(command("FRONT"));
    EXPECT_EQ(fronts, 3);
    EXPECT_TRUE(command("Iconify"));
    EXPECT_TRUE(command("Minimize"));
    EXPECT_TRUE(command("Deiconify"));
    EXPECT_EQ(iconified, 2);
    EXPECT_EQ(restored, 1);
    // Unknown verbs do nothing and are acknowledged; the last argument is kept.
    EXPECT_TRUE(command("Frobnicate: a, b, c d ,e"));
    EXPECT_EQ(server_last_argument(), "cd,e");
    EXPECT_FALSE(server_close_requested());
    EXPECT_TRUE(command("Close"));
    EXPECT_TRUE(server_close_requested());
}

TEST_F(ServerTest, RowsOfTheFirstImageAndEmpty)
{
    std::string answer = server_row_answer();
    EXPECT_EQ(answer, std::string("Empty", 6));
    EXPECT_EQ(server_size_answer(), std::string("Empty", 6));

    Image* img = image_new(3, 2, "iHrgba");
    {
        ImageLock lock(img);
        std::memset(img->row(0), 7, 12);
        std::memset(img->row(1), 9, 12);
    }
    EXPECT_EQ(server_size_answer(), std::string("Size 3 2", 9));
    EXPECT_EQ(img->locks, 0);
    EXPECT_EQ(server_row_answer(), std::string("Line 0\0", 7) + std::string(12, 7));
    EXPECT_EQ(img->locks, 1);  // held while the rows are handed out
    EXPECT_EQ(server_row_counter(), 1);
    EXPECT_EQ(server_row_answer(), std::string("Line 1\0", 7) + std::string(12, 9));
    EXPECT_EQ(img->locks, 0);  // the last row gives it back
    EXPECT_EQ(server_row_counter(), 0);
    EXPECT_EQ(server_row_answer().substr(0, 7), std::string("Line 0\0", 7));

    // The image closed in the middle: the next request answers "Empty".
    image_free(img);
    EXPECT_EQ(server_row_answer(), std::string("Empty", 6));
    EXPECT_EQ(server_row_counter(), 0);
}

TEST_F(ServerTest, RolesFromFilesAndOpenImages)
{
    std::string a = image_file("a.bmp", 4, 3), b = image_file("b.bmp", 5, 2);
    EXPECT_TRUE(command("Target: " + a));
    Image* target = image_role(ImageRole::Target);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->width, 4u);
    // Taken again by its path, not loaded a second time.
    EXPECT_TRUE(command("Backg " + a));
    EXPECT_EQ(image_role(ImageRole::Target), target);
    EXPECT_EQ(image_store_count(), 1);
    EXPECT_TRUE(command("Actor:" + b));
    EXPECT_EQ(image_role(ImageRole::Source)->width, 5u);
    EXPECT_TRUE(command("brush " + a));
    EXPECT_EQ(image_role(ImageRole::Brush), target);
    EXPECT_EQ(image_store_count(), 2);

    std::string reason;
    std::string missing = "Source: " + home + "/missing.bmp";
    EXPECT_FALSE(server_command(missing.data(), missing.size(), false, reason));
    EXPECT_NE(reason.find("could not be loaded"), std::string::npos);
    EXPECT_EQ(image_role(ImageRole::Source)->width, 5u);
    EXPECT_FALSE(command("Target:"));
    EXPECT_TRUE(command("Save: " + home + "/out.bmp"));
    Image* saved = load_image((home + "/out.bmp").c_str());
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->width, 4u);
    image_free(saved);
}

TEST_F(ServerTest, ApplyTakesValuesByNameInOrderAndRefusesWithAReason)
{
    std::string a = image_file("a.bmp", 4, 3);
    std::string reason;
    auto refused = [&](const std::string& text) {
        reason.clear();
        return !server_command(text.data(), text.size(), false, reason);
    };
    EXPECT_TRUE(refused("Apply: Negative"));
    EXPECT_EQ(reason, "there is no target image");
    ASSERT_TRUE(command("Target: " + a));
    Image* target = image_role(ImageRole::Target);
    EXPECT_TRUE(refused("Apply: no such operation, 1"));
    EXPECT_NE(reason.find("no operation \"no such operation\""), std::string::npos) << reason;
    EXPECT_TRUE(refused("Apply: Swirl, amount=999999"));
    EXPECT_NE(reason.find("amount must lie in"), std::string::npos) << reason;
    EXPECT_TRUE(refused("Apply:"));

    // Negative in its "Channels" mode, named by its script command and a choice name.
    EXPECT_FALSE(refused("apply: NEGATIVE, mode = channels")) << reason;
    {
        ImageLock lock(target);
        EXPECT_EQ(target->pixel(2, 1)[0], 255 - 2);
        EXPECT_EQ(target->pixel(2, 1)[1], 255 - 1);
    }
    // A palette's commas stay with its named value.
    EXPECT_FALSE(refused("Apply: Linear Fill, angle=0, palette=255,0,0/0,0,255")) << reason;
    OpDescriptor* fill = op_find("Linear Fill");
    ASSERT_TRUE(fill);
    for (const OpSlot& slot : fill->slots) {
        if (slot.used() && slot_is_palette(slot.kind)) {
            EXPECT_EQ(static_cast<const OpPalette*>(slot.var)->count, 2);
        }
    }
    ImageLock lock(target);
    EXPECT_EQ(target->pixel(0, 0)[0], 255);
    EXPECT_EQ(target->pixel(3, 0)[2], 255);
}

TEST_F(ServerTest, LevelNamesTakeTheResultsOfTheLastGeneratedFrame)
{
    ServerHooks plain;  // frames generated by the library, not counted
    server_set_hooks(plain);
    std::string grey = image_file("grey.bmp", 6, 4);
    EXPECT_FALSE(command("Target: Level(1)"));
    std::string reason;
    std::string text = "Target: Level(1)";
    server_command(text.data(), text.size(), false, reason);
    EXPECT_EQ(reason, "Level(1): no frame of the timeline has been generated");

    // Level 1 reads the file, level 2 negates it.
    timeline_new(4);
    ASSERT_EQ(timeline_hold(0, 0, 3, Grid::Action, as_cell(timeline_file_new(grey.c_str()))), 0);
    TimelineOp* negative = timeline_op_capture(opcmd::Negative);
    ASSERT_NE(negative, nullptr);
    ASSERT_EQ(timeline_hold(1, 0, 3, Grid::Op, as_cell(negative)), 0);
    std::string file = home + "/two.tml";
    ASSERT_EQ(timeline_save(file.c_str()), 0);
    timeline_new(4);
    ASSERT_TRUE(command("Sheet: " + file + ", 2"));
    EXPECT_EQ(sequence_kept_frame(), 2);

    ASSERT_TRUE(command("Source: Level(1)"));
    ASSERT_TRUE(command("target level( 2 )"));
    Image* one = image_role(ImageRole::Source);
    Image* two = image_role(ImageRole::Target);
    ASSERT_TRUE(one && two && one != two);
    {
        ImageLock a(one), b(two);
        EXPECT_EQ(one->pixel(5, 3)[0], 5);
        EXPECT_EQ(two->pixel(5, 3)[0], 255 - 5);
    }
    for (const char* bad : {"Brush: Level(3)", "Brush: Level(0)", "Brush: Level(x)", "Brush: Level(2", "Brush: Level(2)x"}) {
        reason.clear();
        EXPECT_FALSE(server_command(bad, std::strlen(bad), false, reason)) << bad;
        EXPECT_NE(reason.find("Level("), std::string::npos) << reason;
    }
    EXPECT_EQ(image_role(ImageRole::Brush), nullptr);
    // Another timeline loaded: the results of the old one are gone.
    ASSERT_TRUE(command("Sheet: " + file));
    EXPECT_FALSE(command("Brush: Level(1)"));
}

TEST_F(ServerTest, SheetFramesAreLimitedToTheTimeline)
{
    timeline_new(5);
    std::string file = home + "/five.tml";
    ASSERT_EQ(timeline_save(file.c_str()), 0);
    timeline_new(9);
    EXPECT_TRUE(command("Sheet: " + file));  // loads only
    EXPECT_EQ(timeline().frames, 5);
    EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(command("sheet " + file + ", 0"));
    EXPECT_TRUE(command("e:" + file + ",99"));
    EXPECT_TRUE(command("Sheet: " + file + ", 3"));
    EXPECT_EQ(frames, (std::vector<long>{1, 5, 3}));
    EXPECT_FALSE(command("Sheet: " + home + "/none.tml, 2"));
    EXPECT_EQ(frames.size(), 3u);
}

TEST_F(ServerTest, SocketIsPrivateAndSingle)
{
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    std::string path = server_default_socket_path();
    EXPECT_EQ(path, home + "/glimvq/Glimvq.Vq");
    ASSERT_EQ(mkdir((home + "/glimvq").c_str(), 0755), 0);
    std::string error;
    ASSERT_EQ(server_start("", error), 0) << error;
    struct stat st {};
    ASSERT_EQ(stat((home + "/glimvq").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(server_start("", error), 0);
    server_stop();
    EXPECT_NE(stat(path.c_str(), &st), 0);  // removed with the server

    // A live server elsewhere on the path makes the second one refuse;
    // once it is gone its socket is stale and replaced.
    int other = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, socket_path.c_str());
    ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(other, 1), 0);
    EXPECT_NE(server_start(socket_path, error), 0);
    EXPECT_NE(error.find("another server"), std::string::npos) << error;
    close(other);
    EXPECT_EQ(server_start(socket_path, error), 0) << error;
    unsetenv("XDG_RUNTIME_DIR");
}

// A client speaking the wire directly, for the bad cases.
struct Raw {
    int fd = -1;
    explicit Raw(const std::string& path)
    {
        fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, path.c_str());
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~Raw()
    {
        if (fd >= 0)
            close(fd);
    }
    void put(const std::string& bytes) const { EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }
};

std::string frame(char kind, const std::string& payload)
{
    uint32_t n = static_cast<uint32_t>(payload.size() + 1);
    return std::string {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                        static_cast<char>(n), kind} +
           payload;
}

TEST_F(ServerTest, BadMessagesAreRefusedAndServingGoesOn)
{
    start_thread();
    Client c;
    ASSERT_TRUE(c.open(socket_path)) << c.error();
    EXPECT_EQ(c.extensions(), "Apply Save Script Ack");
    // A client that connects and never speaks holds nobody up.
    Raw silent(socket_path);
    ASSERT_GE(silent.fd, 0);

    EXPECT_FALSE(c.execute(""));
    EXPECT_NE(c.error().find("cannot be read"), std::string::npos);
    EXPECT_TRUE(c.execute(std::string(256, 'x')));
    EXPECT_TRUE(c.execute("Frobnicate: a,b," + std::string(100000, 'z')));
    char kind = 0;
    std::string payload;
    // Binary garbage as a command is only an unknown verb.
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 131 + 7) & 255);
    EXPECT_TRUE(c.execute(garbage) || !c.error().empty());
    // An unknown kind, an empty message and an over-long one are refused.
    ASSERT_TRUE(c.send_message('Z', "x"));
    ASSERT_TRUE(c.read_message(kind, payload));
    EXPECT_EQ(kind, kAcknowledge);
    EXPECT_EQ(payload[0], 0);
    std::string huge = frame(kExecute, std::string(kMaxMessage + 10, 'a'));
    ASSERT_TRUE(c.send_message(kTerminate, ""));  // ignored: no answer
    Raw raw(socket_path);
    raw.put(frame(kExecute, "Front"));  // before initiate
    raw.put(std::string(4, '\0'));
    raw.put(huge);
    raw.put(frame(kInitiate, std::string("glimvq\0vq", 9)));
    raw.put(frame(kPoke, "Front"));
    std::string got;
    for (int answers = 0; answers < 5;) {
        char buf[4096];
        ssize_t n = recv(raw.fd, buf, sizeof buf, 0);
        ASSERT_GT(n, 0);
        got.append(buf, static_cast<size_t>(n));
        answers = 0;
        for (size_t at = 0; at + 5 <= got.size();) {
            uint32_t len = static_cast<uint8_t>(got[at]) << 24 | static_cast<uint8_t>(got[at + 1]) << 16 |
                           static_cast<uint8_t>(got[at + 2]) << 8 | static_cast<uint8_t>(got[at + 3]);
            if (at + 4 + len > got.size())
                break;
            EXPECT_EQ(got[at + 4], kAcknowledge);
            EXPECT_EQ(got[at + 5], answers < 3 ? 0 : 1) << "answer " << answers;
            ++answers;
            at += 4 + len;
        }
    }
    EXPECT_EQ(fronts, 1);
    // A wrong service is refused.
    Raw wrong(socket_path);
    wrong.put(frame(kInitiate, std::string("Other\0Vq", 8)));
    char head[6];
    ASSERT_EQ(recv(wrong.fd, head, 6, MSG_WAITALL), 6);
    EXPECT_EQ(head[5], 0);
    EXPECT_TRUE(c.poke("Front"));
    EXPECT_EQ(fronts, 2);
}

TEST_F(ServerTest, DataAnswersWaitForTheAcknowledgementOfClientsThatAskedForIt)
{
    Image* img = image_new(3, 4, "iHrgba");
    std::string error;
    ASSERT_EQ(server_start(socket_path, error), 0) << error;
    server_set_ack_wait(150);
    const unsigned long before = server_send_failures();
    auto failures = [&] { return server_send_failures() - before; };
    auto rounds = [] {
        for (int i = 0; i < 10; ++i)
            server_poll(5);
    };
    auto failures_shown = [&] {
        int n = 0;
        for (const std::string& line : platform.transcript())
            n += line == "Server: DDE send data failed";
        return n;
    };
    Raw acking(socket_path), old(socket_path);
    acking.put(frame(kInitiate, std::string("Glimvq\0Vq\0Ack", 13)));
    old.put(frame(kInitiate, std::string("Glimvq\0Vq", 9)));
    rounds();

    // Three answers in a row: the timer runs until the last is acknowledged.
    for (int i = 0; i < 3; ++i)
        acking.put(frame(kRequest, ""));
    rounds();
    int left = server_timer_ms();
    EXPECT_GE(left, 0);
    EXPECT_LE(left, 151);
    acking.put(frame(kAcknowledge, "\1") + frame(kAcknowledge, "\1"));
    rounds();
    EXPECT_GE(server_timer_ms(), 0);
    acking.put(frame(kAcknowledge, "\1"));
    rounds();
    EXPECT_EQ(server_timer_ms(), -1);

    // None in time: the failure is shown once and the timer stops.
    acking.put(frame(kRequest, "Size"));
    rounds();
    ASSERT_GE(server_timer_ms(), 0);
    server_poll(-1);  // the wait ends when the timer runs out
    for (int i = 0; i < 50 && failures() == 0; ++i)
        server_poll(10);
    EXPECT_EQ(failures(), 1u);
    EXPECT_EQ(failures_shown(), 1);
    EXPECT_EQ(server_timer_ms(), -1);

    // A negative one fails at once, with or without an answer outstanding.
    acking.put(frame(kRequest, ""));
    acking.put(frame(kAcknowledge, std::string("\0row 1 was cut short", 21)));
    rounds();
    EXPECT_EQ(failures(), 2u);
    EXPECT_EQ(server_timer_ms(), -1);
    old.put(frame(kAcknowledge, std::string("\0", 1)));
    rounds();
    EXPECT_EQ(failures(), 3u);
    EXPECT_EQ(failures_shown(), 3);

    // A client that never asked is never waited for; nor is anyone with no wait set.
    old.put(frame(kRequest, ""));
    rounds();
    EXPECT_EQ(server_timer_ms(), -1);
    server_set_ack_wait(0);
    acking.put(frame(kRequest, ""));
    rounds();
    EXPECT_EQ(server_timer_ms(), -1);
    usleep(200000);
    rounds();
    EXPECT_EQ(failures(), 3u);
    server_set_ack_wait(-1);
    EXPECT_EQ(server_ack_wait_ms(), 5000);  // the setting's default
    image_free(img);
}

TEST_F(ServerTest, OurClientAcknowledgesAndWorksWithServersThatDoNotAsk)
{
    std::string file = image_file("rows.bmp", 30, 700);
    ASSERT_TRUE(command("Target: " + file));
    server_set_ack_wait(100);
    const unsigned long before = server_send_failures();
    start_thread();
    Client acking, quiet;
    quiet.set_acknowledging(false);
    ASSERT_TRUE(acking.open(socket_path)) << acking.error();
    ASSERT_TRUE(quiet.open(socket_path)) << quiet.error();
    EXPECT_TRUE(acking.acknowledging());
    EXPECT_FALSE(quiet.acknowledging());
    EXPECT_EQ(acking.extensions(), "Apply Save Script Ack");
    for (Client* c : {&acking, &quiet}) {
        long w = 0, h = 0;
        std::string rgba;
        ASSERT_TRUE(client_read_rows(*c, w, h, rgba, error_text)) << error_text;
        EXPECT_EQ(h, 700);
        EXPECT_EQ(static_cast<uint8_t>(rgba[4 * (699 * 30 + 2) + 1]), 699 & 255);
    }
    usleep(250000);
    stop_thread();
    EXPECT_EQ(server_send_failures(), before);
    server_set_ack_wait(-1);
}

TEST_F(ServerTest, ManyClientsManyCommandsAndClientsThatLeave)
{
    std::string wide = image_file("wide.bmp", 20000, 8);  // rows larger than a socket's buffer
    ASSERT_TRUE(command("Target: " + wide));
    start_thread();

    // A client that asks for rows and leaves without reading them.
    for (int i = 0; i < 3; ++i) {
        Client leaver;
        ASSERT_TRUE(leaver.open(socket_path));
        ASSERT_TRUE(leaver.send_message(kRequest, ""));
        char kind;
        std::string payload;
        ASSERT_TRUE(leaver.read_message(kind, payload));
        EXPECT_EQ(payload.substr(0, 5), "Line ");
        for (int r = 0; r < 6; ++r)
            ASSERT_TRUE(leaver.send_message(kRequest, ""));
    }

    // Twenty at once, each a stream of commands.
    std::vector<std::thread> clients;
    std::atomic<int> good {0};
    for (int i = 0; i < 20; ++i)
        clients.emplace_back([&] {
            Client c;
            if (!c.open(socket_path))
                return;
            int ok = 0;
            for (int k = 0; k < 500; ++k)
                ok += c.execute("Nothing: " + std::to_string(k));
            if (ok == 500)
                ++good;
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(good, 20);

    // 10,000 in a row on one conversation; the rows still come whole.
    Client c;
    ASSERT_TRUE(c.open(socket_path));
    for (int k = 0; k < 10000; ++k)
        ASSERT_TRUE(c.execute("front")) << k;
    long w = 0, h = 0;
    std::string rgba, error;
    ASSERT_TRUE(client_read_rows(c, w, h, rgba, error)) << error;
    EXPECT_EQ(w, 20000);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(static_cast<uint8_t>(rgba[4 * (3 * 20000 + 300) + 0]), 300 & 255);
    EXPECT_EQ(static_cast<uint8_t>(rgba[4 * (3 * 20000 + 300) + 1]), 3);
    c.close();

    // Every conversation ends once its client is gone.
    for (int i = 0; i < 100 && server_conversations() > 0; ++i)
        usleep(20000);
    stop_thread();
    EXPECT_EQ(server_conversations(), 0u);
}

TEST_F(ServerTest, AnotherUserIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    start_thread();
    chmod(socket_path.c_str(), 0666);  // let the other user reach it: the peer check must hold alone
    pid_t child = fork();
    if (child == 0) {
        if (setuid(65534) != 0)
            _exit(3);
        Client c;
        // Refused before a word is read: the conversation never opens.
        _exit(c.open(socket_path) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace

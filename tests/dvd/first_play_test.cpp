// The first-play walk runs in a helper process: the disc's own commands may make libdvdnav assert
// or crash there, and a hung or lying helper is a refused tie-break, never the program's end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <string>

#include "com/debug_log.h"
#include "com/helper_process.h"
#include "dvd/dvd_disc.h"
#include "dvd/first_play.h"
#include "support/test_discs.h"

namespace {

using testing_filters::TestDisc;
namespace fs = std::filesystem;

// A helper of the test's own, in place of the real one, while it lives.
class StandInHelper {
public:
    StandInHelper(const std::string& name, const std::string& script, int timeLimitMs = 0)
        : m_path(fs::temp_directory_path() / ("zz-first-play-" + name + "-" + std::to_string(::getpid())))
    {
        std::ofstream(m_path) << "#!/bin/sh\n" << script << "\n";
        fs::permissions(m_path, fs::perms::owner_all);
        SetFirstPlayHelperForTests(m_path.string(), timeLimitMs);
    }
    ~StandInHelper()
    {
        SetFirstPlayHelperForTests({});
        std::error_code error;
        fs::remove(m_path, error);
    }

private:
    fs::path m_path;
};

TEST(FirstPlay, TheHelperFollowsTheDiscsFirstPlay)
{
    const std::string disc = TestDisc("tied_titles");
    if (disc.empty()) GTEST_SKIP() << "ZUZIDERO_TEST_DISCS is not set";
    ASSERT_FALSE(FindHelperProgram(kFirstPlayHelper).empty()) << "the helper is built beside the programs";
    std::string why = "untouched";
    EXPECT_EQ(FirstPlayedTitle(disc, {0, 1}, &why), 1) << why;
    EXPECT_TRUE(why.empty());
    // Only the titles asked about count.
    EXPECT_EQ(FirstPlayedTitle(disc, {0}, &why), -1);
    auto opened = DvdDisc::Open(disc);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->MainTitle(), 1);
}

TEST(FirstPlay, CommandsThatCrashLibdvdnavAreARefusedTieBreak)
{
    const std::string root = TestDisc("hostile");
    if (root.empty()) GTEST_SKIP() << "ZUZIDERO_TEST_DISCS is not set";
    // libdvdnav asserts on each of these (SIGABRT in the helper).
    for (const char* name : {"fp_jump_title_99", "fp_call_system_menu", "fp_jump_system_menu", "fp_link_cell_zero", "fp_link_self"}) {
        SCOPED_TRACE(name);
        std::string why;
        EXPECT_EQ(FirstPlayedTitle(root + "/" + name, {0, 1}, &why), -1);
        EXPECT_NE(why.find("signal 6"), std::string::npos) << why;
        // The disc still has its main title: the first listed of the longest.
        std::string log;
        const DebugLogSink previous = SetDebugLogSink([&](const std::string& line) { log += line; });
        auto disc = DvdDisc::Open(root + "/" + name);
        ASSERT_TRUE(disc);
        EXPECT_EQ(disc->MainTitle(), 0);
        SetDebugLogSink(previous);
        EXPECT_NE(log.find("the first play is not followed (the helper was killed by signal 6"), std::string::npos) << log;
    }
    // The rest may crash (a sanitizer's report), answer, or reach nothing: never more than that.
    for (const char* name : {"fp_divide", "menu_units_ffff", "menu_unit_past_end"}) {
        SCOPED_TRACE(name);
        const int title = FirstPlayedTitle(root + "/" + name, {0, 1});
        EXPECT_TRUE(title >= -1 && title <= 1) << title;
        auto disc = DvdDisc::Open(root + "/" + name);
        ASSERT_TRUE(disc);
        EXPECT_TRUE(disc->MainTitle() == 0 || disc->MainTitle() == 1);
    }
}

TEST(FirstPlay, AHelperThatHangsIsKilledAtItsTimeLimit)
{
    StandInHelper helper("hang", "exec sleep 600", 300);
    std::string why;
    EXPECT_EQ(FirstPlayedTitle("/nowhere", {0, 1}, &why), -1);
    EXPECT_NE(why.find("did not end within"), std::string::npos) << why;
}

TEST(FirstPlay, AHelperThatClosesItsOutputAndGoesOnIsStillTimed)
{
    StandInHelper helper("silent", "exec >&- 2>&-; exec sleep 600", 300);
    std::string why;
    EXPECT_EQ(FirstPlayedTitle("/nowhere", {0, 1}, &why), -1);
    EXPECT_NE(why.find("did not end within"), std::string::npos) << why;
}

TEST(FirstPlay, NonsenseFromTheHelperIsRefused)
{
    struct Case {
        const char* script;
        const char* said;
    };
    for (const Case& c : {Case{"echo first-play 7", "nonsense"},           // not a title asked about
                          Case{"echo first-play 1; echo more", "nonsense"}, // more than its answer
                          Case{"echo 1", "nonsense"},
                          Case{"printf 'first-play 1'", "nonsense"},        // no line's end
                          Case{"echo first-play 1; exit 3", "exited with status 3"},
                          Case{"kill -SEGV $$", "signal 11"},
                          Case{"exec yes first-play", "wrote more than"}}) {
        SCOPED_TRACE(c.script);
        StandInHelper helper("nonsense", c.script);
        std::string why;
        EXPECT_EQ(FirstPlayedTitle("/nowhere", {0, 1}, &why), -1);
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
    StandInHelper good("good", "echo first-play 1");
    EXPECT_EQ(FirstPlayedTitle("/nowhere", {0, 1}), 1);
}

TEST(HelperProcess, NothingOfOursReachesTheHelper)
{
    // A descriptor of ours without close-on-exec, and SIGPIPE ignored (as the command line does).
    const int ours = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(ours, 3);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    // ls lists 0-2 and the folder it reads (3); read meets the end of /dev/null.
    const HelperOutcome fds = RunHelperProcess("/bin/sh", {"-c", "ls /proc/self/fd; read x; echo read $?; grep SigIgn /proc/self/status"});
    sigaction(SIGPIPE, &previous, nullptr);
    ::close(ours);
    ASSERT_TRUE(fds.Succeeded()) << fds.Describe({}) << fds.err;
    const std::string ignored = "SigIgn:\t";
    ASSERT_EQ(fds.out.rfind("0\n1\n2\n3\nread 1\n" + ignored, 0), 0u) << fds.out;
    const unsigned long long mask = std::stoull(fds.out.substr(fds.out.find(ignored) + ignored.size()), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u) << "SIGPIPE stays ignored in the helper";
    // The memory limit: the address space, or the sanitizers' own limit under them.
    HelperLimits limits;
    limits.memoryBytes = 300u << 20;
    const HelperOutcome memory = RunHelperProcess("/bin/sh", {"-c", "ulimit -v; echo \"$ASAN_OPTIONS\""}, limits);
    ASSERT_TRUE(memory.Succeeded());
    EXPECT_TRUE(memory.out.rfind("307200\n", 0) == 0 || memory.out.find("hard_rss_limit_mb=300") != std::string::npos) << memory.out;
    // Its stderr comes back apart from its stdout.
    const HelperOutcome both = RunHelperProcess("/bin/sh", {"-c", "echo out; echo err >&2; exit 4"});
    EXPECT_EQ(both.end, HelperOutcome::End::kExited);
    EXPECT_EQ(both.status, 4);
    EXPECT_EQ(both.out, "out\n");
    EXPECT_EQ(both.err, "err\n");
}

TEST(FirstPlay, AMissingHelperIsSaid)
{
    SetFirstPlayHelperForTests("/nonexistent/zuzidero-first-play");
    std::string why;
    EXPECT_EQ(FirstPlayedTitle("/nowhere", {0, 1}, &why), -1);
    EXPECT_NE(why.find("could not be started"), std::string::npos) << why;
    SetFirstPlayHelperForTests({});
}

} // namespace

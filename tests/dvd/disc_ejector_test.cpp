// Ejecting a disc the desktop mounted: unmounted through UDisks2 first, then the tray opened
// through UDisks2's drive; when the disc is in use, who holds it is said. A stand-in UDisks2 of the
// test's own answers on a private message bus that DBUS_SYSTEM_BUS_ADDRESS points at.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dvd/disc_ejector.h"

extern char** environ;

namespace {

// A dbus-daemon of the test's own, ended with it.
class PrivateBus {
public:
    PrivateBus()
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char program[] = "dbus-daemon";
        char session[] = "--session";
        char nofork[] = "--nofork";
        char print[] = "--print-address";
        char* argv[] = {program, session, nofork, print, nullptr};
        const int spawned = posix_spawnp(&m_pid, program, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            m_pid = -1;
            ::close(out[0]);
            return;
        }
        // Its address, one line, once it listens.
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') m_address += c;
        ::close(out[0]);
    }
    ~PrivateBus()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

// What the stand-in UDisks2 knows and was asked.
struct Desktop {
    bool mounted = true;
    bool busy = false;       // the unmount fails: another program holds the disc
    std::string mountPoint;
    std::atomic<int> unmounts{0};
    std::atomic<int> ejects{0};
};

constexpr const char* kBlock = "/org/freedesktop/UDisks2/block_devices/sr9";
constexpr const char* kDrive = "/org/freedesktop/UDisks2/drives/Test_Drive";

int ResolveDevice(sd_bus_message* call, void*, sd_bus_error*)
{
    const char *key = nullptr, *path = nullptr;
    sd_bus_message_enter_container(call, 'a', "{sv}");
    sd_bus_message_enter_container(call, 'e', "sv");
    sd_bus_message_read(call, "s", &key);
    sd_bus_message_read(call, "v", "s", &path);
    const bool known = path && std::strcmp(path, "/dev/sr9") == 0;
    sd_bus_message* reply = nullptr;
    sd_bus_message_new_method_return(call, &reply);
    sd_bus_message_open_container(reply, 'a', "o");
    if (known) sd_bus_message_append(reply, "o", kBlock);
    sd_bus_message_close_container(reply);
    const int r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int MountPoints(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data, sd_bus_error*)
{
    const Desktop& desktop = *static_cast<Desktop*>(data);
    sd_bus_message_open_container(reply, 'a', "ay");
    if (desktop.mounted) sd_bus_message_append_array(reply, 'y', desktop.mountPoint.c_str(), desktop.mountPoint.size() + 1);
    return sd_bus_message_close_container(reply);
}

int Unmount(sd_bus_message* call, void* data, sd_bus_error* error)
{
    Desktop& desktop = *static_cast<Desktop*>(data);
    ++desktop.unmounts;
    if (desktop.busy) return sd_bus_error_set(error, "org.freedesktop.UDisks2.Error.DeviceBusy", "target is busy");
    desktop.mounted = false;
    return sd_bus_reply_method_return(call, "");
}

int DriveOf(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*)
{
    return sd_bus_message_append(reply, "o", kDrive);
}

int Eject(sd_bus_message* call, void* data, sd_bus_error* error)
{
    Desktop& desktop = *static_cast<Desktop*>(data);
    if (desktop.mounted) return sd_bus_error_set(error, "org.freedesktop.UDisks2.Error.Failed", "the disc is mounted");
    ++desktop.ejects;
    return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable kManager[] = {SD_BUS_VTABLE_START(0),
                                  SD_BUS_METHOD("ResolveDevice", "a{sv}a{sv}", "ao", ResolveDevice, SD_BUS_VTABLE_UNPRIVILEGED),
                                  SD_BUS_VTABLE_END};
const sd_bus_vtable kFilesystem[] = {SD_BUS_VTABLE_START(0), SD_BUS_PROPERTY("MountPoints", "aay", MountPoints, 0, 0),
                                     SD_BUS_METHOD("Unmount", "a{sv}", "", Unmount, SD_BUS_VTABLE_UNPRIVILEGED), SD_BUS_VTABLE_END};
const sd_bus_vtable kBlockInterface[] = {SD_BUS_VTABLE_START(0), SD_BUS_PROPERTY("Drive", "o", DriveOf, 0, 0), SD_BUS_VTABLE_END};
const sd_bus_vtable kDriveInterface[] = {SD_BUS_VTABLE_START(0),
                                         SD_BUS_METHOD("Eject", "a{sv}", "", Eject, SD_BUS_VTABLE_UNPRIVILEGED), SD_BUS_VTABLE_END};

// The stand-in UDisks2, serving on its own thread until it goes.
class StandInUdisks {
public:
    StandInUdisks(const std::string& address, Desktop& desktop)
    {
        if (sd_bus_new(&m_bus) < 0 || sd_bus_set_address(m_bus, address.c_str()) < 0 || sd_bus_set_bus_client(m_bus, 1) < 0 ||
            sd_bus_start(m_bus) < 0)
            return;
        sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager", kManager, &desktop);
        sd_bus_add_object_vtable(m_bus, nullptr, kBlock, "org.freedesktop.UDisks2.Filesystem", kFilesystem, &desktop);
        sd_bus_add_object_vtable(m_bus, nullptr, kBlock, "org.freedesktop.UDisks2.Block", kBlockInterface, &desktop);
        sd_bus_add_object_vtable(m_bus, nullptr, kDrive, "org.freedesktop.UDisks2.Drive", kDriveInterface, &desktop);
        m_ready = sd_bus_request_name(m_bus, "org.freedesktop.UDisks2", 0) >= 0;
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int r = sd_bus_process(m_bus, nullptr);
                if (r < 0) break;
                if (r == 0) sd_bus_wait(m_bus, 50000); // a server's loop: woken by the next call
            }
        });
    }
    ~StandInUdisks()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_bus) sd_bus_flush_close_unref(m_bus);
    }
    bool Ready() const { return m_ready; }

private:
    sd_bus* m_bus = nullptr;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class DiscEjectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (m_bus.Address().empty()) GTEST_SKIP() << "dbus-daemon cannot be started here";
        const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        m_oldAddress = old ? old : "";
        m_hadAddress = old != nullptr;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.Address().c_str(), 1);
        m_folder = std::filesystem::temp_directory_path() / ("zz-eject-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder / "MY_MOVIE");
        m_desktop.mountPoint = (m_folder / "MY_MOVIE").string();
    }
    void TearDown() override
    {
        if (m_hadAddress)
            setenv("DBUS_SYSTEM_BUS_ADDRESS", m_oldAddress.c_str(), 1);
        else
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

    PrivateBus m_bus;
    Desktop m_desktop;
    std::filesystem::path m_folder;
    std::string m_oldAddress;
    bool m_hadAddress = false;
};

TEST_F(DiscEjectorTest, AMountedDiscIsUnmountedThenEjected)
{
    StandInUdisks udisks(m_bus.Address(), m_desktop);
    ASSERT_TRUE(udisks.Ready());
    std::string why;
    EXPECT_TRUE(EjectDisc("/dev/sr9", &why)) << why;
    EXPECT_EQ(m_desktop.unmounts, 1);
    EXPECT_EQ(m_desktop.ejects, 1);
    EXPECT_FALSE(m_desktop.mounted);
}

TEST_F(DiscEjectorTest, ADiscInUseSaysWhoHoldsIt)
{
    m_desktop.busy = true;
    StandInUdisks udisks(m_bus.Address(), m_desktop);
    ASSERT_TRUE(udisks.Ready());
    // This test holds a file on the disc open.
    const int held = ::open((m_folder / "MY_MOVIE").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    std::string why;
    EXPECT_FALSE(EjectDisc("/dev/sr9", &why));
    ::close(held);
    EXPECT_EQ(m_desktop.ejects, 0) << "the tray opened while the disc was mounted";
    EXPECT_NE(why.find("the disc is in use and cannot be unmounted from " + m_desktop.mountPoint + ": it is held by "), std::string::npos) << why;
    EXPECT_NE(why.find("(" + std::to_string(::getpid()) + ")"), std::string::npos) << why;
}

TEST_F(DiscEjectorTest, WithoutUdisksTheDriveIsAskedItself)
{
    // No one answers for UDisks2 on the bus: the drive itself is asked (here a device that is
    // not there, which says so).
    std::string why;
    EXPECT_FALSE(EjectDisc("/nonexistent/sr9", &why));
    EXPECT_EQ(why, "/nonexistent/sr9: No such file or directory");
}

TEST(DiscHolders, TheProgramsThatHoldFilesUnderAFolder)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("zz-holders-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "inner");
    EXPECT_EQ(HoldersOf(folder.string()).find("(" + std::to_string(::getpid()) + ")"), std::string::npos);
    const int held = ::open((folder / "inner").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const std::string holders = HoldersOf(folder.string());
    ::close(held);
    EXPECT_NE(holders.find("(" + std::to_string(::getpid()) + ")"), std::string::npos) << holders;
    // A folder whose name begins like the held one's is another folder.
    EXPECT_EQ(HoldersOf(folder.string() + "-other"), "");
    std::filesystem::remove_all(folder);
}

} // namespace

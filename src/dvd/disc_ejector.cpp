#include "dvd/disc_ejector.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "com/debug_log.h"

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusPtr = std::unique_ptr<sd_bus, BusUnref>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

// An sd-bus error, freed with it.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&error); }
    sd_bus_error* operator&() { return &error; }
    std::string Text() const { return error.message ? error.message : error.name ? error.name : "no answer"; }
    // UDisks2 is not there to be asked (no desktop).
    bool NoService() const
    {
        return sd_bus_error_has_names(&error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                                      SD_BUS_ERROR_UNKNOWN_OBJECT, SD_BUS_ERROR_UNKNOWN_METHOD);
    }
};

// The drive's own eject, where nothing mounted the disc.
bool OpenTray(const std::string& device, std::string* why)
{
    const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = device + ": " + std::strerror(errno);
        return false;
    }
    const int result = ::ioctl(fd, CDROMEJECT, 0);
    const int error = errno;
    ::close(fd);
    if (result != 0) *why = device + ": " + std::strerror(error) + (error == EBUSY ? " (the disc is in use)" : "");
    return result == 0;
}

// The object UDisks2 keeps for a device, or empty; `error` says why.
std::string BlockObject(sd_bus* bus, const std::string& device, BusError& error)
{
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(bus, kService, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager", "ResolveDevice",
                           &error, &raw, "a{sv}a{sv}", 1, "path", "s", device.c_str(), 0) < 0)
        return {};
    MessagePtr reply(raw);
    const char* path = nullptr;
    if (sd_bus_message_enter_container(reply.get(), 'a', "o") < 0 || sd_bus_message_read(reply.get(), "o", &path) <= 0 || !path)
        return {};
    return path;
}

// Where the desktop mounted the block object's file system (none: not mounted).
std::vector<std::string> MountPoints(sd_bus* bus, const std::string& block)
{
    std::vector<std::string> points;
    BusError error;
    sd_bus_message* raw = nullptr;
    if (sd_bus_get_property(bus, kService, block.c_str(), "org.freedesktop.UDisks2.Filesystem", "MountPoints", &error, &raw, "aay") < 0)
        return points; // no file system on it
    MessagePtr reply(raw);
    if (sd_bus_message_enter_container(reply.get(), 'a', "ay") < 0) return points;
    const void* bytes = nullptr;
    std::size_t size = 0;
    while (sd_bus_message_read_array(reply.get(), 'y', &bytes, &size) > 0) {
        std::string point(static_cast<const char*>(bytes), size);
        while (!point.empty() && point.back() == '\0') point.pop_back();
        if (!point.empty()) points.push_back(point);
    }
    return points;
}

} // namespace

std::string HoldersOf(const std::string& folder, const std::string& proc)
{
    namespace fs = std::filesystem;
    const auto under = [&](const fs::path& target) {
        const std::string t = target.string();
        return t == folder || (t.size() > folder.size() && t.compare(0, folder.size(), folder) == 0 && t[folder.size()] == '/');
    };
    std::vector<std::string> holders;
    std::error_code error;
    for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        bool holds = false;
        std::error_code inner;
        const fs::path cwd = fs::read_symlink(it->path() / "cwd", inner);
        holds = !inner && under(cwd);
        for (fs::directory_iterator fd(it->path() / "fd", inner), last; !holds && !inner && fd != last; fd.increment(inner)) {
            std::error_code link;
            const fs::path target = fs::read_symlink(fd->path(), link);
            holds = !link && under(target);
        }
        if (!holds) continue;
        std::string name;
        std::getline(std::ifstream(it->path() / "comm"), name);
        holders.push_back((name.empty() ? std::string("a program") : name) + " (" + pid + ")");
    }
    std::string text;
    for (const std::string& h : holders) text += (text.empty() ? "" : ", ") + h;
    return text;
}

bool EjectDisc(const std::string& device, std::string* why)
{
    std::string ignored;
    if (!why) why = &ignored;
    sd_bus* raw = nullptr;
    if (sd_bus_open_system(&raw) < 0) {
        DebugLog("eject: no system bus: the drive is asked itself\n");
        return OpenTray(device, why);
    }
    BusPtr bus(raw);
    BusError resolved;
    const std::string block = BlockObject(bus.get(), device, resolved);
    if (block.empty()) {
        DebugLog("eject: UDisks2 does not know %s (%s): the drive is asked itself\n", device.c_str(), resolved.Text().c_str());
        return OpenTray(device, why);
    }
    // What the desktop mounted goes first: the kernel keeps a mounted disc's tray shut.
    for (const std::string& point : MountPoints(bus.get(), block)) {
        BusError error;
        if (sd_bus_call_method(bus.get(), kService, block.c_str(), "org.freedesktop.UDisks2.Filesystem", "Unmount", &error, nullptr,
                               "a{sv}", 0) < 0) {
            const std::string holders = HoldersOf(point);
            *why = "the disc is in use and cannot be unmounted from " + point +
                   (holders.empty() ? " (" + error.Text() + ")" : ": it is held by " + holders);
            return false;
        }
        DebugLog("eject: unmounted %s\n", point.c_str());
    }
    BusError driveError;
    sd_bus_message* reply = nullptr;
    const char* drive = nullptr;
    if (sd_bus_get_property(bus.get(), kService, block.c_str(), "org.freedesktop.UDisks2.Block", "Drive", &driveError, &reply, "o") < 0)
        return OpenTray(device, why);
    MessagePtr owned(reply);
    if (sd_bus_message_read(reply, "o", &drive) <= 0 || !drive || std::strcmp(drive, "/") == 0) return OpenTray(device, why);
    BusError error;
    if (sd_bus_call_method(bus.get(), kService, drive, "org.freedesktop.UDisks2.Drive", "Eject", &error, nullptr, "a{sv}", 0) < 0) {
        if (error.NoService()) return OpenTray(device, why);
        *why = device + ": the tray did not open (" + error.Text() + ")";
        return false;
    }
    return true;
}

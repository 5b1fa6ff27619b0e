#pragma once
// Ejecting a drive's disc on a desktop. The desktop mounts a disc it sees (UDisks2), and the
// kernel will not open the tray while the disc is mounted or another program holds it: so the
// disc is unmounted through UDisks2 first, then the tray opened through UDisks2's drive (or the
// drive itself, where there is no UDisks2: a machine without a desktop). UDisks2 is asked over the
// system bus with sd-bus; DBUS_SYSTEM_BUS_ADDRESS moves it (tests). Any thread; blocks while the
// desktop unmounts and the tray opens.

#include <string>

// Unmounts what the desktop mounted of `device` ("/dev/sr0") and opens its tray; false with the
// reason in `why` ("the disc is in use: /media/user/MY_MOVIE is held by nautilus (1234)"). The
// caller lets go of the disc first: a disc it holds open keeps the tray shut.
bool EjectDisc(const std::string& device, std::string* why);

// The programs that hold files or folders under `folder` open (their working folder, an open
// file): "nautilus (1234), bash (987)", or empty. `proc` is where the process table is.
std::string HoldersOf(const std::string& folder, const std::string& proc = "/proc");

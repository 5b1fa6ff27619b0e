#pragma once
// What the command-line tool's commands share: exit statuses, usage errors, time texts.

#include <memory>
#include <string>

#include "workspace/workspace.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // a conversion failed
constexpr int kExitBadInput = 2; // bad arguments or an unreadable disc
constexpr int kExitDamaged = 3;  // every file written, but parts of the disc could not be read

// Prints the usage with a reason on stderr; returns kExitBadInput.
int UsageError(const std::string& reason);
// Prints the usage on stdout.
void PrintUsage();
// "--help" or "-h": every command takes it.
inline bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }
// "HH:MM:SS" of a length in milliseconds (rounded down to the second).
std::string FormatDuration(double milliseconds);

// The command line as a face of the workspace: it asks, and waits for the step's event.
// Opens a source whatever its titles; null with the reason in `why`.
std::shared_ptr<SourceDisc> LoadSource(Workspace& work, const std::string& path, std::string* why);
// Scans a title of the loaded disc (pictures 0: it could not be scanned).
TitleScanResult ScanSource(Workspace& work, int title);
// Prints an engine failure on stderr, with the plain sentence of what it means and what to try
// on the next line where it has one.
void PrintFailure(const std::string& text);

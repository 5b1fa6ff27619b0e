#pragma once
// Preferences: the values that survive between runs (output folder, snapshot folder, snapshot
// image type, action after conversion, CPU usage, deinterlacing), kept with QSettings under the
// organisation "ZuZidero" and the product title, and written only when they change. Also the
// format selector's last choice in setting.ini.

#include <QString>
#include <QVariant>
#include <utility>

struct Preferences {
    QString outFolder;
    QString snapFolder;
    QString imageType = QStringLiteral("BMP");
    QString action = QStringLiteral("No Action");
    int cpuUsage = 50;
    // How pictures are deinterlaced: "Auto" (those the disc marks as interlaced), "Always" or
    // "Never"; kept as "strDeinterlace".
    QString deinterlace = QStringLiteral("Auto");
    // The same as the engine's mode (kDeinterlaceAuto, On, Off).
    int DeinterlaceMode() const;
    // Which titles are ticked when a disc is loaded: "Every title" (as before), "The main title
    // only", or "Titles longer than" `tickMinutes` minutes; kept as "strTickOnLoad" and
    // "tick_minutes".
    QString tickOnLoad = QStringLiteral("The main title only");
    int tickMinutes = 20;
    // Each title's black bars are found and cropped when it is converted; kept as "crop_auto".
    bool autoCrop = false;
    // The folder the last disc, image or file was loaded from: the next file dialog opens there;
    // kept as "strLastFolder".
    QString lastFolder;
    // How output files are named: a pattern of "{disc}", "{title}" and "{chapter}"; empty gives
    // Title_01 and Chapter_01_02. Kept as "strNamePattern".
    QString namePattern;

    // The defaults: the user's Videos and Pictures folders.
    static Preferences Defaults();
    // The defaults, then every stored value that can be read.
    static Preferences Load(const QString& productTitle);
    // Writes one value (a text, or "cpu_usage" as a number); false when the store cannot be
    // written.
    static bool Write(const QString& productTitle, const QString& name, const QVariant& value);
    // The file the preferences are kept in ("~/.config/ZuZidero/ZuZidero DVD Ripper.conf").
    static QString StorePath(const QString& productTitle);
};

// setting.ini in the user's configuration folder: section "SETTING", "DEFULTID" and
// "DEFULTSUBID".
QString SettingIniPath();
std::pair<int, int> LoadSelectorChoice();
void SaveSelectorChoice(int category, int command);

// Snapshot file name: folder, "/", local time "%Y-%m-%d %H-%M-%S", ".", image type.
QString SnapshotFileName(const QString& folder, const QString& imageType, const struct tm& localTime);
// `path`, or when a file has that name already, the first free "name (2).ext", "name (3).ext"...
QString FreeFileName(const QString& path);

#include "app/preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <ctime>

#include "convert/video_conversion_filter.h"

namespace {
QString OrDefault(const QString& value, const QString& fallback) { return value.isEmpty() ? fallback : value; }
} // namespace

Preferences Preferences::Defaults()
{
    Preferences p;
    p.outFolder = OrDefault(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation), QDir::homePath());
    p.snapFolder = OrDefault(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), QDir::homePath());
    return p;
}

Preferences Preferences::Load(const QString& productTitle)
{
    Preferences p = Defaults();
    QSettings store(QStringLiteral("ZuZidero"), productTitle);
    auto text = [&](const char* name, QString& value) {
        const QVariant v = store.value(QString::fromLatin1(name));
        if (v.isValid() && v.canConvert<QString>()) value = v.toString();
    };
    text("strOutFolder", p.outFolder);
    text("strSnapFolder", p.snapFolder);
    text("strImageType", p.imageType);
    text("strAction", p.action);
    text("strDeinterlace", p.deinterlace);
    text("strTickOnLoad", p.tickOnLoad);
    text("strLastFolder", p.lastFolder);
    text("strNamePattern", p.namePattern);
    bool ok = false;
    if (const int minutes = store.value(QStringLiteral("tick_minutes")).toInt(&ok); ok && minutes >= 0) p.tickMinutes = minutes;
    if (const QVariant crop = store.value(QStringLiteral("crop_auto")); crop.isValid()) p.autoCrop = crop.toBool();
    const int cpu = store.value(QStringLiteral("cpu_usage")).toInt(&ok);
    if (ok) p.cpuUsage = cpu;
    return p;
}

int Preferences::DeinterlaceMode() const
{
    if (deinterlace == QStringLiteral("Always")) return kDeinterlaceOn;
    if (deinterlace == QStringLiteral("Never")) return kDeinterlaceOff;
    return kDeinterlaceAuto;
}

bool Preferences::Write(const QString& productTitle, const QString& name, const QVariant& value)
{
    QSettings store(QStringLiteral("ZuZidero"), productTitle);
    if (!store.isWritable()) return false;
    store.setValue(name, value);
    store.sync();
    return store.status() == QSettings::NoError;
}

QString Preferences::StorePath(const QString& productTitle) { return QSettings(QStringLiteral("ZuZidero"), productTitle).fileName(); }

QString SettingIniPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return folder + QStringLiteral("/setting.ini");
}

std::pair<int, int> LoadSelectorChoice()
{
    QSettings ini(SettingIniPath(), QSettings::IniFormat);
    return {ini.value(QStringLiteral("SETTING/DEFULTID"), 0).toInt(), ini.value(QStringLiteral("SETTING/DEFULTSUBID"), 0).toInt()};
}

void SaveSelectorChoice(int category, int command)
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QSettings ini(SettingIniPath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("SETTING/DEFULTID"), QString::number(category));
    ini.setValue(QStringLiteral("SETTING/DEFULTSUBID"), QString::number(command));
}

QString SnapshotFileName(const QString& folder, const QString& imageType, const struct tm& localTime)
{
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &localTime);
    return folder + QStringLiteral("/") + QString::fromLatin1(stamp) + QStringLiteral(".") + imageType;
}

QString FreeFileName(const QString& path)
{
    if (!QFileInfo::exists(path)) return path;
    const QFileInfo info(path);
    const QString stem = info.path() + QStringLiteral("/") + info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QStringLiteral(".") + info.suffix();
    for (int n = 2;; ++n) {
        const QString candidate = stem + QStringLiteral(" (%1)").arg(n) + suffix;
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

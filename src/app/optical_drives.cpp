#include "app/optical_drives.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dvd/disc_ejector.h"

namespace {

QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// The drives /proc/sys/dev/cdrom/info names ("drive name:  sr1  sr0").
QStringList CdromInfoNames(const QString& text)
{
    for (const QString& line : text.split('\n')) {
        if (!line.startsWith(QStringLiteral("drive name:"))) continue;
        return line.mid(11).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    }
    return {};
}

} // namespace

QList<OpticalMount> OpticalMountsOf(const QString& mounts)
{
    QList<OpticalMount> found;
    for (const QString& line : mounts.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() < 3 || (fields[2] != QStringLiteral("udf") && fields[2] != QStringLiteral("iso9660"))) continue;
        // Blanks in the mount point are written as \040.
        found.append({fields[0], QString(fields[1]).replace(QStringLiteral("\\040"), QStringLiteral(" "))});
    }
    return found;
}

COpticalDrives::COpticalDrives(QObject* parent) : COpticalDrives(Places{}, parent) {}

COpticalDrives::COpticalDrives(Places places, QObject* parent)
    : QObject(parent), m_places(std::move(places)), m_reading(Read())
{
    connect(&m_poll, &QTimer::timeout, this, &COpticalDrives::Refresh);
}

void COpticalDrives::Watch() { m_poll.start(2000); }

const COpticalDrives::Drive* COpticalDrives::DriveOf(const QString& path) const
{
    for (const Drive& drive : m_reading.drives)
        if (drive.device == path || (!drive.mountPoint.isEmpty() && drive.mountPoint == path)) return &drive;
    return nullptr;
}

void COpticalDrives::Refresh()
{
    Reading now = Read();
    if (now == m_reading) return;
    m_reading = std::move(now);
    emit changed();
}

COpticalDrives::Reading COpticalDrives::Read() const
{
    // The kernel's block devices of optical drives, and those its cdrom driver lists.
    QStringList names = QDir(m_places.sysBlock).entryList({QStringLiteral("sr*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : CdromInfoNames(ReadText(m_places.cdromInfo)))
        if (!names.contains(name)) names << name;
    names.sort();
    const QList<OpticalMount> mounts = OpticalMountsOf(ReadText(m_places.mounts));
    Reading reading;
    QList<Drive>& drives = reading.drives;
    for (const QString& name : names) {
        Drive drive;
        drive.device = m_places.dev + QLatin1Char('/') + name;
        const QString block = m_places.sysBlock + QLatin1Char('/') + name;
        drive.model = (ReadText(block + QStringLiteral("/device/vendor")) + QLatin1Char(' ') +
                       ReadText(block + QStringLiteral("/device/model")))
                          .simplified();
        // An empty drive has no capacity.
        drive.hasDisc = ReadText(block + QStringLiteral("/size")).toLongLong() > 0;
        for (const OpticalMount& mount : mounts)
            if (mount.device == drive.device) drive.mountPoint = mount.folder;
        drives << drive;
    }
    for (const OpticalMount& mount : mounts)
        if (std::none_of(drives.begin(), drives.end(), [&](const Drive& d) { return d.device == mount.device; }))
            reading.otherMounts << mount.folder;
    return reading;
}

bool COpticalDrives::Eject(const QString& device, QString* why)
{
    if (m_eject) return m_eject(device, why);
    std::string reason;
    const bool ejected = EjectDisc(QFile::encodeName(device).toStdString(), &reason);
    if (!ejected && why) *why = QString::fromStdString(reason);
    return ejected;
}

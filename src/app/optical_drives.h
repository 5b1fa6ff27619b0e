#pragma once
// COpticalDrives: the machine's optical drives and whether each holds a disc, read from the
// kernel's view of them (/sys/block/sr*, /proc/sys/dev/cdrom/info) and the mounted discs
// (/proc/mounts). A stand-in for each of those files can be given, so that tests can insert and
// take out discs. Looked at again every two seconds while Watch runs; `changed` tells of a drive
// or a disc that came or went.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class COpticalDrives : public QObject {
    Q_OBJECT
public:
    struct Drive {
        QString device; // "/dev/sr0"
        QString model;  // vendor and model, as the drive names itself; may be empty
        bool hasDisc = false;
        QString mountPoint; // where the desktop mounted its disc, if it did
        bool operator==(const Drive&) const = default;
    };
    struct Places {
        QString sysBlock = QStringLiteral("/sys/block");
        QString cdromInfo = QStringLiteral("/proc/sys/dev/cdrom/info");
        QString mounts = QStringLiteral("/proc/mounts");
        QString dev = QStringLiteral("/dev");
    };

    explicit COpticalDrives(QObject* parent = nullptr);
    COpticalDrives(Places places, QObject* parent);

    const QList<Drive>& Drives() const { return m_reading.drives; }
    // Mount points of discs (UDF, ISO 9660) that no listed drive holds: a USB drive, an image.
    const QStringList& OtherMountedDiscs() const { return m_reading.otherMounts; }
    // The drive whose device or mount point is `path`, or null.
    const Drive* DriveOf(const QString& path) const;
    // Reads the drives again; emits `changed` when they differ from the last reading.
    void Refresh();
    // Refreshes every two seconds until destroyed.
    void Watch();

    // Unmounts what the desktop mounted of the drive's disc and opens its tray (EjectDisc; the
    // disc must no longer be open here); false with the reason, who holds the disc among it.
    bool Eject(const QString& device, QString* why);
    // Tests stand in for the tray.
    void SetEjector(std::function<bool(const QString& device, QString* why)> eject) { m_eject = std::move(eject); }

signals:
    void changed();

private:
    struct Reading {
        QList<Drive> drives;
        QStringList otherMounts;
        bool operator==(const Reading&) const = default;
    };
    Reading Read() const;

    Places m_places;
    Reading m_reading;
    QTimer m_poll;
    std::function<bool(const QString&, QString*)> m_eject;
};

// The discs (UDF or ISO 9660) in /proc/mounts' text: their devices and mount points.
struct OpticalMount {
    QString device;
    QString folder;
};
QList<OpticalMount> OpticalMountsOf(const QString& mounts);

#pragma once
// CDriveMenu: the optical drives in the Add File menu, one entry each (greyed while it holds no
// disc), kept up to date as discs go in and out; the File menu's Eject, offered while the loaded
// source is a drive's disc; and which discs Load DVD can read.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class COpticalDrives;
class QAction;
class QMenu;

class CDriveMenu : public QObject {
    Q_OBJECT
public:
    // The entries go at the end of `addMenu`; `eject` is enabled and disabled.
    CDriveMenu(QMenu* addMenu, QAction* eject, QObject* parent);
    // Takes the drives over (tests give stand-ins reading files), and lists them.
    void UseDrives(COpticalDrives* drives);
    COpticalDrives* Drives() const { return m_drives; }
    // The source loaded now (empty: none): Eject is offered while it is a drive's.
    void ShowLoaded(const QString& path);
    // What Load DVD can read: the drives that hold a disc, then discs the desktop mounted from
    // elsewhere (a USB drive). Empty, with the message that says what to do instead, when none.
    QStringList DiscsToLoad(QString* message);

signals:
    // A drive's entry was chosen.
    void loadRequested(const QString& device);

private:
    void List();

    QMenu* m_addMenu;
    QAction* m_eject;
    COpticalDrives* m_drives = nullptr;
    QList<QAction*> m_entries;
    QString m_loaded;
};

// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/drive_menu.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "app/optical_drives.h"

CDriveMenu::CDriveMenu(QMenu* addMenu, QAction* eject, QObject* parent) : QObject(parent), m_addMenu(addMenu), m_eject(eject)
{
    m_eject->setEnabled(false);
}

void CDriveMenu::UseDrives(COpticalDrives* drives)
{
    if (drives == m_drives) return;
    delete m_drives;
    m_drives = drives;
    m_drives->setParent(this);
    connect(m_drives, &COpticalDrives::changed, this, &CDriveMenu::List);
    List();
}

void CDriveMenu::List()
{
    for (QAction* action : m_entries) {
        m_addMenu->removeAction(action);
        action->deleteLater();
    }
    m_entries.clear();
    const QList<COpticalDrives::Drive>& drives = m_drives->Drives();
    if (!drives.isEmpty()) m_entries << m_addMenu->addSeparator();
    for (const COpticalDrives::Drive& drive : drives) {
        QString text = QFileInfo(drive.device).fileName();
        if (!drive.model.isEmpty()) text += QStringLiteral(": ") + drive.model;
        if (!drive.hasDisc) text += QStringLiteral(" (no disc)");
        QAction* action = m_addMenu->addAction(text);
        action->setEnabled(drive.hasDisc);
        action->setData(drive.device);
        const QString device = drive.device;
        connect(action, &QAction::triggered, this, [this, device] { emit loadRequested(device); });
        m_entries << action;
    }
    ShowLoaded(m_loaded);
}

void CDriveMenu::ShowLoaded(const QString& path)
{
    m_loaded = path;
    m_eject->setEnabled(!path.isEmpty() && m_drives && m_drives->DriveOf(path));
}

QStringList CDriveMenu::DiscsToLoad(QString* message)
{
    m_drives->Refresh();
    QStringList discs;
    for (const COpticalDrives::Drive& drive : m_drives->Drives())
        if (drive.hasDisc) discs << drive.device;
    discs << m_drives->OtherMountedDiscs();
    if (discs.isEmpty())
        *message = !m_drives->Drives().isEmpty()
                       ? QStringLiteral("No disc is in the drive\nInsert a DVD or Blu-ray disc, or use \"Load DVD or Blu-ray "
                                        "Folder\" for a copied disc, \"Load ISO Image\" for a disc image or \"Load Video "
                                        "File\" for an MPEG or TS file.")
                       : QStringLiteral("No optical drive was found\nUse \"Load DVD or Blu-ray Folder\" for a copied disc, "
                                        "\"Load ISO Image\" for a disc image or \"Load Video File\" for an MPEG or TS file.");
    return discs;
}

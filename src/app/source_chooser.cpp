#include "app/source_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>

#include "app/drive_menu.h"
#include "app/msg_dlg.h"
#include "app/optical_drives.h"
#include "app/preferences.h"
#include "app/skin.h"

CSourceChooser::CSourceChooser(QWidget* window, QMenu* fileMenu, QMenu* addMenu, QAction* eject, Preferences& prefs,
                               const QString& productTitle)
    : QObject(window), m_window(window), m_prefs(prefs), m_productTitle(productTitle)
{
    for (QMenu* menu : {fileMenu, addMenu}) {
        const bool keys = menu == fileMenu; // the window takes the keys once
        auto add = [this, menu](const QString& text, void (CSourceChooser::*load)(), const QKeySequence& key) {
            QAction* action = menu->addAction(text);
            action->setShortcut(key);
            connect(action, &QAction::triggered, this, load);
            if (!key.isEmpty()) m_window->addAction(action); // it works while the menu is closed
        };
        add(QStringLiteral("Load &DVD"), &CSourceChooser::OnLoadDvd, {});
        // The key works once, from the File menu; the Add File menu shows it too.
        const QString open = QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText);
        add(QStringLiteral("Load DVD or Blu-ray &Folder...") + (keys ? QString() : QStringLiteral("\t") + open), &CSourceChooser::OnLoadFolder,
            keys ? QKeySequence(QKeySequence::Open) : QKeySequence());
        add(QStringLiteral("Load &ISO Image..."), &CSourceChooser::OnLoadIso, {});
        add(QStringLiteral("Load &Video File..."), &CSourceChooser::OnLoadVideoFile, {});
    }
    // Discs put in while the window is open show up in the Add File menu.
    m_drives = new CDriveMenu(addMenu, eject, this);
    connect(m_drives, &CDriveMenu::loadRequested, this, &CSourceChooser::loadRequested);
}

void CSourceChooser::UseDrives(COpticalDrives* drives) { m_drives->UseDrives(drives); }

COpticalDrives* CSourceChooser::Drives() const { return m_drives->Drives(); }

void CSourceChooser::OnLoadDvd()
{
    QString message;
    const QStringList drives = m_drives->DiscsToLoad(&message);
    if (drives.isEmpty()) {
        ShowMessage(m_window, message);
        return;
    }
    QString drive = drives.front();
    if (drives.size() > 1) {
        bool ok = false;
        drive = QInputDialog::getItem(m_window, QStringLiteral("Select a DVD or Blu-ray drive"), QStringLiteral("Drive:"), drives, 0, false, &ok);
        if (!ok) return;
    }
    emit loadRequested(drive);
}

QString CSourceChooser::ChoosePath(const FileQuestion& question)
{
    QString path;
    if (m_chooseFile)
        path = m_chooseFile(question);
    else if (question.filter.isEmpty())
        path = QFileDialog::getExistingDirectory(m_window, question.title, question.startFolder);
    else
        path = QFileDialog::getOpenFileName(m_window, question.title, question.startFolder, question.filter);
    if (path.isEmpty()) return path;
    // The next dialog opens where this one ended: beside a file or a VIDEO_TS folder.
    const QString folder = QFileInfo(path).dir().absolutePath();
    if (folder != m_prefs.lastFolder) {
        m_prefs.lastFolder = folder;
        Preferences::Write(m_productTitle, QStringLiteral("strLastFolder"), folder);
    }
    return path;
}

void CSourceChooser::OnLoadFolder()
{
    const QString folder = ChoosePath({QStringLiteral("Select a DVD or Blu-ray folder (VIDEO_TS, BDMV or the folder above it)"),
                                       m_prefs.lastFolder, QString()});
    if (!folder.isEmpty()) emit loadRequested(folder);
}

void CSourceChooser::OnLoadIso()
{
    const QString file = ChoosePath({QStringLiteral("Select a DVD or Blu-ray disc image"), m_prefs.lastFolder,
                                     QStringLiteral("Disc images (*.iso *.ISO);;All files (*)")});
    if (!file.isEmpty()) emit loadRequested(file);
}

void CSourceChooser::OnLoadVideoFile()
{
    const QString file = ChoosePath({QStringLiteral("Select a video file (MPEG, VOB, TS, M2TS)"), m_prefs.lastFolder,
                                     QStringLiteral("MPEG and TS files (*.mpg *.MPG *.mpeg *.MPEG *.vob *.VOB *.ts *.TS *.m2ts "
                                                    "*.M2TS *.mts *.MTS);;All files (*)")});
    if (!file.isEmpty()) emit loadRequested(file);
}

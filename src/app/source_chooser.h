#pragma once
// CSourceChooser: what the main window loads from: the loaders of the File and Add File menus
// (a drive's disc, a DVD or Blu-ray folder, a disc image, a video file), each asking for its
// path where one is needed, and the drives in the Add File menu with the File menu's Eject. The
// folder the last one was chosen in is where the next dialog opens.

#include <QObject>
#include <QString>
#include <functional>

class CDriveMenu;
class COpticalDrives;
class QAction;
class QMenu;
class QWidget;
struct Preferences;

class CSourceChooser : public QObject {
    Q_OBJECT
public:
    // The loaders go into both menus (the File menu's with their keys); `eject` is the File
    // menu's Eject, enabled while a drive's disc is loaded.
    CSourceChooser(QWidget* window, QMenu* fileMenu, QMenu* addMenu, QAction* eject, Preferences& prefs, const QString& productTitle);

    // The optical drives offered (tests give one reading stand-in files); it takes them over.
    void UseDrives(COpticalDrives* drives);
    COpticalDrives* Drives() const;
    CDriveMenu* DriveMenu() const { return m_drives; }

    // What a file dialog asks: a folder (`filter` empty) or a file, with the dialog's title and
    // the folder it opens in. Tests answer it instead of the desktop's dialog.
    struct FileQuestion {
        QString title, startFolder, filter;
    };
    void SetFileChooser(std::function<QString(const FileQuestion&)> choose) { m_chooseFile = std::move(choose); }

signals:
    // A source was chosen: load it.
    void loadRequested(const QString& path);

public slots:
    // A drive's disc (asking which when several hold one).
    void OnLoadDvd();
    // A copied DVD or Blu-ray disc: its VIDEO_TS or BDMV folder, or the folder above it.
    void OnLoadFolder();
    // A disc image (ISO).
    void OnLoadIso();
    // A video file: MPEG program or transport stream, VOB, M2TS.
    void OnLoadVideoFile();

private:
    // Asks for a folder or a file (the test's chooser, else the desktop's dialog). Empty when
    // the user cancels.
    QString ChoosePath(const FileQuestion& question);

    QWidget* m_window;
    Preferences& m_prefs;
    QString m_productTitle;
    CDriveMenu* m_drives = nullptr;
    std::function<QString(const FileQuestion&)> m_chooseFile;
};

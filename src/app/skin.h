#pragma once
// Where the program's pictures and data files are, and the plain message boxes of its windows.

#include <QPixmap>
#include <QString>
#include <QUrl>
#include <functional>

class QApplication;
class QPainter;
class QRect;
class QWidget;

// A data file ("Format.xml", "Set.xml", "help.html"): the current directory, the installed data
// folder, then a build tree's.
QString DataFile(const QString& name);
// A skin picture by its file name, e.g. "play.png"; a null pixmap when it is missing.
QPixmap LoadSkin(const QString& name);
QString SkinFile(const QString& name);

// A plain message box with the text alone (modal). Tests set a hook that takes the text
// instead, so that no box waits for a click.
void ShowMessage(QWidget* parent, const QString& text);
class CMsgDlg;
// What ShowMessage shows: the first line as the heading; an engine failure's plain sentence of
// what it means and what to try as the text, with the rest (the technical cause) under "Details";
// any other message's rest as its text.
void FillMessage(CMsgDlg& box, const QString& text);
// Whether a message says a failure (and wears the error icon).
bool IsFailureMessage(const QString& text);
// Opens a folder or a web page with the desktop's program for it; when it cannot (the folder does
// not exist, no program is set), says so in a message and returns false.
bool OpenInDesktop(QWidget* parent, const QUrl& url);
using MessageHook = std::function<void(const QString&)>;
void SetMessageHook(MessageHook hook);

// The mark a skinned control wears while it has the keyboard focus: an accent outline inside `area`.
void DrawFocusMark(QPainter& painter, const QRect& area);

// The program's look for every window: the Fusion style with the skin's dark palette.
void ApplyTheme(QApplication& app);

#pragma once
// CZuZideroApp: starts the process's services, shows the splash picture, then runs the main
// window; when it closes, the program ends.

#include <QApplication>

class CZuZideroApp : public QApplication {
    Q_OBJECT
public:
    CZuZideroApp(int& argc, char** argv);
    // The splash, then the main window (which opens the disc named on the command line); the
    // exit status.
    int Run();
    // The disc named on a command line (`zuzidero DISC`): the first argument after the program's
    // that is not an option; empty when there is none.
    static QString DiscArgument(const QStringList& arguments);
};

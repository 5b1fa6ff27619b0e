#pragma once
// CZuZideroApp: starts the process's services, shows the splash picture, then runs the main
// window; when it closes, the program ends.

#include <QApplication>

class CZuZideroApp : public QApplication {
    Q_OBJECT
public:
    CZuZideroApp(int& argc, char** argv);
    // The splash, then the main window; the exit status.
    int Run();
};

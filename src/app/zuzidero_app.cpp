#include "app/zuzidero_app.h"

#include <QEventLoop>
#include <QTimer>

#include "app/skin.h"
#include "app/splash_wnd.h"
#include "app/video_renderer.h"
#include "app/zuzidero_dlg.h"
#include "play/engine_registration.h"
#include "version.h"

CZuZideroApp::CZuZideroApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("ZuZidero"));
    setApplicationName(QStringLiteral("ZuZidero"));
    setApplicationVersion(QString::fromLatin1(kZuZideroVersion));
    // Names the desktop entry, so that a Wayland desktop shows its icon and name for the window.
    setDesktopFileName(QStringLiteral("org.zuzidero.ZuZidero"));
    ApplyTheme(*this);
    RegisterEngine();
    CVideoRenderer::Register();
}

QString CZuZideroApp::DiscArgument(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].isEmpty() && !arguments[i].startsWith(QLatin1Char('-'))) return arguments[i];
    return {};
}

int CZuZideroApp::Run()
{
    {
        CSplashWnd splash;
        if (splash.Create("starup.jpg")) {
            splash.DrawStartupText(applicationVersion());
            splash.show();
            QEventLoop wait;
            QTimer::singleShot(1500, &wait, &QEventLoop::quit);
            wait.exec();
        }
    }
    // The main window is an ordinary window, not a modal dialog: the program ends when it closes,
    // even with the help window still open.
    CZuZideroDlg window;
    if (const QString disc = DiscArgument(arguments()); !disc.isEmpty()) window.OpenAtStart(disc);
    connect(&window, &QDialog::finished, this, &QApplication::quit);
    window.show();
    exec();
    return 0;
}

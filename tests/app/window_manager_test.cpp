// The main window and the full-screen preview as a window manager sees them: run on a private X
// server with Openbox (under_window_manager.sh), keys and clicks sent as a user's are, through
// the X server (xdotool), so that focus and stacking are the window manager's and not the test's.

#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/column_tree_ctrl.h"
#include "app_test_support.h"

namespace {

QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// An X window's property, as xprop prints it.
QString WindowProperty(const QWidget* window, const char* name)
{
    return Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()), QString::fromLatin1(name)});
}

// The managed windows from the bottom up, as the window manager stacks them.
QList<WId> Stacking()
{
    const QString text = Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> windows;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("0x[0-9a-f]+")).globalMatch(text))
        windows << m.captured(0).toULongLong(nullptr, 16);
    return windows;
}

// Keys and clicks as the X server delivers them: to whichever window has the keyboard.
bool Keys(const char* keys) { return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)}) == 0; }

bool DoubleClick(const QWidget* widget)
{
    const QPoint at = widget->mapToGlobal(widget->rect().center());
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                                                         QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                                                         QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")}) == 0;
}

bool HasKeyboard(const QWidget* window) { return window->windowHandle() && QGuiApplication::focusWindow() == window->windowHandle(); }

} // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        RegisterFilters();
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void TheMainWindowIsAnOrdinaryWindow()
    {
        CZuZideroDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(!window.isModal());
        const QString type = WindowProperty(&window, "_NET_WM_WINDOW_TYPE");
        QVERIFY2(type.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL")), qPrintable(type));
        QVERIFY2(!type.contains(QStringLiteral("DIALOG")), qPrintable(type));
        const QString state = WindowProperty(&window, "_NET_WM_STATE");
        QVERIFY2(!state.contains(QStringLiteral("MODAL")) && !state.contains(QStringLiteral("ABOVE")), qPrintable(state));
    }

    void TheFullScreenPreviewCoversTheScreenAboveTheWindowAndGivesTheKeyboardBack()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        QList<CSourceChooser::FileQuestion> asked;
        window.Sources().SetFileChooser([&](const CSourceChooser::FileQuestion& q) {
            asked << q;
            return QString(); // the user cancels
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CVideoWindow* picture = window.Preview().VideoWindow();
        const QRect screen = window.screen()->geometry();
        // Twice: the second time must be as whole as the first.
        for (int round = 0; round < 2; ++round) {
            window.Preview().OnPlay();
            QTRY_VERIFY(picture->isVisible());
            QVERIFY(DoubleClick(picture));
            QTRY_VERIFY(window.Preview().FullScreen());
            QTRY_VERIFY_WITH_TIMEOUT(picture->windowHandle() && picture->windowHandle()->geometry() == screen, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(HasKeyboard(picture), 20000);
            QTRY_VERIFY_WITH_TIMEOUT(Stacking().indexOf(picture->winId()) > Stacking().indexOf(window.winId()), 20000);
            QVERIFY(Stacking().contains(window.winId()));
            // Esc (the first round) or a double click (the second) returns.
            if (round == 0)
                QVERIFY(Keys("Escape"));
            else
                QVERIFY(DoubleClick(picture));
            QTRY_VERIFY(!window.Preview().FullScreen());
            QCOMPARE(picture->geometry(), window.Preview().VideoPlaceholder()->geometry());
            QTRY_VERIFY_WITH_TIMEOUT(HasKeyboard(&window), 20000);
            // The window's keys work at once: Ctrl+O asks for a file.
            QVERIFY(Keys("ctrl+o"));
            QTRY_COMPARE_WITH_TIMEOUT(asked.size(), round + 1, 20000);
            window.Preview().OnStop();
        }
        // Stop while full screen returns too, and the keyboard with it.
        window.Preview().OnPlay();
        QTRY_VERIFY(picture->isVisible());
        QVERIFY(DoubleClick(picture));
        QTRY_VERIFY_WITH_TIMEOUT(HasKeyboard(picture), 20000);
        window.Preview().OnStop();
        QVERIFY(!window.Preview().FullScreen());
        QTRY_VERIFY_WITH_TIMEOUT(HasKeyboard(&window), 20000);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join(" | ")));
    }
};

QTEST_MAIN(WindowManagerTest)
#include "window_manager_test.moc"

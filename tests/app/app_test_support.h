#pragma once
// Helpers for the desktop program's tests: the messages windows would show, collected instead,
// and the test discs.

#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <functional>

#include "app/skin.h"
#include "app/zuzidero_dlg.h"
#include "app/output_choice.h"
#include "app/preview_pane.h"
#include "app/profile_choice.h"
#include "app/source_chooser.h"
#include "app/track_choice.h"
#include "app/video_renderer.h"
#include "play/engine_registration.h"
#include "support/test_discs.h"

// While alive, message boxes are collected instead of shown.
class CollectMessages {
public:
    CollectMessages()
    {
        SetMessageHook([this](const QString& text) { messages << text; });
    }
    ~CollectMessages() { SetMessageHook(nullptr); }
    QStringList messages;
};

inline QString DiscPath(const char* name) { return QString::fromStdString(testing_filters::TestDisc(name)); }

// The filters the desktop program registers at start (its decoders and renderers).
inline void RegisterFilters()
{
    RegisterEngine();
    CVideoRenderer::Register();
}

// Runs the event loop until `sender` emits `signal` (a step's end, told as a bool), after
// `start` (which begins the step) has run; gives what the signal told.
template <class Sender>
bool WaitForEnd(Sender* sender, void (Sender::*signal)(bool), const std::function<void()>& start = {})
{
    QEventLoop loop;
    bool told = false;
    const QMetaObject::Connection ended = QObject::connect(sender, signal, &loop, [&](bool value) {
        told = value;
        loop.quit();
    });
    if (start) start();
    loop.exec();
    QObject::disconnect(ended);
    return told;
}

// Loads a disc into the window and waits until the load has ended (listed, failed or cancelled);
// true when its titles are listed.
inline bool LoadAndWait(CZuZideroDlg& window, const QString& path)
{
    return WaitForEnd(&window, &CZuZideroDlg::loadEnded, [&] { window.LoadDisc(path); });
}

// Waits until the load under way has ended (a load a menu command started).
inline bool WaitForLoad(CZuZideroDlg& window) { return window.Loading() && WaitForEnd(&window, &CZuZideroDlg::loadEnded); }

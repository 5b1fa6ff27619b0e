#pragma once
// Helpers for the desktop program's tests: the messages windows would show, collected instead,
// and the test discs.

#include <QString>
#include <QStringList>

#include "app/skin.h"
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

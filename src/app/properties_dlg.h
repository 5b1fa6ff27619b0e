#pragma once
// CProperties: the picture and sound properties of a title: the first video stream's size, bit
// rate and frame rate, the first audio stream's bit rate, sample rate and channels.

#include <vector>

#include "app/skinned_dialog.h"
#include "convert/conversion_engine.h"

class QLabel;

class CProperties : public CSkinnedDialog {
    Q_OBJECT
public:
    explicit CProperties(const std::vector<EngineStream>& streams, QWidget* parent = nullptr);
    // The value shown beside a caption ("Resolution", "Frame Rate", "Channels" …).
    QString Value(const QString& caption) const;

    struct Texts {
        QString resolution, videoBitRate, frameRate, audioBitRate, sampleRate, channels;
    };
    static Texts Describe(const std::vector<EngineStream>& streams);

private:
    std::vector<std::pair<QString, QLabel*>> m_values;
};

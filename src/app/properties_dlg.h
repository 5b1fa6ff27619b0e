#pragma once
// CProperties: the picture and sound properties of a title: the first video stream's size, bit
// rate and frame rate, the first audio stream's bit rate, sample rate and channels, and each
// sound and subtitle track as a file that keeps it as it is holds it (its language, coding and
// channels).

#include <vector>

#include "app/skinned_dialog.h"
#include "play/preview_player.h"

class QLabel;

class CProperties : public CSkinnedDialog {
    Q_OBJECT
public:
    // `kept`: the tracks as they will be kept, one line each (KeptTracks).
    explicit CProperties(const std::vector<EngineStream>& streams, const QStringList& kept = {}, QWidget* parent = nullptr);
    // The value shown beside a caption ("Resolution", "Frame Rate", "Channels" …).
    QString Value(const QString& caption) const;

    struct Texts {
        QString resolution, videoBitRate, frameRate, audioBitRate, sampleRate, channels;
    };
    static Texts Describe(const std::vector<EngineStream>& streams);
    // "eng: English AC-3 5.1", "deu: German (forced)": each track of a title as it is kept.
    static QStringList KeptTracks(const TitleInfo& title, const std::vector<bool>& forcedSubtitles);

private:
    std::vector<std::pair<QString, QLabel*>> m_values;
};

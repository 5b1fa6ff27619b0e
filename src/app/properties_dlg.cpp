#include "app/properties_dlg.h"

#include <QLabel>

#include "app/my_button.h"
#include "app/my_static.h"
#include "convert/file_marks.h"

QStringList CProperties::KeptTracks(const TitleInfo& title, const std::vector<bool>& forcedSubtitles)
{
    QStringList lines;
    const auto line = [&](const StreamLabel& label) {
        lines << QString::fromStdString((label.language.empty() ? std::string("und") : label.language) + ": " + label.title);
    };
    for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a)
        line(KeptTrackLabel(title, title.audioStreamId[a], ".mkv", WriterSettings{}, "aac"));
    for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s)
        line(SubtitleLabel(title, title.subpictureStreamId[s], forcedSubtitles));
    return lines;
}

CProperties::Texts CProperties::Describe(const std::vector<EngineStream>& streams)
{
    Texts t;
    const EngineStream* video = nullptr;
    const EngineStream* audio = nullptr;
    for (const EngineStream& s : streams) {
        if (s.kind == EngineStream::kVideo && !video) video = &s;
        if (s.kind == EngineStream::kAudio && !audio) audio = &s;
    }
    if (video) {
        t.resolution = QString::asprintf("%dx%d", static_cast<std::uint16_t>(video->width), static_cast<std::uint16_t>(video->height));
        t.videoBitRate = QString::asprintf("%.2f kbps", static_cast<std::uint32_t>(video->bitRate) / 1000.0);
        const auto frame = static_cast<std::uint32_t>(video->timePerFrame);
        if (frame > 0) t.frameRate = QString::asprintf("%.3f fps", 10000000.0 / frame);
    }
    if (audio) {
        t.audioBitRate = QString::asprintf("%.3f kbps", static_cast<std::uint32_t>(audio->bitRate) / 1000.0);
        t.sampleRate = QString::asprintf("%d Hz", static_cast<std::uint16_t>(audio->sampleRate));
        // The row's label says "Channels": the value is the layout alone.
        switch (const int channels = static_cast<std::int16_t>(audio->channels)) {
        case 1: t.channels = QStringLiteral("Mono"); break;
        case 2: t.channels = QStringLiteral("Stereo"); break;
        case 6: t.channels = QStringLiteral("5.1"); break;
        default:
            if (channels > 0) t.channels = QString::number(channels);
            break;
        }
    }
    return t;
}

CProperties::CProperties(const std::vector<EngineStream>& streams, const QStringList& kept, QWidget* parent)
    : CSkinnedDialog(parent)
{
    setWindowTitle(QStringLiteral("Properties"));
    SetBackground("propertiesbk.png", QSize(580, 430));
    auto* title = new CMyStatic(QStringLiteral("Properties"), this);
    title->setGeometry(16, 6, 200, 26);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(11);
    title->setFont(bold);
    title->SetBackground(Background());

    const Texts t = Describe(streams);
    auto heading = [&](const QString& text, int y) {
        auto* label = new QLabel(text, this);
        label->setFont(bold);
        label->setGeometry(40, y, 300, 24);
    };
    auto row = [&](const QString& caption, const QString& value, int y) {
        auto* c = new QLabel(caption, this);
        c->setGeometry(60, y, 180, 22);
        auto* v = new QLabel(value, this);
        v->setGeometry(250, y, 280, 22);
        m_values.emplace_back(caption, v);
    };
    heading(QStringLiteral("Video Information"), 66);
    row(QStringLiteral("Resolution"), t.resolution, 100);
    row(QStringLiteral("Video Bitrate"), t.videoBitRate, 130);
    row(QStringLiteral("Frame Rate"), t.frameRate, 160);
    heading(QStringLiteral("Audio Information"), 230);
    // The rows stand closer than the video's, to leave two lines inside the panel for the tracks.
    row(QStringLiteral("Audio Bitrate"), t.audioBitRate, 258);
    row(QStringLiteral("Audio Sample Rate"), t.sampleRate, 283);
    row(QStringLiteral("Channels"), t.channels, 308);
    // The tracks as a copy keeps them, in a smaller type; all of them in the tooltip.
    auto* caption = new QLabel(QStringLiteral("Tracks as kept"), this);
    caption->setGeometry(60, 333, 180, 22);
    auto* tracks = new QLabel(kept.join(QStringLiteral(", ")), this);
    tracks->setWordWrap(true);
    tracks->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = tracks->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    tracks->setFont(small);
    tracks->setGeometry(250, 336, 290, 30);
    tracks->setToolTip(kept.join(QStringLiteral("\n")));
    m_values.emplace_back(caption->text(), tracks);

    auto* ok = new CMyButton(QStringLiteral("OK"), this);
    ok->SetPictures("ok2.png", 488, 396, Background());
    auto* close = new CMyButton(QStringLiteral("x"), this);
    close->SetPictures("close.png", 550, 8, Background());
    connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
}

QString CProperties::Value(const QString& caption) const
{
    for (const auto& [c, label] : m_values)
        if (c == caption) return label->text();
    return QString();
}

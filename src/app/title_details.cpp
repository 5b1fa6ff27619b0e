#include "app/title_details.h"

#include <QLabel>
#include <QStringList>
#include <QTreeWidgetItem>

#include "app/column_tree_ctrl.h"
#include "app/palette.h"
#include "app/track_choice.h"

CTitleDetails::CTitleDetails(QWidget* window, CColumnTreeCtrl* list, std::function<const DiscInfo*()> info,
                             std::function<TitleVideo(int)> video)
    : QObject(window), m_list(list), m_info(std::move(info)), m_video(std::move(video))
{
    // The room under the player's buttons.
    m_text = new QLabel(window);
    m_text->setGeometry(36, 400, 288, 124);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setStyleSheet(QStringLiteral("color: %1; font-size: 8.5pt;").arg(skin::kMuted.name()));
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) { ShowFor(current); });
}

QString CTitleDetails::Describe(int titleIndex) const
{
    const DiscInfo* info = m_info();
    if (!info || titleIndex < 0 || titleIndex >= info->titleCount) return {};
    const TitleInfo& title = info->titles[titleIndex];
    const auto seconds = static_cast<long long>(title.durationMs / 1000);
    QStringList lines;
    lines << QStringLiteral("Title %1: %2, %3 chapter%4")
                 .arg(titleIndex + 1)
                 .arg(QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60))
                 .arg(title.chapterCount)
                 .arg(title.chapterCount == 1 ? QString() : QStringLiteral("s"));
    const TitleVideo video = m_video(titleIndex);
    QString picture = QStringLiteral("Picture: %1 × %2, %3").arg(video.width).arg(video.height).arg(video.wide ? QStringLiteral("16:9") : QStringLiteral("4:3"));
    if (video.frameRate > 0) picture += QStringLiteral(", %1 frames/s").arg(QString::number(video.frameRate / 1000.0));
    lines << picture;
    QStringList sound, subtitles;
    for (int i = 0; i < std::min(title.audioCount, kMaxAudioStreams); ++i) sound << CTrackChoice::AudioLine(title, i);
    for (int i = 0; i < std::min(title.subpictureCount, kMaxSubpictureStreams); ++i) subtitles << CTrackChoice::SubtitleLine(title, i);
    lines << QStringLiteral("Sound: ") + (sound.isEmpty() ? QStringLiteral("none") : sound.join(QStringLiteral(", ")));
    lines << QStringLiteral("Subtitles: ") + (subtitles.isEmpty() ? QStringLiteral("none") : subtitles.join(QStringLiteral(", ")));
    return lines.join(QLatin1Char('\n'));
}

void CTitleDetails::ShowFor(QTreeWidgetItem* item)
{
    const ConversionTask* task = item ? m_list->TaskOf(item) : nullptr;
    m_text->setText(task ? Describe(task->titleIndex) : QString());
}

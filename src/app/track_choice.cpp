#include "app/track_choice.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <algorithm>

#include "app/column_tree_ctrl.h"
#include "app/palette.h"
#include "app/preview_pane.h"
#include "app/skin.h"
#include "dvd/iso639.h"

namespace {

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

QString LanguageName(std::int32_t code) { return Utf8(ShortLanguageName(FindLanguageByAlpha2(LanguageCodeText(code)))); }

} // namespace

// The sound-track box: check boxes shown on every line of its list, and its closed face adding
// how many more tracks are ticked.
class CTrackChoice::TrackBox : public QComboBox {
public:
    explicit TrackBox(QWidget* parent) : QComboBox(parent) { setItemDelegate(new QStyledItemDelegate(this)); }
    void SetSuffix(const QString& suffix)
    {
        m_suffix = suffix;
        update();
    }
    QString Face() const { return currentText() + m_suffix; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText += m_suffix;
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }

private:
    QString m_suffix;
};

QString CTrackChoice::AudioLine(const TitleInfo& title, int stream)
{
    return QString::asprintf("%s(%s %dch)", LanguageName(title.audioLanguage[stream]).toUtf8().constData(),
                             AudioFormatLabel(title.audioFormat[stream]), ShownChannelCount(title.audioChannelsMinusOne[stream]));
}

QString CTrackChoice::SubtitleLine(const TitleInfo& title, int stream) { return LanguageName(title.subpictureLanguage[stream]); }

CTrackChoice::CTrackChoice(QWidget* window, CColumnTreeCtrl* list, CPreviewPane* preview, std::function<const DiscInfo*()> info,
                           std::function<bool()> keepsSeveral)
    : QObject(window), m_list(list), m_info(std::move(info)), m_keepsSeveral(std::move(keepsSeveral)), m_window(window), m_preview(preview)
{
    m_audio = new TrackBox(window);
    m_audio->setGeometry(430, 368, 162, 24); // wide enough for "English(AC3 6ch)"
    m_subtitle = new QComboBox(window);
    m_subtitle->setGeometry(660, 368, 125, 24);
    // The lists take the width of their lines (Fit places them); the label goes with the subtitle's.
    m_subtitleLabel = new QLabel(QStringLiteral("SubTitle:"), window);
    QFont caption = m_subtitleLabel->font();
    caption.setPointSizeF(9);
    caption.setBold(true);
    m_subtitleLabel->setFont(caption);
    m_subtitleLabel->setStyleSheet(QStringLiteral("color: %1;").arg(skin::kMuted.name()));
    m_subtitleLabel->setGeometry(598, 370, 62, 20);
    connect(m_audio, &QComboBox::activated, this, &CTrackChoice::OnAudioChosen);
    m_audio->view()->viewport()->installEventFilter(this);
    connect(m_subtitle, &QComboBox::activated, this, &CTrackChoice::OnSubtitleChosen);
    connect(m_list, &CColumnTreeCtrl::itemClickedAt, this, &CTrackChoice::OnListClicked);
    // Whichever way a title is selected (click, keyboard, previous and next), its choice is shown.
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        ShowFor(current);
        m_lastClicked = current;
    });
}

QComboBox* CTrackChoice::AudioTracks() const { return m_audio; }

QString CTrackChoice::AudioBoxText() const { return m_audio->Face(); }

void CTrackChoice::Clear()
{
    m_audio->SetSuffix(QString());
    m_lastClicked = nullptr;
    m_audio->clear();
    m_subtitle->clear();
}

void CTrackChoice::Fill(const TitleInfo& title, const ForcedSubtitles& forced)
{
    for (int a = 0; a < title.audioCount && a < kMaxAudioStreams; ++a) {
        m_audio->addItem(AudioLine(title, a), title.audioStreamId[a]);
        if (auto* model = qobject_cast<QStandardItemModel*>(m_audio->model())) {
            QStandardItem* line = model->item(m_audio->count() - 1);
            line->setCheckable(true);
            line->setCheckState(Qt::Unchecked);
        }
    }
    // The disc's streams (those that hold forced subtitles only marked so), then the forced ones
    // in the sound's language alone, and none.
    for (int s = 0; s < title.subpictureCount && s < kMaxSubpictureStreams; ++s)
        m_subtitle->addItem(SubtitleLine(title, s) + (forced.IsForced(title.subpictureStreamId[s]) ? QStringLiteral(" (forced)") : QString()),
                            title.subpictureStreamId[s]);
    m_subtitle->addItem(QStringLiteral("Forced only"), kForcedOnlySubtitle);
    m_subtitle->setItemData(m_subtitle->count() - 1,
                            QStringLiteral("Burns in only what the disc forces in the chosen audio track's language (foreign speech)"),
                            Qt::ToolTipRole);
    m_subtitle->addItem(QStringLiteral("No subtitles"), 0);
}

ConversionTask* CTrackChoice::CurrentTask() const
{
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->TaskOf(item) : nullptr;
}

void CTrackChoice::ShowFor(QTreeWidgetItem* item)
{
    const ConversionTask* task = item ? m_list->TaskOf(item) : nullptr;
    if (!task) return; // the root: the lists stay as they are
    const QSignalBlocker audioQuiet(m_audio), subtitleQuiet(m_subtitle);
    m_audio->clear();
    m_subtitle->clear();
    const DiscInfo* info = m_info();
    if (!info || task->titleIndex < 0 || task->titleIndex >= info->titleCount) return;
    const TitleTasks::Entry* title = m_list->Tasks()->At({m_list->KeyOf(item).title, -1});
    Fill(info->titles[task->titleIndex], title ? title->forced : ForcedSubtitles{});
    ShowAudioTicks(*task);
    const int subtitleRow = task->forcedOnly ? m_subtitle->findData(kForcedOnlySubtitle)
                            : task->burnSubtitles ? m_subtitle->findData(task->subtitleId)
                                                  : -1;
    m_subtitle->setCurrentIndex(subtitleRow >= 0 ? subtitleRow : m_subtitle->count() - 1);
    m_audioId = task->audioStreamId;
    m_subtitleId = task->subtitleId;
    m_subtitlesOn = task->burnSubtitles && subtitleRow >= 0 && task->subtitleId != 0;
    Fit(m_left, m_right);
}

void CTrackChoice::Fit(int left, int right)
{
    m_left = left;
    m_right = right;
    constexpr int kAudioLeast = 162, kSubtitleLeast = 125, kGap = 6, kLabel = 62;
    // A box's natural width: its longest line, with room for its frame and arrow. (Computed here:
    // a box left to size itself to its contents would do so later, on a timer, over this place.)
    const auto natural = [](const QComboBox* box, const QString& shown) {
        int widest = box->fontMetrics().horizontalAdvance(shown);
        for (int row = 0; row < box->count(); ++row) widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(row)));
        return widest + 44;
    };
    const int audioNatural = natural(m_audio, AudioBoxText());
    const int audio = std::clamp(audioNatural, kAudioLeast, std::max(kAudioLeast, right - left - kGap - kLabel - kSubtitleLeast));
    m_audio->setGeometry(left, m_audio->y(), audio, m_audio->height());
    const int label = left + audio + kGap;
    m_subtitleLabel->move(label, m_subtitleLabel->y());
    const int box = label + kLabel;
    m_subtitle->setGeometry(box, m_subtitle->y(), std::clamp(natural(m_subtitle, QString()), kSubtitleLeast, std::max(kSubtitleLeast, right - box)),
                            m_subtitle->height());
}

void CTrackChoice::OnListClicked(QTreeWidgetItem* item)
{
    if (item != m_lastClicked && item != m_list->currentItem()) m_list->setCurrentItem(item);
    if (item != m_lastClicked) ShowFor(item);
    m_lastClicked = item;
}

void CTrackChoice::ShowAudioTicks(const ConversionTask& task)
{
    const QSignalBlocker audioQuiet(m_audio);
    m_audio->setCurrentIndex(std::max(m_audio->findData(task.audioStreamId), 0));
    auto* model = qobject_cast<QStandardItemModel*>(m_audio->model());
    if (!model) return;
    const std::int32_t first = m_audio->currentData().toInt();
    QStringList converted;
    for (int row = 0; row < m_audio->count(); ++row) {
        const std::int32_t id = m_audio->itemData(row).toInt();
        const bool ticked = id == first || std::find(task.moreAudio.begin(), task.moreAudio.end(), id) != task.moreAudio.end();
        model->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        if (ticked && id != first) converted << m_audio->itemText(row);
    }
    // The closed list shows the first track and how many more; the others are named on hovering.
    m_audio->SetSuffix(converted.isEmpty() ? QString() : QStringLiteral(" + %1").arg(converted.size()));
    Fit(m_left, m_right);
    m_audio->setToolTip(converted.isEmpty() ? QString()
                                            : QStringLiteral("Also converted: ") + converted.join(QStringLiteral(", ")));
}

void CTrackChoice::StoreAudioChoice(std::int32_t first, std::vector<std::int32_t> more)
{
    m_audioId = first;
    // The choice is the title's: its item, and its chapters.
    m_list->Tasks()->SetAudio(m_list->KeyOf(m_list->currentItem()), first, std::move(more));
    const ConversionTask* task = CurrentTask();
    if (!task) return;
    ShowAudioTicks(*task);
    // Heard at once when the title plays, with the forced subtitles of its language.
    m_preview->Controller().ChooseAudio(task->titleIndex, m_audioId);
    if (task->forcedOnly) m_preview->Controller().ChooseSubtitle(task->titleIndex, task->burnSubtitles ? task->subtitleId : 0);
}

void CTrackChoice::OnAudioChosen(int row)
{
    if (row < 0) return;
    const ConversionTask* task = CurrentTask();
    const std::int32_t id = m_audio->itemData(row).toInt();
    std::vector<std::int32_t> more = task ? task->moreAudio : std::vector<std::int32_t>{};
    // The chosen track takes the first place. A track ticked already swaps places with the
    // first, which stays ticked; an unticked one replaces it.
    if (task && std::find(more.begin(), more.end(), id) != more.end() && task->audioStreamId != id)
        more.insert(more.begin(), task->audioStreamId);
    StoreAudioChoice(id, more);
}

void CTrackChoice::OnAudioTicked(int row)
{
    const ConversionTask* task = CurrentTask();
    if (row < 0 || row >= m_audio->count() || !task) return;
    const std::int32_t id = m_audio->itemData(row).toInt();
    std::vector<std::int32_t> more = task->moreAudio;
    if (id == task->audioStreamId) {
        // The first unticked: the next ticked one is first; the last one stays.
        if (more.empty()) return;
        const std::int32_t next = more.front();
        more.erase(more.begin());
        StoreAudioChoice(next, more);
        return;
    }
    const auto at = std::find(more.begin(), more.end(), id);
    if (at == more.end()) {
        // Said now, not after the run: the format keeps one track.
        if (m_keepsSeveral && !m_keepsSeveral()) {
            ShowMessage(m_window, QStringLiteral("This format keeps one audio track\nOnly the first chosen track of each title is "
                                                 "converted. Choose an MP4, MKV or another video format to keep several."));
            return;
        }
        more.push_back(id);
    } else {
        more.erase(at);
    }
    StoreAudioChoice(task->audioStreamId, more);
}

bool CTrackChoice::eventFilter(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = m_audio->view();
    if (view && watched == view->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex index = view->indexAt(at);
        // The check box sits at the line's start.
        constexpr int kCheckWidth = 24;
        if (index.isValid() && at.x() - view->visualRect(index).left() < kCheckWidth) {
            if (event->type() == QEvent::MouseButtonRelease) OnAudioTicked(index.row());
            return true; // the popup stays open for more ticks
        }
    }
    return QObject::eventFilter(watched, event);
}

void CTrackChoice::OnSubtitleChosen(int row)
{
    if (row < 0) return;
    const int id = m_subtitle->itemData(row).toInt();
    m_list->Tasks()->SetSubtitle(m_list->KeyOf(m_list->currentItem()), id);
    const ConversionTask* task = CurrentTask();
    if (!task) return;
    m_subtitlesOn = task->burnSubtitles;
    m_subtitleId = task->subtitleId;
    // Seen at once when the title plays.
    m_preview->Controller().ChooseSubtitle(task->titleIndex, task->burnSubtitles ? task->subtitleId : 0);
}

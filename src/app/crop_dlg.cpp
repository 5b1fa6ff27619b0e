#include "app/crop_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "app/msg_dlg.h"
#include "app/my_button.h"
#include "app/my_select_ctrl.h"
#include "app/my_slider_ctrl.h"
#include "app/skin.h"
#include "app/video_renderer.h"
#include "convert/time_text.h"
#include "pipeline/event_codes.h"

namespace {

QSize Shape(AspectRatio a) { return a.Known() ? QSize(a.x, a.y) : QSize(); }


// The panes: (14, 70)–(394, 354) and (406, 70)–(786, 354).
const QRect kLeftPane(14, 70, 380, 284);
const QRect kRightPane(406, 70, 380, 284);

// One second, the step the trim corrections take.
constexpr std::int64_t kSecondMs = 1000;

} // namespace

QString TrimTimeText(std::int64_t ms)
{
    ms = std::max<std::int64_t>(ms, 0);
    const std::int64_t seconds = ms / 1000;
    QString text = QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                                     static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    if (ms % 1000 != 0) text += QString::asprintf(".%03lld", static_cast<long long>(ms % 1000));
    return text;
}

CCropDlg::CCropDlg(std::shared_ptr<SourceDisc> disc, ConversionTask& task, int page, const WriterSettings& output,
                   QWidget* parent)
    : CSkinnedDialog(parent), m_disc(std::move(disc)), m_task(task), m_working(task.clip), m_output(output)
{
    setWindowTitle(QStringLiteral("Edit"));
    SetBackground("cropbk.png", QSize(800, 600));
    // Crop values are in the title's own picture (720 × 576 on PAL), not a fixed frame.
    if (const TitleVideo video = m_disc ? m_disc->VideoOf(task.titleIndex) : TitleVideo{}; video.width > 0 && video.height > 0)
        m_frame = QSize(video.width, video.height);
    m_preview = std::make_unique<EditorPreview>([this](const std::string& text) { ShowMessage(this, QString::fromStdString(text)); });
    // The frame the file gets: a profile's own, or one that follows the crop.
    m_preview->SetOutputSize(output.Width, output.Height);
    UseWorkspaceSteps(Workspace::DiscSteps());
    BuildControls();
    ShowTrimTexts();
    ShowCropValues();
    ShowEffectValues();
    ShowPage(page);
    m_tracker.SetBounds(PictureBox());
    m_positionTimer.setInterval(100);
    connect(&m_positionTimer, &QTimer::timeout, this, &CCropDlg::FollowPosition);
    // The preview starts once the window is up.
    QTimer::singleShot(0, this, &CCropDlg::StartPreview);
}

CCropDlg::~CCropDlg()
{
    if (m_work) m_work->CancelAll();
    m_positionTimer.stop();
    if (m_preview) m_preview->Teardown();
}

// ---- Controls ----

CMyButton* CCropDlg::AddButton(const char* text, const char* picture, int x, int y)
{
    auto* b = new CMyButton(QString::fromLatin1(text), this);
    b->SetPictures(QString::fromLatin1(picture), x, y, Background());
    // The page buttons and the window's own buttons show their names: their tips say more.
    static const std::pair<const char*, const char*> kTips[] = {
        {"Crop", "The Crop page: black bars, the picture's part and shape"},
        {"Trim", "The Trim page: where the title starts and ends"},
        {"Effect", "The Effect page: brightness, hue and saturation"},
        {"OK", "Keep these settings for the title"},
        {"Cancel", "Leave the title as it was"},
        {"Reset", "This page's settings as the title has them on the disc"},
        {"Play", "Play the title in both panes"},
        {"Pause", "Pause both panes"},
    };
    QString tip = QString::fromLatin1(text);
    for (const auto& [name, says] : kTips)
        if (tip == QLatin1String(name)) tip = QString::fromUtf8(says);
    b->setToolTip(tip);
    return b;
}

QLabel* CCropDlg::AddLabel(const QString& text, int x, int y, int page)
{
    auto* l = new QLabel(text, this);
    l->move(x, y);
    l->adjustSize();
    if (page >= 0) m_pageControls[page].push_back(l);
    return l;
}

void CCropDlg::BuildControls()
{
    BuildPanesAndButtons();
    BuildTimeline();
    BuildTrimPage();
    BuildCropPage();
    BuildEffectPage();
}

void CCropDlg::BuildPanesAndButtons()
{
    m_left = new CVideoWindow(this);
    m_left->setGeometry(kLeftPane);
    m_left->installEventFilter(this);
    m_left->setMouseTracking(true);
    m_right = new CVideoWindow(this);
    m_right->setGeometry(kRightPane);

    // Pages: the current one's button stays pressed.
    const struct { const char* text; const char* picture; int x, page; } pages[] = {
        {"Crop", "crop2.png", 40, kCrop}, {"Trim", "trim2.png", 94, kTrim}, {"Effect", "effect2.png", 148, kEffect}};
    for (const auto& page : pages) {
        m_pageButtons[page.page] = AddButton(page.text, page.picture, page.x, 460);
        m_pageButtons[page.page]->setCheckable(true);
        connect(m_pageButtons[page.page], &QAbstractButton::clicked, this, [this, to = page.page] { ShowPage(to); });
    }
    m_play = AddButton("Play", "play.png", 45, 405);
    connect(m_play, &QAbstractButton::clicked, this, &CCropDlg::OnPlay);
    m_pause = AddButton("Pause", "pause.png", 45, 405);
    connect(m_pause, &QAbstractButton::clicked, this, &CCropDlg::OnPause);
    m_pause->hide();
    connect(AddButton("Go to the selection", "nextframe.png", 100, 405), &QAbstractButton::clicked, this, &CCropDlg::OnGoToSelection);
    m_markIn = AddButton("Mark in: the trim starts here ([)", "makein.png", 155, 405);
    m_markOut = AddButton("Mark out: the trim ends here (])", "makeout.png", 210, 405);
    m_markIn->setShortcut(QKeySequence(Qt::Key_BracketLeft));
    m_markOut->setShortcut(QKeySequence(Qt::Key_BracketRight));
    connect(m_markIn, &QAbstractButton::clicked, this, &CCropDlg::OnMarkIn);
    connect(m_markOut, &QAbstractButton::clicked, this, &CCropDlg::OnMarkOut);
    connect(AddButton("OK", "ok2.png", 625, 560), &QAbstractButton::clicked, this, &CCropDlg::accept);
    connect(AddButton("Cancel", "cancel.png", 705, 560), &QAbstractButton::clicked, this, &CCropDlg::reject);
    connect(AddButton("Reset", "reset.png", 705, 515), &QAbstractButton::clicked, this, &CCropDlg::OnReset);
    connect(AddButton("Minimise", "min.png", 730, 6), &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(AddButton("Close", "close.png", 760, 6), &QAbstractButton::clicked, this, &CCropDlg::reject);
}

void CCropDlg::BuildTimeline()
{
    // Timeline, with the range selector under it (9 pixels wider on each side).
    m_timeline = new CMySliderCtrl(this, kTimelineId);
    m_timeline->SetPictures("sliderbk_crop1.png", "sliderbk_crop2.png", "thumb.png");
    m_timeline->setGeometry(26, 367, 780, std::max(20, m_timeline->height()));
    m_timeline->resize(748, m_timeline->height());
    m_timeline->SetRange(0, 1000);
    m_timeline->SetLinkMode(2);
    connect(m_timeline, &CMySliderCtrl::released, this, [this] {
        double length = 0;
        if (m_previewBuilt && m_preview->GetPlayLength(length)) m_preview->SetPosition(length * m_timeline->GetPos() / 1000.0);
    });
    m_range = new CMySelectCtrl(this);
    m_range->setGeometry(m_timeline->x() - 9, m_timeline->y() + m_timeline->height(), m_timeline->width() + 18, 12);
    m_range->SetPictures("select.png", Background());
    m_range->SetRange(0, 1000);
    m_range->LinkSlider(m_timeline);
    connect(m_range, &CMySelectCtrl::handlesDragged, this, &CCropDlg::OnRangeMoved);
    m_timeText = new QLabel(this);
    m_timeText->setGeometry(445, 417, 110, 15);
    m_timeText->setAlignment(Qt::AlignCenter);
    m_timeText->setStyleSheet(QStringLiteral("background: rgb(73, 73, 73); color: white; font-size: 8pt;"));
    m_volume = new CMySliderCtrl(this, kVolumeId);
    m_volume->SetPictures("sliderbk1.png", "sliderbk2.png", "thumb.png");
    m_volume->move(627, 414);
    m_volume->SetRange(0, 512);
    m_volume->SetLinkMode(2);
    AddLabel(QStringLiteral("Volume"), 580, 414, -1);
    connect(m_volume, &CMySliderCtrl::positionChanged, this, &CCropDlg::OnSlider);
}

void CCropDlg::BuildTrimPage()
{
    const auto timeEdit = [&](int x) {
        auto* edit = new QLineEdit(this);
        edit->setGeometry(x, 515, 100, 20);
        m_pageControls[kTrim].push_back(edit);
        return edit;
    };
    AddLabel(QStringLiteral("Start Time:"), 25, 518, kTrim);
    m_startEdit = timeEdit(100);
    auto* applyStart = AddButton("Apply the start", "ok.png", 205, 515);
    connect(applyStart, &QAbstractButton::clicked, this, &CCropDlg::OnApplyStart);
    connect(m_startEdit, &QLineEdit::returnPressed, this, &CCropDlg::OnApplyStart);
    AddLabel(QStringLiteral("End Time:"), 262, 518, kTrim);
    m_endEdit = timeEdit(332);
    auto* applyEnd = AddButton("Apply the end", "ok.png", 437, 515);
    connect(applyEnd, &QAbstractButton::clicked, this, &CCropDlg::OnApplyEnd);
    connect(m_endEdit, &QLineEdit::returnPressed, this, &CCropDlg::OnApplyEnd);
    AddLabel(QStringLiteral("Select Length:"), 494, 518, kTrim);
    m_lengthBox = new QLineEdit(this);
    m_lengthBox->setGeometry(588, 515, 100, 20);
    m_lengthBox->setReadOnly(true);
    m_pageControls[kTrim].insert(m_pageControls[kTrim].end(), {applyStart, applyEnd, m_lengthBox});
}

void CCropDlg::BuildCropPage()
{
    AddLabel(QStringLiteral("Zoom Mode"), 30, 495, kCrop);
    m_zoom = new QComboBox(this);
    m_zoom->setGeometry(30, 515, 150, 22);
    m_zoom->addItems({QStringLiteral("Keep Original"), QStringLiteral("Full Screen"), QStringLiteral("16:9"), QStringLiteral("4:3")});
    connect(m_zoom, &QComboBox::activated, this, &CCropDlg::OnZoomChosen);
    m_pageControls[kCrop].push_back(m_zoom);
    const char* const names[] = {"Left", "Top", "Right", "Bottom"};
    for (int i = 0; i < 4; ++i) {
        const int x = 200 + 110 * i;
        AddLabel(QString::fromLatin1(names[i]), x, 495, kCrop);
        auto* edit = new QSpinBox(this);
        edit->setGeometry(x, 515, 90, 22);
        edit->setRange(0, i % 2 == 0 ? m_frame.width() : m_frame.height());
        edit->setKeyboardTracking(false);
        edit->setSuffix(QStringLiteral(" px"));
        edit->setToolTip(QStringLiteral("Pixels cut from the %1 edge of the disc's picture").arg(QString::fromLatin1(names[i]).toLower()));
        connect(edit, &QSpinBox::valueChanged, this, [this, i] { OnCropEdited(i); });
        m_cropEdits[i] = edit;
        m_pageControls[kCrop].push_back(edit);
    }
    m_autoCrop = new QPushButton(QStringLiteral("Auto"), this);
    m_autoCrop->setGeometry(638, 515, 56, 22);
    m_autoCrop->setToolTip(QStringLiteral("Find the black bars around the picture and crop them"));
    // Enter in a crop box confirms the box; it does not press this button.
    m_autoCrop->setAutoDefault(false);
    connect(m_autoCrop, &QPushButton::clicked, this, &CCropDlg::OnAutoCrop);
    m_pageControls[kCrop].push_back(m_autoCrop);
}

void CCropDlg::UseWorkspaceSteps(Workspace::Steps steps)
{
    m_work = std::make_unique<Workspace>([this] { QMetaObject::invokeMethod(this, &CCropDlg::OnWorkspaceEvents, Qt::QueuedConnection); },
                                         std::move(steps));
    m_scanJob = 0;
}

void CCropDlg::OnAutoCrop()
{
    if (m_scanJob) {
        m_work->Cancel(m_scanJob);
        return;
    }
    // A dozen pictures from each of ten places in the title: a moment's work on a good disc,
    // longer on a slow drive; the window stays with the user meanwhile.
    m_scanJob = m_work->Scan(m_disc, m_task.titleIndex);
    m_autoCrop->setText(QStringLiteral("Cancel"));
    m_autoCrop->setToolTip(QStringLiteral("Stop looking for the black bars"));
}

void CCropDlg::OnWorkspaceEvents()
{
    for (const WorkspaceEvent& event : m_work->TakeEvents()) {
        if (event.job != m_scanJob) continue;
        m_scanJob = 0;
        m_autoCrop->setText(QStringLiteral("Auto"));
        m_autoCrop->setToolTip(QStringLiteral("Find the black bars around the picture and crop them"));
        if (event.kind != WorkspaceEventKind::kScanReady) {
            emit autoCropEnded(false);
            continue;
        }
        ApplyScan(event.scan);
    }
}

void CCropDlg::ApplyScan(const TitleScanResult& scan)
{
    if (scan.pictures == 0 || scan.width != m_frame.width() || scan.height != m_frame.height()) {
        ShowMessage(this, QStringLiteral("The title's pictures could not be read to find its black bars."));
        emit autoCropEnded(false);
        return;
    }
    PictureSettings& p = m_working.picture;
    p.zoomMode = 0; // what remains keeps its shape
    p.cropLeft = scan.bars.left;
    p.cropTop = scan.bars.top;
    p.cropRight = scan.width - scan.bars.right;
    p.cropBottom = scan.height - scan.bars.bottom;
    ApplyCrop(true);
    ShowCropValues();
    emit autoCropEnded(true);
}

void CCropDlg::ShowPage(int page)
{
    if (page < kTrim || page > kEffect) page = kTrim;
    m_page = page;
    bool pageButtonFocused = false;
    for (int p = kTrim; p <= kEffect; ++p) {
        for (QWidget* w : m_pageControls[p]) w->setVisible(p == page);
        if (!m_pageButtons[p]) continue;
        m_pageButtons[p]->setChecked(p == page);
        pageButtonFocused = pageButtonFocused || m_pageButtons[p]->hasFocus();
    }
    // The keyboard's ring stays with the page shown (the window starts with it there too).
    if (m_pageButtons[page] && (pageButtonFocused || !focusWidget())) m_pageButtons[page]->setFocus();
}

void CCropDlg::ShowTrimTexts()
{
    const std::int64_t start = m_working.trimStart, end = m_working.trimStart + m_working.trimLength;
    m_startEdit->setText(TrimTimeText(start));
    m_endEdit->setText(TrimTimeText(end));
    m_lengthBox->setText(TrimTimeText(m_working.trimLength));
    const double length = static_cast<double>(std::max<std::int64_t>(SourceLength(), 1));
    m_range->SetHandles(static_cast<double>(start) / length, static_cast<double>(end) / length);
    m_shownHandles = m_range->Positions();
    m_timeline->SetSelection(static_cast<int>(start * 1000 / length), static_cast<int>(end * 1000 / length));
}

void CCropDlg::ShowCropValues()
{
    const PictureSettings& p = m_working.picture;
    m_zoom->setCurrentIndex(std::clamp(p.zoomMode, 0, 3));
    const int values[4] = {p.cropLeft, p.cropTop, m_frame.width() - p.cropRight, m_frame.height() - p.cropBottom};
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker quiet(m_cropEdits[i]);
        m_cropEdits[i]->setValue(values[i]);
    }
}

// ---- Preview ----

void CCropDlg::StartPreview()
{
    if (!m_previewBuilt) {
        const PictureSettings& p = m_working.picture;
        if (!m_preview->Build(m_disc, m_task.titleIndex, m_task.chapterIndex, p, m_left, m_right)) return;
        m_previewBuilt = true;
        const auto attach = [](CVideoWindow* window, IBaseFilter* renderer) {
            CLSID clsid{};
            if (renderer && SUCCEEDED(renderer->GetClassID(&clsid)) && clsid == CLSID_VideoMixingRenderer7)
                window->SetRenderer(static_cast<CVideoRenderer*>(renderer));
        };
        attach(m_left, m_preview->LeftRenderer());
        attach(m_right, m_preview->RightRenderer());
        // The panes show the source and the output at their display shapes.
        if (CVideoRenderer* left = m_left->Renderer()) left->SetDisplayAspect(Shape(m_preview->SourceAspect()));
        // Runs on a streaming thread and only posts a call to this window's thread. The preview
        // (and with it this callback) is torn down in the destructor, before the window goes.
        m_preview->SetNotify([this] { QMetaObject::invokeMethod(this, &CCropDlg::OnPlayerEvent, Qt::QueuedConnection); });
        m_preview->ChooseStreams(m_task.audioStreamId, m_task.burnSubtitles ? m_task.subtitleId : 0);
        m_preview->ShowSubpictures(m_task.burnSubtitles && m_task.subtitleId != 0);
        m_tracker.SetBounds(PictureBox());
        ApplyCrop(true);
    }
    OnPlay();
}

void CCropDlg::OnPlay()
{
    if (!m_previewBuilt) {
        StartPreview();
        return;
    }
    if (!m_preview->GetPosition(m_playFrom)) m_playFrom = 0;
    // Stopped at the trim's end: Play plays the trim again from its start.
    const double start = static_cast<double>(m_working.trimStart) / 1000;
    const double end = static_cast<double>(m_working.trimStart + m_working.trimLength) / 1000;
    if (std::abs(m_playFrom - end) < 0.05 && end > start) {
        m_preview->SetPosition(start);
        m_playFrom = start;
    }
    m_preview->Play();
    m_paused = false;
    m_play->hide();
    m_pause->show();
    m_positionTimer.start();
}

void CCropDlg::OnPause()
{
    if (!m_previewBuilt) return;
    m_preview->Pause();
    m_paused = true;
    m_pause->hide();
    m_play->show();
}

void CCropDlg::OnPlayerEvent()
{
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    bool complete = false;
    while (m_preview->NextEvent(code, param1, param2))
        if (code == EC_COMPLETE) complete = true;
    if (!complete) return;
    m_preview->Stop();
    m_paused = false;
    m_preview->SetPosition(0);
    m_positionTimer.stop();
    m_pause->hide();
    m_play->show();
    m_timeline->SetPos(0);
}

void CCropDlg::FollowPosition()
{
    double position = 0, length = 0;
    if (!m_preview->GetPosition(position) || !m_preview->GetPlayLength(length) || length <= 0) return;
    // A play that began inside the trim stops at its end, on its last picture; one begun past
    // it (to look beyond) plays on.
    const double end = static_cast<double>(m_working.trimStart + m_working.trimLength) / 1000;
    if (!m_pause->isHidden() && m_playFrom < end && position >= end && end < length) {
        OnPause();
        m_preview->SetPosition(end);
        position = end;
    }
    const int thumb = static_cast<int>(position * 1000 / length);
    if (thumb != m_timeline->GetPos()) m_timeline->SetPos(thumb);
    m_timeText->setText(TrimTimeText(static_cast<std::int64_t>(position) * 1000) + QStringLiteral("/") +
                        TrimTimeText(static_cast<std::int64_t>(length) * 1000));
}

void CCropDlg::OnGoToSelection()
{
    double length = 0;
    if (!m_previewBuilt || !m_preview->GetPlayLength(length)) return;
    const int start = m_timeline->GetSelection().first;
    const int span = std::max(1, m_timeline->GetRangeMax() - m_timeline->GetRangeMin());
    m_preview->SetPosition(length * start / span);
}

std::int64_t CCropDlg::PlayPosition() const
{
    double seconds = 0;
    if (m_previewBuilt && m_preview->GetPosition(seconds)) return std::clamp<std::int64_t>(std::llround(seconds * 1000), 0, SourceLength());
    const int span = std::max(1, m_timeline->GetRangeMax() - m_timeline->GetRangeMin());
    return SourceLength() * m_timeline->GetPos() / span;
}

void CCropDlg::OnMarkIn()
{
    const std::int64_t at = PlayPosition();
    std::int64_t end = m_working.trimStart + m_working.trimLength;
    if (at >= end) end = SourceLength(); // past the end: the trim runs to the title's end
    m_working.trimStart = std::min(at, end);
    m_working.trimLength = end - m_working.trimStart;
    ShowTrimTexts();
}

void CCropDlg::OnMarkOut()
{
    const std::int64_t at = PlayPosition();
    if (at <= m_working.trimStart) m_working.trimStart = 0; // before the start: the trim starts at the title's start
    m_working.trimLength = at - m_working.trimStart;
    ShowTrimTexts();
}

// ---- Trim ----

void CCropDlg::OnRangeMoved(int start, int end)
{
    const std::int64_t length = SourceLength();
    const std::int64_t oldEnd = m_working.trimStart + m_working.trimLength;
    // Only the handle that moved changes its time: the other keeps what was typed.
    if (start >= 0 && start != m_shownHandles.first) {
        m_working.trimStart = length * start / 1000;
        m_working.trimLength = oldEnd - m_working.trimStart;
    }
    if (end >= 0 && end != m_shownHandles.second) m_working.trimLength = length * end / 1000 - m_working.trimStart;
    m_shownHandles = {start, end};
    m_working.trimLength = std::max<std::int64_t>(m_working.trimLength, 0);
    const QSignalBlocker quiet(m_range);
    m_startEdit->setText(TrimTimeText(m_working.trimStart));
    m_endEdit->setText(TrimTimeText(m_working.trimStart + m_working.trimLength));
    m_lengthBox->setText(TrimTimeText(m_working.trimLength));
}

void CCropDlg::OnApplyStart()
{
    const std::int64_t end = m_working.trimStart + m_working.trimLength;
    const std::optional<std::int64_t> typed = ParseTimeText(m_startEdit->text().trimmed().toStdString());
    if (!typed) {
        ShowTrimTexts(); // not a time: the text goes back to the start as it is
        return;
    }
    std::int64_t start = *typed;
    if (start > end) start = end - kSecondMs; // after the end: a second before it
    start = std::max<std::int64_t>(start, 0);
    m_working.trimStart = start;
    m_working.trimLength = end - start;
    ShowTrimTexts();
}

void CCropDlg::OnApplyEnd()
{
    const std::optional<std::int64_t> typed = ParseTimeText(m_endEdit->text().trimmed().toStdString());
    if (!typed) {
        ShowTrimTexts();
        return;
    }
    std::int64_t end = *typed;
    if (end > SourceLength()) end = SourceLength();
    if (end < m_working.trimStart) end = std::min(m_working.trimStart + kSecondMs, SourceLength());
    m_working.trimLength = end - m_working.trimStart;
    ShowTrimTexts();
}

// ---- Crop ----

CropTracker::Box CCropDlg::PictureBox() const
{
    const QRect pane(QPoint(0, 0), kLeftPane.size());
    QRect shown = pane;
    CVideoRenderer* renderer = m_left ? m_left->Renderer() : nullptr;
    if (renderer && !renderer->DisplayAspect().isEmpty()) {
        shown = renderer->PictureRect(pane);
    } else if (m_previewBuilt && m_preview->SourceAspect().Known()) {
        const AspectRatio a = m_preview->SourceAspect();
        const QSize fitted = QSize(a.x, a.y).scaled(pane.size(), Qt::KeepAspectRatio);
        shown = QRect(QPoint((pane.width() - fitted.width()) / 2, (pane.height() - fitted.height()) / 2), fitted);
    } else {
        const QSize fitted = m_frame.scaled(pane.size(), Qt::KeepAspectRatio);
        shown = QRect(QPoint((pane.width() - fitted.width()) / 2, (pane.height() - fitted.height()) / 2), fitted);
    }
    return {shown.left(), shown.top(), shown.left() + shown.width(), shown.top() + shown.height()};
}

void CCropDlg::OnZoomChosen(int mode)
{
    m_working.picture.zoomMode = std::clamp(mode, 0, 3);
    ApplyCrop(false);
}

void CCropDlg::OnCropEdited(int which)
{
    PictureSettings& p = m_working.picture;
    // The boxes hold margins, what is cut from each side; the settings hold the kept rectangle.
    const int size = which % 2 == 0 ? m_frame.width() : m_frame.height();
    const auto edge = [&](int boxValue) { return which < 2 ? boxValue : size - boxValue; };
    int value = edge(m_cropEdits[which]->value());
    // Each edge stays on its side of the opposite one.
    switch (which) {
    case 0:
        if (value >= p.cropRight) value = p.cropRight - 1;
        break;
    case 1:
        if (value >= p.cropBottom) value = p.cropBottom - 1;
        break;
    case 2:
        if (value <= p.cropLeft) value = p.cropLeft + 1;
        break;
    default:
        if (value <= p.cropTop) value = p.cropTop + 1;
        break;
    }
    std::int32_t* fields[4] = {&p.cropLeft, &p.cropTop, &p.cropRight, &p.cropBottom};
    if (edge(value) != m_cropEdits[which]->value()) {
        const QSignalBlocker quiet(m_cropEdits[which]);
        m_cropEdits[which]->setValue(edge(value));
    }
    if (*fields[which] == value) return;
    *fields[which] = value;
    ApplyCrop(true);
}

void CCropDlg::OnTrackerChanged()
{
    // Pane to frame: x × frame width / bounds width + 0.5, truncated.
    const CropTracker::Box& b = m_tracker.Bounds();
    const CropTracker::Box& r = m_tracker.Rect();
    const int bw = std::max(1, b.Width()), bh = std::max(1, b.Height());
    const auto fx = [&](int x) { return static_cast<int>(static_cast<double>(x - b.left) * m_frame.width() / bw + 0.5); };
    const auto fy = [&](int y) { return static_cast<int>(static_cast<double>(y - b.top) * m_frame.height() / bh + 0.5); };
    PictureSettings& p = m_working.picture;
    p.cropLeft = fx(r.left);
    p.cropTop = fy(r.top);
    p.cropRight = fx(r.right);
    p.cropBottom = fy(r.bottom);
    ApplyCrop(false);
    ShowCropValues();
}

void CCropDlg::ApplyCrop(bool placeTracker)
{
    PictureSettings& p = m_working.picture;
    // Within the frame; an empty crop is no crop change.
    const int left = std::clamp(p.cropLeft, 0, m_frame.width()), right = std::clamp(p.cropRight, 0, m_frame.width());
    const int top = std::clamp(p.cropTop, 0, m_frame.height()), bottom = std::clamp(p.cropBottom, 0, m_frame.height());
    if (right <= left || bottom <= top) return;
    p.cropLeft = left;
    p.cropRight = right;
    p.cropTop = top;
    p.cropBottom = bottom;
    if (m_previewBuilt) m_preview->SetCrop(p);
    // The result at the file's shape, which follows the crop where the file's size does.
    if (CVideoRenderer* result = m_right->Renderer()) result->SetDisplayAspect(Shape(m_preview->OutputAspect()));
    RedrawStill();
    if (placeTracker) {
        // Frame to pane: value / scale + 0.5.
        const CropTracker::Box& b = m_tracker.Bounds();
        const double sx = static_cast<double>(m_frame.width()) / std::max(1, b.Width());
        const double sy = static_cast<double>(m_frame.height()) / std::max(1, b.Height());
        m_tracker.SetRect({b.left + static_cast<int>(left / sx + 0.5), b.top + static_cast<int>(top / sy + 0.5),
                           b.left + static_cast<int>(right / sx + 0.5), b.top + static_cast<int>(bottom / sy + 0.5)});
    }
    DrawOverlay();
}

void CCropDlg::DrawOverlay()
{
    CVideoRenderer* renderer = m_left ? m_left->Renderer() : nullptr;
    if (!renderer) return;
    QImage overlay(kLeftPane.size(), QImage::Format_RGB32);
    overlay.fill(Qt::black);
    QPainter painter(&overlay);
    const CropTracker::Box& r = m_tracker.Rect();
    const QRect box(r.left, r.top, r.Width() - 1, r.Height() - 1);
    // A yellow dashed line two pixels wide, with marks at the corners and the middles of the edges.
    painter.setPen(QPen(QColor(255, 255, 0), 2, Qt::DashLine));
    painter.drawRect(box);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 0));
    const QPoint marks[] = {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight(),
                            QPoint(box.center().x(), box.top()), QPoint(box.center().x(), box.bottom()),
                            QPoint(box.left(), box.center().y()), QPoint(box.right(), box.center().y())};
    for (const QPoint& m : marks) painter.drawRect(QRect(m - QPoint(2, 2), QSize(5, 5)));
    painter.end();
    renderer->SetAlphaBitmap(overlay, qRgb(0, 0, 0), 1.0);
}

bool CCropDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_left) return CSkinnedDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_tracker.Begin(mouse->position().toPoint())) return true;
        break;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (m_tracker.Dragging()) {
            if (m_tracker.Move(at)) OnTrackerChanged();
            return true;
        }
        m_left->setCursor(CropTracker::CursorFor(m_tracker.HitTest(at)));
        break;
    }
    case QEvent::MouseButtonRelease:
        if (m_tracker.Dragging()) {
            m_tracker.End();
            return true;
        }
        break;
    default:
        break;
    }
    return CSkinnedDialog::eventFilter(watched, event);
}

void CCropDlg::RedrawStill()
{
    if (!m_previewBuilt || !m_pause->isHidden()) return; // playing: the next picture shows it
    // A seek to where it stands makes the paused graph show that picture again, through the
    // conversion as it is set now.
    double seconds = 0;
    if (!m_preview->GetPosition(seconds)) return;
    // Stopped (played to its end): paused there instead, which shows a picture.
    if (!m_paused) {
        m_preview->Pause();
        m_paused = true;
    }
    m_preview->SetPosition(seconds);
}

void CCropDlg::OnReset()
{
    PictureSettings& p = m_working.picture;
    switch (m_page) {
    case kTrim:
        m_working.trimStart = 0;
        m_working.trimLength = SourceLength();
        ShowTrimTexts();
        break;
    case kCrop:
        p.zoomMode = 0;
        p.cropLeft = p.cropTop = 0;
        p.cropRight = m_frame.width();
        p.cropBottom = m_frame.height();
        ApplyCrop(true);
        ShowCropValues();
        break;
    default:
        p.brightness = 128;
        p.saturation = 64;
        p.hue = 0;
        m_preview->SetSaturation(64);
        m_preview->SetHue(0);
        m_preview->SetBrightness(128);
        break;
    }
    // Every page's reset also brings the volume back.
    p.volume = 256;
    m_preview->SetVolume(256);
    ShowEffectValues();
    if (m_page != kTrim) RedrawStill();
}

void CCropDlg::accept()
{
    m_task.clip = m_working;
    CSkinnedDialog::accept();
}

#include "app/settings_dlg.h"
#include "app/about_dlg.h"
#include "write/encoder_options.h"
#include "write/settings_check.h"
#include "app/my_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "app/skin.h"
#include "app/user_profiles.h"
#include "convert/file_marks.h"
#include "profiles/profile_catalogue.h"

namespace {

QComboBox* List(bool editable = false)
{
    auto* box = new QComboBox;
    box->setEditable(editable);
    box->setMinimumWidth(180);
    return box;
}

void Fill(QComboBox* box, const std::string& list)
{
    box->clear();
    for (const std::string& label : OptionLabels(list)) box->addItem(QString::fromStdString(label));
}

// Selects the first entry that begins with the value's label (case ignored); none when the
// value has no label.
void SelectLabel(QComboBox* box, const std::string& list, const std::string& value)
{
    const std::string label = LookupLabel(list, value);
    const int at = label.empty() ? -1 : box->findText(QString::fromStdString(label), Qt::MatchStartsWith);
    box->setCurrentIndex(at);
}

// "Same as source" in the audio encoders of a profile whose container keeps some disc sound as it
// is (the general and HD video formats in MKV, MP4, M4V, MOV, AVI and MPEG).
constexpr const char* kSameAsSource = "copy$Same as source";

bool KeepsSoundAsItIs(const ProfileRecord& profile)
{
    if (!profile.writer.hasVideo || !profile.writer.hasAudio) return false;
    for (std::int32_t format : {kAudioFormatAc3, kAudioFormatMpeg2, kAudioFormatLpcm})
        if (KeepingOf(format, profile.FormatExt) != SoundKeeping::kConverted) return true;
    return false;
}

} // namespace

QHBoxLayout* CSettingsDlg::MakeGroups()
{
    auto* video = new QGroupBox(QStringLiteral("Video"));
    auto* videoForm = new QFormLayout(video);
    videoForm->addRow(QStringLiteral("Resolution:"), m_resolution);
    videoForm->addRow(QStringLiteral("Frame Rate:"), m_frameRate);
    videoForm->addRow(QStringLiteral("Encoder:"), m_videoEncoder);
    videoForm->addRow(QStringLiteral("Bitrate:"), m_videoBitRate);
    videoForm->addRow(QStringLiteral("Rate control:"), m_rateControl);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(m_quality);
    qualityRow->addWidget(m_qualityHint, 1);
    videoForm->addRow(QStringLiteral("Quality:"), qualityRow);
    videoForm->addRow(QStringLiteral("Speed:"), m_speed);
    videoForm->addRow(QStringLiteral("Bit depth:"), m_bitDepth);
    auto* audio = new QGroupBox(QStringLiteral("Audio"));
    auto* audioForm = new QFormLayout(audio);
    audioForm->addRow(QStringLiteral("Sample Rate:"), m_sampleRate);
    audioForm->addRow(QStringLiteral("Channels:"), m_channels);
    audioForm->addRow(QStringLiteral("Encoder:"), m_audioEncoder);
    audioForm->addRow(QStringLiteral("Bitrate:"), m_audioBitRate);
    auto* groups = new QHBoxLayout;
    groups->addWidget(video);
    groups->addWidget(audio);
    return groups;
}

CSettingsDlg::CSettingsDlg(const ProfileRecord& working, ProfileCatalogue* catalogue, QWidget* parent)
    : CSkinnedDialog(parent), m_working(working), m_catalogue(catalogue)
{
    setWindowTitle(QStringLiteral("Settings"));
    m_presets = List();
    m_presets->setMinimumWidth(360);
    m_resolution = List(true);
    m_frameRate = List();
    m_videoEncoder = List();
    m_videoBitRate = List();
    m_sampleRate = List();
    m_channels = List();
    m_audioEncoder = List();
    m_audioBitRate = List();
    m_rateControl = List();
    m_speed = List();
    m_bitDepth = List();
    m_quality = new QSpinBox;
    m_qualityHint = new QLabel;
    m_qualityHint->setWordWrap(true);
    auto* presetRow = new QHBoxLayout;
    presetRow->addWidget(new QLabel(QStringLiteral("Format PreSet:")));
    presetRow->addWidget(m_presets, 1);
    auto* del = m_delete = new QPushButton(QStringLiteral("Del"));
    auto* saveAs = m_saveAs = new QPushButton(QStringLiteral("Save as..."));
    presetRow->addWidget(del);
    presetRow->addWidget(saveAs);

    QHBoxLayout* groups = MakeGroups();

    QHBoxLayout* subtitleRow = MakeSubtitleRow();

    auto* help = new QLabel(QStringLiteral("The video encoder you choose sets the video codec of the output file."));
    help->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    auto* defaults = new QPushButton(QStringLiteral("Default"));
    auto* ok = new QPushButton(QStringLiteral("Ok"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    ok->setDefault(true);
    // Enter is OK wherever the focus is (after Save as, it would open Save as again).
    for (QPushButton* button : {del, saveAs, defaults, cancel}) button->setAutoDefault(false);
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 46, 12, 12); // under the skin's title bar
    layout->addLayout(presetRow);
    layout->addLayout(groups);
    layout->addLayout(subtitleRow);
    layout->addWidget(help);
    layout->addLayout(buttons);
    // The skin, as the main window wears it: a drawn window with its title and a close button.
    SetBackground("settings_bg.png", QSize(690, 450));
    auto* close = new CMyButton(QStringLiteral("x"), this);
    close->SetPictures("close.png", width() - 30, 8, Background());
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);

    connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &CSettingsDlg::OnDefault);
    connect(saveAs, &QPushButton::clicked, this, [this] { SaveAs(); });
    connect(del, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    ConnectChoices();

    FillPresets();
    FillLists();
    SelectValues();
}

QHBoxLayout* CSettingsDlg::MakeSubtitleRow()
{
    m_subtitleTracks = List();
    m_subtitleTracks->addItems({QStringLiteral("None"), QStringLiteral("The chosen one"), QStringLiteral("All")});
    m_subtitleTracks->setToolTip(QStringLiteral("Subtitles kept as tracks that players can switch on and off (MKV and MP4).\n"
                                                "The main window's SubTitle line still burns one into the picture."));
    m_subtitleText = List();
    m_subtitleText->addItems({QStringLiteral("Pictures"), QStringLiteral("Text")});
    m_subtitleText->setToolTip(QStringLiteral("Text: the disc's subtitle pictures are read into text that every player shows\n"
                                              "(MKV SubRip, MP4, M4V, MOV and 3GP timed text, WebM WebVTT)."));
    m_subtitleFiles = new QCheckBox(QStringLiteral("Also write .srt files"));
    m_subtitleFiles->setToolTip(QStringLiteral("The subtitles read into text, beside the file as NAME.eng.srt, as media servers find them."));

    auto* subtitleRow = new QHBoxLayout;
    subtitleRow->addWidget(new QLabel(QStringLiteral("Subtitle tracks:")));
    // The subtitles' row holds three choices: each box as wide as its longest item.
    m_subtitleTracks->setMinimumWidth(135);
    m_subtitleText->setMinimumWidth(95);
    subtitleRow->addWidget(m_subtitleTracks);
    subtitleRow->addSpacing(16);
    subtitleRow->addWidget(new QLabel(QStringLiteral("Subtitle tracks as:")));
    subtitleRow->addWidget(m_subtitleText);
    subtitleRow->addSpacing(16);
    subtitleRow->addWidget(m_subtitleFiles);
    subtitleRow->addStretch(1);
    return subtitleRow;
}

void CSettingsDlg::ConnectChoices()
{
    connect(m_presets, &QComboBox::activated, this, &CSettingsDlg::PresetChosen);
    // A choice narrows the others to what goes with it (Vorbis takes fewer bitrates at 22 kHz).
    for (QComboBox* box : {m_resolution, m_frameRate, m_videoEncoder, m_videoBitRate, m_sampleRate, m_channels, m_audioEncoder,
                           m_audioBitRate, m_rateControl})
        connect(box, &QComboBox::activated, this, [this] { Refresh(); });
    for (QComboBox* box : {m_rateControl, m_presets, m_subtitleTracks})
        connect(box, &QComboBox::currentIndexChanged, this, &CSettingsDlg::ShowWhatApplies);
}

void CSettingsDlg::ShowWhatApplies()
{
    const bool video = m_working.writer.hasVideo != 0;
    const bool constant = m_rateControl->count() > 0 && m_rateControl->currentData().toInt() == kConstantQuality;
    m_videoBitRate->setEnabled(video && !constant);
    m_videoBitRate->setToolTip(constant ? QStringLiteral("Constant quality sets no bitrate: the size follows the picture") : QString());
    if (m_rateControl->count() > 0 && QualityScaleOf(m_working.writer.VideoCodecName)) m_quality->setEnabled(constant);
    if (m_delete) m_delete->setEnabled(UserProfiles::IsUserIndex(m_presets->currentData().toInt()));
    const bool tracks = m_subtitleTracks->currentIndex() > 0;
    m_subtitleText->setEnabled(tracks);
    m_subtitleFiles->setEnabled(tracks);
}

void CSettingsDlg::FillPresets()
{
    m_filling = true;
    m_presets->clear();
    if (m_catalogue) {
        m_catalogue->Lock();
        for (auto node = m_catalogue->First(); node != m_catalogue->End(); ++node)
            m_presets->addItem(QString::fromStdString(node->ProfileName), node->index);
        m_catalogue->Unlock();
    }
    for (const ProfileRecord& r : UserProfiles::Load()) m_presets->addItem(QString::fromStdString(r.ProfileName), r.index);
    const int at = m_presets->findData(m_working.index);
    m_presets->setCurrentIndex(at >= 0 ? at : 0);
    m_filling = false;
}

void CSettingsDlg::FillLists()
{
    // "Same as source" among the frame rates of a profile that encodes pictures: a PAL title stays
    // at 25, NTSC video at 29.97.
    if (m_working.writer.hasVideo && !OutputWriter::IsCopy(m_working.writer.VideoCodecName) &&
        LookupLabel(m_working.FrameRates, "0").empty())
        m_working.FrameRates = std::string("0$Same as source") + (m_working.FrameRates.empty() ? "" : ",") + m_working.FrameRates;
    // Only what the profile's encoders can encode is offered (H.263 takes five sizes, Opus a few
    // sample rates, MP2 two channels).
    const WriterSettings& w = m_working.writer;
    const std::string extension = m_working.FormatExt;
    const SettingsTest works = [&](const WriterSettings& trial) { return SettingsWork(trial, extension); };
    Fill(m_resolution, WorkingItems(m_working.Resolutions, w, ApplySize, works));
    Fill(m_frameRate, WorkingItems(m_working.FrameRates, w, ApplyFrameRate, works));
    Fill(m_videoEncoder, m_working.VideoCodecs);
    Fill(m_videoBitRate, WorkingItems(m_working.VideoBitRates, w, ApplyVideoBitRate, works));
    // A profile without pictures shows no video values at all.
    const bool video = m_working.writer.hasVideo != 0;
    for (QComboBox* box : {m_resolution, m_frameRate, m_videoEncoder, m_videoBitRate}) {
        if (!video) {
            box->clear();
            box->setEditText(QString());
        }
        box->setEnabled(video);
    }
    Fill(m_sampleRate, WorkingItems(m_working.SampleRates, w, ApplySampleRate, works));
    Fill(m_channels, WorkingItems(m_working.Channels, w, ApplyChannels, works));
    if (KeepsSoundAsItIs(m_working) && LookupLabel(m_working.AudioCodecs, "copy").empty())
        m_working.AudioCodecs += std::string(m_working.AudioCodecs.empty() ? "" : ",") + kSameAsSource;
    Fill(m_audioEncoder, m_working.AudioCodecs);
    Fill(m_audioBitRate, WorkingItems(m_working.AudioBitRates, w, ApplyAudioBitRate, works));
    FillEncoderControls();
}

void CSettingsDlg::FillEncoderControls()
{
    const WriterSettings& w = m_working.writer;
    const bool video = w.hasVideo && !OutputWriter::IsCopy(w.VideoCodecName);
    const QualityScale* scale = video ? QualityScaleOf(w.VideoCodecName) : nullptr;
    m_rateControl->clear();
    if (scale) m_rateControl->addItem(QStringLiteral("Constant quality"), kConstantQuality);
    if (video) m_rateControl->addItem(QStringLiteral("Average bitrate"), kAverageBitrate);
    if (video && TwoPassRefusal(w.VideoCodecName).empty())
        m_rateControl->addItem(QStringLiteral("Average bitrate, two passes"), kTwoPass);
    m_rateControl->setEnabled(m_rateControl->count() > 1);
    m_quality->setEnabled(scale != nullptr);
    m_qualityHint->setText(scale ? QString::fromUtf8(scale->hint) : QString());
    if (scale) {
        m_quality->setRange(scale->lowest, scale->highest);
        m_quality->setToolTip(QStringLiteral("%1 to %2; %3").arg(scale->lowest).arg(scale->highest).arg(QString::fromUtf8(scale->hint)));
    }
    m_speed->clear();
    for (const std::string& preset : video ? SpeedPresetsOf(w.VideoCodecName) : std::vector<std::string>{})
        m_speed->addItem(QString::fromStdString(preset));
    m_speed->setEnabled(m_speed->count() > 0);
    m_bitDepth->clear();
    for (int depth : video ? BitDepthsOf(w.VideoCodecName) : std::vector<int>{8}) m_bitDepth->addItem(QStringLiteral("%1-bit").arg(depth), depth);
    m_bitDepth->setEnabled(m_bitDepth->count() > 1);
}

QByteArray CSettingsDlg::SizeText() const
{
    // A named size stands for its value; a typed one is "W*H".
    const std::string shown = m_resolution->currentText().toStdString();
    const std::string value = LookupValue(m_working.Resolutions, shown);
    return QByteArray::fromStdString(value.empty() ? shown : value);
}

void CSettingsDlg::SelectValues()
{
    const WriterSettings& w = m_working.writer;
    if (w.hasVideo) {
        m_resolution->setCurrentIndex(-1);
        // A size with a name ("Same as source", "1280 wide") shows it.
        const std::string size = std::to_string(w.Width) + "*" + std::to_string(w.Height);
        const std::string label = LookupLabel(m_working.Resolutions, size);
        m_resolution->setEditText(QString::fromStdString(label.empty() ? size : label));
        SelectLabel(m_frameRate, m_working.FrameRates, std::to_string(w.FrameRate));
        SelectLabel(m_videoEncoder, m_working.VideoCodecs, w.VideoCodecName);
        SelectLabel(m_videoBitRate, m_working.VideoBitRates, std::to_string(w.VideoBitRate));
    }
    if (w.hasAudio) {
        SelectLabel(m_sampleRate, m_working.SampleRates, std::to_string(w.SampleRate));
        SelectLabel(m_channels, m_working.Channels, std::to_string(w.Channel));
        SelectLabel(m_audioEncoder, m_working.AudioCodecs, w.AudioCodecName);
        SelectLabel(m_audioBitRate, m_working.AudioBitRates, std::to_string(w.AudioBitRate));
    }
    m_subtitleTracks->setCurrentIndex(std::clamp(w.subtitleTracks, 0, 2));
    m_subtitleText->setCurrentIndex(std::clamp(w.subtitleText, 0, 1));
    m_subtitleFiles->setChecked(w.subtitleFiles == 1);
    m_rateControl->setCurrentIndex(std::max(0, m_rateControl->findData(w.rateControl)));
    if (const QualityScale* scale = w.hasVideo ? QualityScaleOf(w.VideoCodecName) : nullptr)
        m_quality->setValue(w.rateControl == kConstantQuality && w.quality >= scale->lowest ? w.quality : scale->suggested);
    const QString speed = QString::fromLatin1(w.Speed[0] ? w.Speed : DefaultSpeedOf(w.VideoCodecName).c_str());
    m_speed->setCurrentIndex(std::max(0, m_speed->findText(speed)));
    m_bitDepth->setCurrentIndex(std::max(0, m_bitDepth->findData(w.bitDepth)));
    ShowWhatApplies();
}

void CSettingsDlg::TakeShown()
{
    WriterSettings& w = m_working.writer;
    int width = 0, height = 0;
    if (w.hasVideo && std::sscanf(SizeText().constData(), "%d*%d", &width, &height) == 2) {
        w.Width = width;
        w.Height = height;
    }
    auto take = [](QComboBox* box, const std::string& list, auto store) {
        const std::string v = LookupValue(list, box->currentText().toStdString());
        if (!v.empty()) store(v);
    };
    if (w.hasVideo) {
        take(m_frameRate, m_working.FrameRates, [&](const std::string& v) { w.FrameRate = std::atoi(v.c_str()); });
        take(m_videoEncoder, m_working.VideoCodecs, [&](const std::string& v) { StoreCodecName(w.VideoCodecName, v); });
        take(m_videoBitRate, m_working.VideoBitRates, [&](const std::string& v) { w.VideoBitRate = std::atoi(v.c_str()); });
        // The encoder's own controls, while they belong to it.
        if (m_rateControl->count() > 0) {
            w.rateControl = m_rateControl->currentData().toInt();
            w.quality = w.rateControl == kConstantQuality ? m_quality->value() : w.quality;
            StoreCodecName(w.Speed, m_speed->count() > 0 ? m_speed->currentText().toStdString() : std::string());
            w.bitDepth = m_bitDepth->count() > 0 ? m_bitDepth->currentData().toInt() : 8;
        }
    }
    if (w.hasAudio) {
        take(m_sampleRate, m_working.SampleRates, [&](const std::string& v) { w.SampleRate = std::atoi(v.c_str()); });
        take(m_channels, m_working.Channels, [&](const std::string& v) { w.Channel = std::atoi(v.c_str()); });
        take(m_audioEncoder, m_working.AudioCodecs, [&](const std::string& v) { StoreCodecName(w.AudioCodecName, v); });
        take(m_audioBitRate, m_working.AudioBitRates, [&](const std::string& v) { w.AudioBitRate = std::atoi(v.c_str()); });
    }
    w.subtitleTracks = m_subtitleTracks->currentIndex();
    w.subtitleText = m_subtitleText->currentIndex();
    w.subtitleFiles = m_subtitleFiles->isChecked() ? 1 : 0;
}

void CSettingsDlg::Refresh()
{
    if (m_filling) return;
    const std::string encoder = m_working.writer.VideoCodecName;
    TakeShown();
    WriterSettings& w = m_working.writer;
    // Another encoder starts from its own quality, speed and depth.
    if (encoder != w.VideoCodecName) {
        const QualityScale* scale = QualityScaleOf(w.VideoCodecName);
        w.rateControl = scale ? kConstantQuality : kAverageBitrate;
        w.quality = scale ? scale->suggested : 0;
        StoreCodecName(w.Speed, DefaultSpeedOf(w.VideoCodecName));
        w.bitDepth = 8;
    }
    m_filling = true;
    FillLists();
    SelectValues();
    // A value the new lists no longer offer gives way to the first they do.
    for (QComboBox* box : {m_frameRate, m_videoBitRate, m_sampleRate, m_channels, m_audioBitRate})
        if (box->currentIndex() < 0 && box->count() > 0) box->setCurrentIndex(0);
    m_filling = false;
}

bool CSettingsDlg::OnOk()
{
    WriterSettings& w = m_working.writer;
    // A list's text turned back into its value; empty shows "error param".
    auto value = [this](QComboBox* box, const std::string& list, std::string* out) {
        *out = LookupValue(list, box->currentText().toStdString());
        if (out->empty()) {
            ShowMessage(this, QStringLiteral("error param"));
            return false;
        }
        return true;
    };
    std::string v;
    if (w.hasVideo) {
        int width = 0, height = 0;
        const QByteArray text = SizeText();
        char rest = 0;
        if (text.isEmpty() || std::sscanf(text.constData(), "%d*%d%c", &width, &height, &rest) < 2) {
            ShowMessage(this, QStringLiteral("Resolution Error\r\n"));
            return false;
        }
        w.Width = width;
        w.Height = height;
        if (!value(m_frameRate, m_working.FrameRates, &v)) return false;
        w.FrameRate = std::atoi(v.c_str());
        if (!value(m_videoEncoder, m_working.VideoCodecs, &v)) return false;
        StoreCodecName(w.VideoCodecName, v);
        if (!value(m_videoBitRate, m_working.VideoBitRates, &v)) return false;
        w.VideoBitRate = std::atoi(v.c_str());
    }
    if (w.hasAudio) {
        if (!value(m_sampleRate, m_working.SampleRates, &v)) return false;
        w.SampleRate = std::atoi(v.c_str());
        if (!value(m_channels, m_working.Channels, &v)) return false;
        w.Channel = std::atoi(v.c_str());
        if (!value(m_audioEncoder, m_working.AudioCodecs, &v)) return false;
        StoreCodecName(w.AudioCodecName, v);
        if (!value(m_audioBitRate, m_working.AudioBitRates, &v)) return false;
        w.AudioBitRate = std::atoi(v.c_str());
    }
    w.subtitleTracks = m_subtitleTracks->currentIndex();
    w.subtitleText = m_subtitleText->currentIndex();
    w.subtitleFiles = m_subtitleFiles->isChecked() ? 1 : 0;
    if (w.hasVideo && m_rateControl->count() > 0) {
        w.rateControl = m_rateControl->currentData().toInt();
        if (w.rateControl == kConstantQuality) w.quality = m_quality->value();
        StoreCodecName(w.Speed, m_speed->count() > 0 ? m_speed->currentText().toStdString() : std::string());
        w.bitDepth = m_bitDepth->count() > 0 ? m_bitDepth->currentData().toInt() : 8;
    }
    accept();
    return true;
}

void CSettingsDlg::OnDefault()
{
    ProfileRecord found;
    const bool ok = UserProfiles::IsUserIndex(m_working.index) ? UserProfiles::Find(m_working.index, &found)
                                                                : (m_catalogue && m_catalogue->FindByIndex(m_working.index, &found));
    if (!ok) {
        ShowMessage(this, QStringLiteral("Conn`t get format"));
        return;
    }
    m_working = found;
    FillLists();
    SelectValues();
}

int CSettingsDlg::SaveAs(QString name)
{
    if (name.isEmpty()) {
        CTextQuestionDlg question(QStringLiteral("Save as..."), QStringLiteral("Name of the new profile:"),
                                  QString::fromStdString(m_working.ProfileName) + QStringLiteral(" (mine)"), this);
        if (m_nameQuestionShown) m_nameQuestionShown(&question);
        if (question.exec() != QDialog::Accepted) return -1;
        name = question.Text();
        if (name.trimmed().isEmpty()) return -1;
    }
    // What the lists show now is what is kept.
    TakeShown();
    const int index = UserProfiles::Add(m_working, name.trimmed());
    if (index < 0) {
        ShowMessage(this, QStringLiteral("Could not save the profile: ") + UserProfiles::FilePath() +
                              QStringLiteral(" cannot be written. Check that the folder exists and may be written to."));
        return -1;
    }
    m_working.index = index;
    m_working.ProfileName = FitText(name.trimmed().toStdString(), ProfileRecord::kProfileName);
    FillPresets();
    return index;
}

bool CSettingsDlg::DeleteSelected()
{
    const int index = m_presets->currentData().toInt();
    if (!UserProfiles::IsUserIndex(index)) {
        ShowMessage(this, QStringLiteral("Only profiles saved with \"Save as...\" can be deleted."));
        return false;
    }
    if (!UserProfiles::Remove(index)) return false;
    if (m_working.index == index) {
        // The copy stays as it is, now tied to no stored profile: it keeps its values.
        m_working.index = -1;
    }
    FillPresets();
    return true;
}

void CSettingsDlg::PresetChosen(int row)
{
    if (m_filling || row < 0) return;
    const int index = m_presets->itemData(row).toInt();
    ProfileRecord chosen;
    const bool ok = UserProfiles::IsUserIndex(index) ? UserProfiles::Find(index, &chosen)
                                                      : (m_catalogue && m_catalogue->FindByIndex(index, &chosen));
    if (!ok) return;
    m_working = chosen;
    FillLists();
    SelectValues();
}

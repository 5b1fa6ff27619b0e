#pragma once
// CSettingsDlg: edits a copy of the current profile: frame size, frame rate, video encoder and
// bit rate, sample rate, channels, audio encoder and bit rate, each from the profile's option
// lists. "Save as..." keeps the copy as a user profile, "Del" removes a user profile, and
// choosing a preset loads it into the copy. The catalogue is never written.

#include <functional>

#include "app/skinned_dialog.h"

#include "profiles/profile_record.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QSpinBox;
class QPushButton;
class ProfileCatalogue;

class CSettingsDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    CSettingsDlg(const ProfileRecord& working, ProfileCatalogue* catalogue, QWidget* parent = nullptr);
    const ProfileRecord& Working() const { return m_working; }

    QComboBox* Presets() const { return m_presets; }
    QComboBox* Resolution() const { return m_resolution; }
    QComboBox* FrameRate() const { return m_frameRate; }
    QComboBox* VideoEncoder() const { return m_videoEncoder; }
    QComboBox* VideoBitRate() const { return m_videoBitRate; }
    QComboBox* SampleRate() const { return m_sampleRate; }
    QComboBox* Channels() const { return m_channels; }
    QComboBox* AudioEncoder() const { return m_audioEncoder; }
    QComboBox* AudioBitRate() const { return m_audioBitRate; }
    // "Subtitle tracks": None, The chosen one, All.
    QComboBox* SubtitleTracks() const { return m_subtitleTracks; }
    // "Subtitle tracks as": Pictures, Text; and "Also write .srt files" (the tracks kept, read
    // into text).
    QComboBox* SubtitleText() const { return m_subtitleText; }
    QCheckBox* SubtitleFiles() const { return m_subtitleFiles; }
    // Rate control ("Constant quality", "Average bitrate"), the quality on the encoder's scale,
    // its speed presets and the depth of its pictures (today's encoders).
    QComboBox* RateControl() const { return m_rateControl; }
    QSpinBox* Quality() const { return m_quality; }
    QComboBox* Speed() const { return m_speed; }
    QComboBox* BitDepth() const { return m_bitDepth; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* SaveAsButton() const { return m_saveAs; }

public slots:
    // Stores the lists into the copy and closes; stays open with a message on a bad value.
    bool OnOk();
    // Reloads the copy from the catalogue.
    void OnDefault();
    // Keeps the copy as a user profile under `name` (asked for when empty); returns its index.
    int SaveAs(QString name = QString());
    // Tests answer the name question: called with it before it waits.
    void SetNameQuestionShown(std::function<void(class CTextQuestionDlg*)> shown) { m_nameQuestionShown = std::move(shown); }
    // Removes the chosen preset when it is a user profile.
    bool DeleteSelected();

private:
    // The Video and Audio groups of choices, side by side.
    QHBoxLayout* MakeGroups();
    // The subtitles' row: the tracks kept, as pictures or text, and the .srt files.
    QHBoxLayout* MakeSubtitleRow();
    std::function<void(class CTextQuestionDlg*)> m_nameQuestionShown;
    // The size the resolution box says, as "W*H".
    QByteArray SizeText() const;
    void FillPresets();
    void FillLists();
    void SelectValues();
    // What the lists show, into the copy.
    void TakeShown();
    // A value was chosen: the other lists offer what goes with it.
    void Refresh();
    // The rate control, quality, speed and depth controls for the copy's video encoder.
    void FillEncoderControls();
    void PresetChosen(int row);
    // The lists' choices: a preset loads, a value narrows the others, what applies follows.
    void ConnectChoices();
    // What can be changed now: the bitrate only without constant quality, the quality only with
    // it, Del only for a user profile, the subtitles' text only when tracks are kept.
    void ShowWhatApplies();

    ProfileRecord m_working;
    ProfileCatalogue* m_catalogue;
    QComboBox *m_presets, *m_resolution, *m_frameRate, *m_videoEncoder, *m_videoBitRate;
    QComboBox *m_sampleRate, *m_channels, *m_audioEncoder, *m_audioBitRate;
    QComboBox *m_subtitleTracks, *m_subtitleText;
    QCheckBox* m_subtitleFiles;
    QComboBox *m_rateControl, *m_speed, *m_bitDepth;
    QSpinBox* m_quality;
    QLabel* m_qualityHint;
    QPushButton *m_delete = nullptr, *m_saveAs = nullptr;
    bool m_filling = false;
};

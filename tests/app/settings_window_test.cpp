// The profile settings window: what it shows, what "Ok" stores and refuses, "Default", and the
// user profiles of "Save as..." and "Del".

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/about_dlg.h"
#include "app/settings_dlg.h"
#include "app/user_profiles.h"
#include "app_test_support.h"
#include "profiles/profile_catalogue.h"

class SettingsWindowTest : public QObject {
    Q_OBJECT
    ProfileCatalogue m_catalogue;

    ProfileRecord Profile(int index)
    {
        ProfileRecord r;
        m_catalogue.FindByIndex(index, &r);
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_catalogue.Load(ZUZIDERO_SOURCE_DATA "/Format.xml"));
        QVERIFY(m_catalogue.LoadAdded(ZUZIDERO_SOURCE_DATA "/Format-added.xml"));
        QFile::remove(UserProfiles::FilePath());
    }

    void ShowsTheProfilesValues()
    {
        const ProfileRecord avi = Profile(1);
        CSettingsDlg window(avi, &m_catalogue);
        QCOMPARE(window.Presets()->currentData().toInt(), 1);
        QCOMPARE(window.Presets()->count(), 115);
        QCOMPARE(window.Resolution()->currentText(), QString::asprintf("%d*%d", avi.writer.Width, avi.writer.Height));
        QCOMPARE(window.FrameRate()->currentText().toStdString(), LookupLabel(avi.FrameRates, std::to_string(avi.writer.FrameRate)));
        QCOMPARE(window.AudioEncoder()->currentText().toStdString(), LookupLabel(avi.AudioCodecs, avi.writer.AudioCodecName));
        // It wears the skin as the main window does: drawn, without the platform's frame, and
        // every control below the drawn title bar.
        QVERIFY(!window.Background().isNull());
        QCOMPARE(window.size(), window.Background().size());
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        window.show();
        QVERIFY(window.Presets()->geometry().top() >= 40);
        QVERIFY(window.rect().contains(window.AudioBitRate()->geometry()));
    }

    void OkStoresTheChosenValues()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        window.Resolution()->setEditText("320*240");
        window.AudioBitRate()->setCurrentIndex(0);
        QVERIFY(window.OnOk());
        QVERIFY(messages.messages.isEmpty());
        QCOMPARE(window.Working().writer.Width, 320);
        QCOMPARE(window.Working().writer.Height, 240);
        QCOMPARE(std::to_string(window.Working().writer.AudioBitRate),
                 LookupValue(Profile(5).AudioBitRates, window.AudioBitRate()->itemText(0).toStdString()));
    }

    void OkRefusesBadValues()
    {
        CollectMessages messages;
        {
            CSettingsDlg window(Profile(5), &m_catalogue);
            window.Resolution()->setEditText("640x480");
            QVERIFY(!window.OnOk());
            QCOMPARE(messages.messages, QStringList{"Resolution Error\r\n"});
            window.Resolution()->setEditText("");
            QVERIFY(!window.OnOk());
        }
        messages.messages.clear();
        {
            CSettingsDlg window(Profile(5), &m_catalogue);
            window.FrameRate()->setCurrentIndex(-1); // no text: no value
            QVERIFY(!window.OnOk());
            QCOMPARE(messages.messages, QStringList{"error param"});
            // What came before the error was stored; what follows was not.
            QCOMPARE(window.Working().writer.Width, Profile(5).writer.Width);
        }
    }

    void AnAudioProfileChecksOnlyItsSound()
    {
        CollectMessages messages;
        ProfileRecord mp3 = Profile(17);
        QCOMPARE(mp3.writer.hasVideo, 0);
        CSettingsDlg window(mp3, &m_catalogue);
        // No video values are shown for a profile without pictures.
        for (QComboBox* box : {window.Resolution(), window.FrameRate(), window.VideoEncoder(), window.VideoBitRate()}) {
            QCOMPARE(box->count(), 0);
            QVERIFY(box->currentText().isEmpty());
            QVERIFY(!box->isEnabled());
        }
        QVERIFY(window.SampleRate()->count() > 0);
        window.Resolution()->setEditText("nonsense");
        QVERIFY(window.OnOk());
        QVERIFY(messages.messages.isEmpty());
        QCOMPARE(window.Working().writer.Width, mp3.writer.Width);
    }

    void DefaultReloadsFromTheCatalogue()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        window.Resolution()->setEditText("100*100");
        QVERIFY(window.OnOk());
        CSettingsDlg again(window.Working(), &m_catalogue);
        again.OnDefault();
        QCOMPARE(again.Resolution()->currentText(), QString::asprintf("%d*%d", Profile(5).writer.Width, Profile(5).writer.Height));
        ProfileRecord lost = Profile(5);
        lost.index = 5000;
        CSettingsDlg missing(lost, &m_catalogue);
        missing.OnDefault();
        QCOMPARE(messages.messages, QStringList{"Conn`t get format"});
    }

    void SaveAsAsksForTheNameInTheSkinsWindow()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        int widthSeen = 0;
        bool skinned = false;
        window.SetNameQuestionShown([&](CTextQuestionDlg* question) {
            widthSeen = question->Field()->width();
            skinned = !question->Background().isNull();
            QCOMPARE(question->Field()->text(), QString::fromStdString(Profile(5).ProfileName) + " (mine)");
            // Typed once the question waits; Enter is OK.
            QMetaObject::invokeMethod(
                question,
                [question] {
                    question->Field()->setText(QStringLiteral("For the phone"));
                    QTest::keyClick(question->Field(), Qt::Key_Return);
                },
                Qt::QueuedConnection);
        });
        const int index = window.SaveAs();
        QVERIFY(UserProfiles::IsUserIndex(index));
        ProfileRecord saved;
        QVERIFY(UserProfiles::Find(index, &saved));
        QCOMPARE(saved.ProfileName, std::string("For the phone"));
        QVERIFY2(widthSeen >= 400, qPrintable(QString::number(widthSeen)));
        QVERIFY(skinned);
        QVERIFY(window.DeleteSelected());
        // The About box wears the skin too, its texts whole.
        CAboutDlg about(QStringLiteral("ZuZidero DVD Ripper"), QStringLiteral("https://zuzidero.org"), QStringLiteral("https://zuzidero.org/support"));
        QVERIFY(!about.Background().isNull());
        about.show();
        for (QLabel* label : about.findChildren<QLabel*>())
            if (label->wordWrap()) QVERIFY(label->heightForWidth(label->width()) <= label->height());
    }

    void SaveAsKeepsAUserProfileAndDelRemovesIt()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        window.Resolution()->setEditText("480*360");
        const int index = window.SaveAs("Small MP4");
        QVERIFY(UserProfiles::IsUserIndex(index));
        ProfileRecord saved;
        QVERIFY(UserProfiles::Find(index, &saved));
        QCOMPARE(saved.ProfileName, std::string("Small MP4"));
        QCOMPARE(saved.writer.Width, 480);
        QCOMPARE(saved.FormatExt, Profile(5).FormatExt);
        // Shown after the catalogue's profiles, and chosen.
        QCOMPARE(window.Presets()->count(), 116);
        QCOMPARE(window.Presets()->itemText(115), QStringLiteral("Small MP4"));
        QCOMPARE(window.Presets()->currentData().toInt(), index);
        // A new window lists it too; the catalogue's own profiles cannot be deleted.
        CSettingsDlg other(Profile(1), &m_catalogue);
        QCOMPARE(other.Presets()->count(), 116);
        QVERIFY(!other.DeleteSelected());
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(window.DeleteSelected());
        QVERIFY(!UserProfiles::Find(index, nullptr));
        QCOMPARE(window.Presets()->count(), 115);
    }

    void SubtitlesAsTextAreKeptWithTheProfileAndItsSavedCopy()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        // Text applies to the tracks kept: without any, it cannot be chosen.
        window.SubtitleTracks()->setCurrentIndex(0);
        QVERIFY(!window.SubtitleText()->isEnabled() && !window.SubtitleFiles()->isEnabled());
        window.SubtitleTracks()->setCurrentIndex(2);
        QVERIFY(window.SubtitleText()->isEnabled() && window.SubtitleFiles()->isEnabled());
        QCOMPARE(window.SubtitleText()->currentText(), QStringLiteral("Pictures"));
        window.SubtitleText()->setCurrentIndex(window.SubtitleText()->findText(QStringLiteral("Text")));
        window.SubtitleFiles()->setChecked(true);
        const int index = window.SaveAs("MP4 with text");
        QVERIFY(UserProfiles::IsUserIndex(index));
        ProfileRecord saved;
        QVERIFY(UserProfiles::Find(index, &saved));
        QCOMPARE(saved.writer.subtitleText, 1);
        QCOMPARE(saved.writer.subtitleFiles, 1);
        QVERIFY(window.OnOk());
        QCOMPARE(window.Working().writer.subtitleText, 1);
        QCOMPARE(window.Working().writer.subtitleFiles, 1);
        // Opened on the saved profile, it shows what was saved.
        CSettingsDlg again(saved, &m_catalogue);
        QCOMPARE(again.SubtitleText()->currentText(), QStringLiteral("Text"));
        QVERIFY(again.SubtitleFiles()->isChecked());
        QVERIFY(again.DeleteSelected());
        QVERIFY(messages.messages.isEmpty());
    }

    void SaveAsThatCannotWriteSaysSoAndKeepsNothing()
    {
        // A folder where the file would go: it cannot be written (whoever runs the test).
        QFile::remove(UserProfiles::FilePath());
        QVERIFY(QDir().mkpath(UserProfiles::FilePath()));
        CollectMessages messages;
        CSettingsDlg window(Profile(5), &m_catalogue);
        const int index = window.SaveAs("Never saved");
        QDir(UserProfiles::FilePath()).removeRecursively();
        QCOMPARE(index, -1);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages.front().startsWith("Could not save the profile: " + UserProfiles::FilePath() + " cannot be written"));
        QCOMPARE(window.Presets()->count(), 115);
        QVERIFY(UserProfiles::Load().empty());
    }

    // Only what the encoder takes is offered: H.263's sizes; a sample rate narrows Vorbis's
    // bitrates.
    void OnlyWhatEncodesIsOffered()
    {
        CollectMessages messages;
        CSettingsDlg phone(Profile(55), &m_catalogue);
        QStringList sizes;
        for (int i = 0; i < phone.Resolution()->count(); ++i) sizes << phone.Resolution()->itemText(i);
        QCOMPARE(sizes, QStringList({"128*96", "176*144", "352*288"})); // not 320*240

        CSettingsDlg mkv(Profile(11), &m_catalogue); // Vorbis sound
        const int bitrates = mkv.AudioBitRate()->count();
        mkv.SampleRate()->setCurrentIndex(mkv.SampleRate()->findText(QStringLiteral("22050")));
        QVERIFY(mkv.SampleRate()->currentIndex() >= 0);
        emit mkv.SampleRate()->activated(mkv.SampleRate()->currentIndex());
        QCOMPARE(mkv.SampleRate()->currentText(), QStringLiteral("22050"));
        QVERIFY2(mkv.AudioBitRate()->count() < bitrates, qPrintable(QString::number(mkv.AudioBitRate()->count())));
        QVERIFY(mkv.AudioBitRate()->currentIndex() >= 0);
        QVERIFY(messages.messages.isEmpty());
    }

    // Only what applies can be changed: no bitrate under constant quality, no quality without it,
    // Del for the user's own profiles; and Enter is OK after Save as.
    void WhatDoesNotApplyCannotBeChanged()
    {
        CollectMessages messages;
        CSettingsDlg window(Profile(109), &m_catalogue);
        QCOMPARE(window.RateControl()->currentText(), QStringLiteral("Constant quality"));
        QVERIFY(!window.VideoBitRate()->isEnabled());
        QVERIFY(window.Quality()->isEnabled());
        window.RateControl()->setCurrentIndex(window.RateControl()->findData(kAverageBitrate));
        QVERIFY(window.VideoBitRate()->isEnabled());
        QVERIFY(!window.Quality()->isEnabled());
        QVERIFY2(!window.DeleteButton()->isEnabled(), "a built-in profile cannot be deleted");

        int asked = 0;
        window.SetNameQuestionShown([&](CTextQuestionDlg* question) {
            ++asked;
            QMetaObject::invokeMethod(
                question, [question] { QTest::keyClick(question->Field(), Qt::Key_Return); }, Qt::QueuedConnection);
        });
        window.show();
        window.SaveAsButton()->setFocus();
        QVERIFY(UserProfiles::IsUserIndex(window.SaveAs(QStringLiteral("Mine, for Del"))));
        QVERIFY(window.DeleteButton()->isEnabled());
        // The focus stays on Save as: Enter is OK all the same, and asks no name again.
        window.SaveAsButton()->setFocus();
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(asked, 0);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(messages.messages.isEmpty());
        QFile::remove(UserProfiles::FilePath());
    }

    // Today's encoders: constant quality on their own scale, their presets, their depths.
    void TheEncodersQualitySpeedAndDepth()
    {
        CSettingsDlg vp9(Profile(114), &m_catalogue);
        QCOMPARE(vp9.Resolution()->currentText(), QStringLiteral("Same as source"));
        QCOMPARE(vp9.RateControl()->currentText(), QStringLiteral("Constant quality"));
        QCOMPARE(vp9.Quality()->value(), 32);
        QCOMPARE(vp9.Quality()->maximum(), 63);
        QCOMPARE(vp9.Speed()->currentText(), QStringLiteral("4"));
        QVERIFY(!vp9.BitDepth()->isEnabled());
        vp9.Quality()->setValue(28);
        vp9.Speed()->setCurrentIndex(vp9.Speed()->findText(QStringLiteral("2")));
        QVERIFY(vp9.OnOk());
        QCOMPARE(vp9.Working().writer.quality, 28);
        QCOMPARE(vp9.Working().writer.rateControl, kConstantQuality);
        QCOMPARE(QString(vp9.Working().writer.Speed), QStringLiteral("2"));
        QCOMPARE(vp9.Working().writer.Width, 0); // "Same as source" stays the source's size

        CSettingsDlg hevc(Profile(110), &m_catalogue);
        QVERIFY(hevc.BitDepth()->isEnabled());
        hevc.BitDepth()->setCurrentIndex(hevc.BitDepth()->findData(10));
        hevc.RateControl()->setCurrentIndex(hevc.RateControl()->findData(kAverageBitrate));
        QVERIFY(hevc.OnOk());
        QCOMPARE(hevc.Working().writer.bitDepth, 10);
        QCOMPARE(hevc.Working().writer.rateControl, kAverageBitrate);

        // A seed encoder has an average bitrate only.
        CSettingsDlg avi(Profile(1), &m_catalogue);
        QCOMPARE(avi.RateControl()->count(), 2); // average bitrate, in one pass or two
        QVERIFY(!avi.Quality()->isEnabled());
        QVERIFY(!avi.Speed()->isEnabled());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "settings_window_test.moc"

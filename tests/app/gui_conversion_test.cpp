// The whole job through the main window's own slots: load a disc, tick two titles, choose a
// profile in the format selector, Start, let the progress window run to its end, and find both
// files with ffprobe. Also: existing files are not overwritten without asking, and the
// after-conversion action.

#include <atomic>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSettings>
#include <QAbstractItemView>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include "app/beauty_combobox.h"
#include "app/column_tree_ctrl.h"
#include "app/conver_dlg.h"
#include "app/msg_dlg.h"
#include "app/my_button.h"
#include "app/my_check_box.h"
#include "app/my_progress_ctrl.h"
#include "app/palette.h"
#include "app/preferences.h"
#include "app/settings_dlg.h"
#include "app/video_renderer.h"
#include "app/zuzidero_dlg.h"
#include "app/crop_dlg.h"
#include "app/my_slider_ctrl.h"
#include "app_test_support.h"
#include "support/gate.h"
#include "workspace/plain_words.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "decode/video_decoder_filter.h"

namespace {

QString Probe(const QString& file, const QString& entries, const QString& streams = {})
{
    QProcess ffprobe;
    QStringList arguments{"-v", "error", "-show_entries", entries, "-of", "default=nw=1:nk=1", file};
    if (!streams.isEmpty()) arguments << "-select_streams" << streams;
    ffprobe.start("ffprobe", arguments);
    ffprobe.waitForFinished(60000);
    return QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed();
}

// Waits for the progress window to finish, closing its conversion-done message.
bool RunToTheEnd(CZuZideroDlg& window, int limitMs = 240000)
{
    CConverDlg* progress = window.Progress();
    if (!progress) return false;
    if (!QTest::qWaitFor([&] { return progress->DoneMessage() != nullptr; }, limitMs)) return false;
    progress->DoneMessage()->OkButton()->click();
    // The progress window goes with its end message (it deletes itself when closed).
    return QTest::qWaitFor([&] { return !window.Progress(); }, 10000);
}

// Converts the NTSC test disc's titles with a format command into `folder` (files there are
// overwritten), and waits for the end message; the progress window, or null when none opened.
CConverDlg* ConvertDiscTo(CZuZideroDlg& window, int formatCommand, const QString& folder)
{
    if (!LoadAndWait(window, DiscPath("ntsc_4x3"))) return nullptr;
    window.Profiles().OnFormatCommand(formatCommand);
    window.Output().OutputBox()->setText(folder);
    window.Output().SetNameQuestion([](const QString&, int) { return COutputChoice::NameChoice{COutputChoice::NameAnswer::kOverwrite, true}; });
    window.OnStart(false);
    CConverDlg* progress = window.Progress();
    if (!progress) return nullptr;
    // The caller looks at the end message (or finds none when the run did not end in time).
    (void)QTest::qWaitFor([&] { return progress->DoneMessage() != nullptr; }, 240000);
    return progress;
}

// The pitch of a file's sound (Hz), from the zero crossings of ffmpeg's mono decoding.
double Pitch(const QString& file, int stream = 0)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", file, "-map", QStringLiteral("0:a:%1").arg(stream), "-f", "s16le", "-ac", "1",
                            "-ar", "48000", "-"});
    ffmpeg.waitForFinished(60000);
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.constData());
    const qsizetype count = bytes.size() / 2;
    if (count < 48000) return 0;
    int crossings = 0;
    for (qsizetype i = 1; i < count; ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    return crossings / 2.0 / (static_cast<double>(count) / 48000);
}

// ffmpeg's PSNR (dB, averaged over the pictures) of one file's video against another's.
double Psnr(const QString& file, const QString& reference)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "info", "-nostats", "-i", file, "-i", reference, "-lavfi", "[0:v][1:v]psnr", "-f", "null", "-"});
    ffmpeg.waitForFinished(120000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("average:([0-9.]+|inf)")).match(log);
    if (!match.hasMatch()) return -1;
    return match.captured(1) == QStringLiteral("inf") ? 1000 : match.captured(1).toDouble();
}

// ffmpeg's mean level of a file's sound (dB).
double MeanVolume(const QString& file)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "info", "-nostats", "-i", file, "-map", "0:a:0", "-af", "volumedetect", "-f", "null", "-"});
    ffmpeg.waitForFinished(60000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("mean_volume: (-?[0-9.]+) dB")).match(log);
    return match.hasMatch() ? match.captured(1).toDouble() : 0;
}

// A click on a slider at a fraction of its width, as the user sets it.
void ClickAt(QWidget* slider, double fraction)
{
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(static_cast<int>(slider->width() * fraction), slider->height() / 2));
}

// Chooses a line of a track list as the user does.
void Choose(QComboBox* list, int row)
{
    list->setCurrentIndex(row);
    emit list->activated(row);
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

} // namespace

class GuiConversionTest : public QObject {
    Q_OBJECT
    QString m_product;

private slots:
    void initTestCase()
    {
        RegisterFilters(); // with FFmpeg's log into the debug log
        m_product = CZuZideroDlg().ProductTitle();
    }

    // These runs convert several titles: every title is ticked on loading (a fresh start ticks the
    // main title alone).
    void init() { QVERIFY(Preferences::Write(m_product, QStringLiteral("strTickOnLoad"), QStringLiteral("Every title"))); }

    void TheEditorsTrimCropAndEffectsReachTheFile()
    {
        CollectMessages messages;
        QTemporaryDir out, reference;
        CConverDlg::SetActionHooks([](QString*) { return false; }, [](const QString&) {});
        CZuZideroDlg window;
        window.show();
        window.Profiles().OnFormatCommand(32806); // H.264 MP4 at 640 wide, as the command line's --profile 5
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        window.TitleList()->CheckAll(false);
        list->ToggleCheck(list->Root()->child(0));
        list->setCurrentItem(list->Root()->child(0));

        // Everything through the editor's own controls.
        window.OpenEditor(CCropDlg::kTrim, false);
        CCropDlg* editor = window.Editor();
        QVERIFY(editor);
        editor->StartEdit()->setText(QStringLiteral("00:00:02"));
        QTest::keyClick(editor->StartEdit(), Qt::Key_Return);
        editor->EndEdit()->setText(QStringLiteral("00:00:05.500"));
        QTest::keyClick(editor->EndEdit(), Qt::Key_Return);
        editor->ShowPage(CCropDlg::kCrop);
        const int crop[4] = {100, 60, 100, 60}; // margins: columns 100 to 620, rows 60 to 420
        for (int i : {2, 3, 0, 1}) {
            QSpinBox* box = editor->CropEdit(i);
            box->selectAll();
            QTest::keyClicks(box, QString::number(crop[i]));
            QTest::keyClick(box, Qt::Key_Return);
        }
        editor->ShowPage(CCropDlg::kEffect);
        ClickAt(editor->BrightnessSlider(), 0.75);
        ClickAt(editor->SaturationSlider(), 0.3);
        ClickAt(editor->HueSlider(), 0.6);
        ClickAt(editor->VolumeSlider(), 0.25);
        const ClipSettings edited = editor->Working();
        const PictureSettings& p = edited.picture;
        QCOMPARE((std::array{p.cropLeft, p.cropTop, p.cropRight, p.cropBottom}), (std::array{100, 60, 620, 420}));
        QCOMPARE(edited.trimStart, std::int64_t{2000});
        QCOMPARE(edited.trimLength, std::int64_t{3500});
        QVERIFY(p.brightness > 150 && p.saturation < 50 && p.hue > 10 && p.volume < 200);
        QTest::mouseClick(editor, Qt::LeftButton, {}, QPoint(5, 300)); // nowhere in particular
        editor->accept();
        QTRY_VERIFY(!window.Editor());
        QCOMPARE(list->Root()->child(0)->text(CColumnTreeCtrl::kTrimmedLength), QStringLiteral("00:00:03"));

        window.Output().SetNameQuestion([](const QString&, int) { return COutputChoice::NameChoice{COutputChoice::NameAnswer::kOverwrite, true}; });
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        QVERIFY(RunToTheEnd(window));
        const QString file = out.filePath(QStringLiteral("Title_01.mp4"));
        QVERIFY(QFile::exists(file));

        // The same through the command line: the trim and crop, with or without the effects.
        const auto convert = [&](const QString& folder, const QStringList& effects) {
            QProcess cli;
            cli.start(QStringLiteral(ZUZIDERO_CLI),
                      QStringList{"convert", DiscPath("ntsc_4x3"), "--out", folder, "--title", "1", "--profile", "5", "--start",
                                  "00:00:02", "--length", "00:00:03.500", "--crop",
                                  QStringLiteral("%1,%2,%3,%4").arg(p.cropLeft).arg(p.cropTop).arg(p.cropRight).arg(p.cropBottom), "--quiet"} +
                          effects);
            return cli.waitForFinished(240000) && cli.exitCode() == 0;
        };
        QVERIFY(convert(reference.path(), {"--brightness", QString::number(p.brightness), "--saturation", QString::number(p.saturation),
                                           "--hue", QString::number(p.hue), "--volume", QString::number(p.volume)}));
        const QString expected = reference.filePath(QStringLiteral("Title_01.mp4"));
        QVERIFY(QFile::exists(expected));

        // The trimmed length, the cropped and adjusted picture, the sound's level.
        QVERIFY(std::abs(Probe(file, "format=duration").toDouble() - 3.5) < 0.1);
        QCOMPARE(Probe(file, "stream=width"), Probe(expected, "stream=width"));
        const double psnr = Psnr(file, expected);
        QVERIFY2(psnr > 40, qPrintable(QStringLiteral("PSNR %1 dB against the command line's file").arg(psnr)));
        const double level = MeanVolume(file), expectedLevel = MeanVolume(expected);
        qInfo("editor against the command line: PSNR %.2f dB, sound %.2f against %.2f dB", psnr, level, expectedLevel);
        QVERIFY2(std::abs(level - expectedLevel) < 0.5, qPrintable(QStringLiteral("%1 dB, the command line's %2 dB").arg(level).arg(expectedLevel)));
        // And the effects are there: the plain title is another picture and another level.
        QTemporaryDir plain;
        QVERIFY(convert(plain.path(), {}));
        const QString plainFile = plain.filePath(QStringLiteral("Title_01.mp4"));
        QVERIFY(Psnr(file, plainFile) < psnr - 5);
        QVERIFY(std::abs(MeanVolume(plainFile) - level) > 3);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
    }

    void TwoTitlesThroughTheMainWindow()
    {
        CollectMessages messages;
        QTemporaryDir out;
        bool openedFolder = false;
        CConverDlg::SetActionHooks([](QString*) { return false; }, [&](const QString& folder) { openedFolder = folder == out.path(); });
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        window.TitleList()->CheckAll(false);
        list->ToggleCheck(list->Root()->child(0));
        list->ToggleCheck(list->Root()->child(1));
        QCOMPARE(list->StateOf(list->Root()), int(CColumnTreeCtrl::kChecked));

        // The format selector: H.264/MPEG-4 AVC Video (profile 5) in General Video.
        window.Profiles().Selector()->OpenPane();
        CStartPane* pane = window.Profiles().Selector()->Pane();
        pane->ShowCategory(1);
        QTest::mouseClick(pane, Qt::LeftButton, {}, pane->FormatRect(32806).center());
        QCOMPARE(window.Profiles().CurrentProfile().index, 5);
        QCOMPARE(list->Root()->child(1)->text(3), QStringLiteral("Title_02.mp4"));

        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        QVERIFY(window.Progress());
        window.Progress()->OpenFolderBox()->setChecked(true);
        const ComPtr<CVideoRenderer> preview(window.Progress()->PreviewWindow()->Renderer());
        window.Progress()->PreviewBox()->setChecked(true);
        PaintCounter painted(window.Progress()->PreviewWindow());
        QVERIFY(RunToTheEnd(window));
        // The preview showed pictures of the conversion: told of them, it repainted again and again.
        QVERIFY(preview->Pictures() > 0);
        QVERIFY2(painted.paints > 5, qPrintable(QString::number(painted.paints)));
        QCOMPARE(preview->CurrentImage().width(), 640);
        QVERIFY(openedFolder);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        for (const auto& [name, seconds] : {std::pair{"Title_01.mp4", 8.0}, std::pair{"Title_02.mp4", 4.0}}) {
            const QString file = out.filePath(name);
            QVERIFY2(QFile::exists(file), name);
            // Pictures, sound, the subtitles as tracks and the chapter marks' track.
            QCOMPARE(Probe(file, "stream=codec_name").split('\n'), (QStringList{"h264", "aac", "dvd_subtitle", "dvd_subtitle", "bin_data"}));
            QVERIFY(std::abs(Probe(file, "format=duration").toDouble() - seconds) < 0.15);
        }

        // Again: the files exist, and cancelling the question starts nothing.
        QStringList asked;
        window.Output().SetNameQuestion([&](const QString& name, int left) {
            asked << QStringLiteral("%1 (%2 left)").arg(name).arg(left);
            return COutputChoice::NameChoice{COutputChoice::NameAnswer::kCancel, false};
        });
        window.OnStart(false);
        QCOMPARE(asked, (QStringList{"Title_01.mp4 (1 left)"}));
        QVERIFY(!window.Progress());
        CConverDlg::SetActionHooks(nullptr, nullptr);
    }

    void FilesAreNamedByThePatternAndTakenNamesAskedAbout()
    {
        CollectMessages messages;
        QTemporaryDir out;
        // Names from the preference's pattern, in the list and in the folder.
        QVERIFY(Preferences::Write(CZuZideroDlg().ProductTitle(), QStringLiteral("strNamePattern"), QStringLiteral("{disc} - {title}")));
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Profiles().OnFormatCommand(32821); // MP3
        CColumnTreeCtrl* list = window.TitleList();
        QCOMPARE(list->Root()->child(0)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("ntsc_4x3 - 01.mp3"));
        QCOMPARE(list->Root()->child(1)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("ntsc_4x3 - 02.mp3"));
        // Both names are taken: the first is kept beside, the second skipped (its old file stays).
        for (const char* name : {"ntsc_4x3 - 01.mp3", "ntsc_4x3 - 02.mp3"}) {
            QFile old(out.filePath(name));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        QStringList asked;
        window.Output().SetNameQuestion([&](const QString& name, int left) {
            asked << QStringLiteral("%1 (%2 left)").arg(name).arg(left);
            return COutputChoice::NameChoice{asked.size() == 1 ? COutputChoice::NameAnswer::kKeepBoth : COutputChoice::NameAnswer::kSkip,
                                            false};
        });
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        QCOMPARE(asked, (QStringList{"ntsc_4x3 - 01.mp3 (1 left)", "ntsc_4x3 - 02.mp3 (0 left)"}));
        QVERIFY(window.Progress());
        CConverDlg* progress = window.Progress();
        QVERIFY(QTest::qWaitFor([&] { return progress->DoneMessage() != nullptr; }, 240000));
        // A skipped file is no failure: the run says it is complete.
        QCOMPARE(progress->DoneMessage()->Kind(), int(CMsgDlg::kCompleted));
        progress->DoneMessage()->OkButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return !window.Progress(); }, 10000));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), (QStringList{"ntsc_4x3 - 01 (2).mp3", "ntsc_4x3 - 01.mp3", "ntsc_4x3 - 02.mp3"}));
        for (const char* old : {"ntsc_4x3 - 01.mp3", "ntsc_4x3 - 02.mp3"}) {
            QFile file(out.filePath(old));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("old"));
        }
        QVERIFY(std::abs(Probe(out.filePath("ntsc_4x3 - 01 (2).mp3"), "format=duration").toDouble() - 8.0) < 0.2);
        // Every name skipped: nothing starts, and the window says why.
        window.Output().SetNameQuestion([](const QString&, int) { return COutputChoice::NameChoice{COutputChoice::NameAnswer::kSkip, true}; });
        messages.messages.clear();
        window.OnStart(false);
        QVERIFY(!window.Progress());
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].startsWith("Nothing to convert"));
        QVERIFY(Preferences::Write(window.ProductTitle(), QStringLiteral("strNamePattern"), QString()));
    }

    void TheNameQuestionOffersThreeAnswers()
    {
        // The question itself: three buttons, Enter takes the first, and "the same for the others".
        CMsgDlg question(CMsgDlg::kQuestion);
        question.SetMessage(QStringLiteral("Title_01.mp4 exists"), QStringLiteral("Overwrite it, keep both or skip?"));
        question.SetChoices({QStringLiteral("Overwrite"), QStringLiteral("Keep both"), QStringLiteral("Skip")},
                            QStringLiteral("Do the same for the 2 other taken names"));
        QCOMPARE(question.Choices().size(), 3);
        QVERIFY(question.ForAllBox());
        for (QAbstractButton* b : question.Choices()) QVERIFY(question.rect().contains(b->geometry()));
        QVERIFY(question.rect().contains(question.ForAllBox()->geometry()));
        QVERIFY(!question.OkButton()->isVisibleTo(&question));
        question.open();
        question.Choices()[1]->click();
        QCOMPARE(question.result(), CMsgDlg::kFirstChoice + 1);
        question.open();
        QTest::keyClick(&question, Qt::Key_Return);
        QCOMPARE(question.result(), CMsgDlg::kFirstChoice);
    }

    void EnterOnTheTakenNameQuestionKeepsBoth()
    {
        QTemporaryDir out;
        QFile old(out.filePath("Title_01.mp4"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        CZuZideroDlg window;
        // The program's own question, answered with Enter as a hasty user would.
        bool asked = false;
        QTimer::singleShot(0, [&] {
            QWidget* question = QApplication::activeModalWidget();
            asked = qobject_cast<CMsgDlg*>(question) != nullptr;
            if (question) QTest::keyClick(question, Qt::Key_Return);
        });
        const auto answers = window.Output().AskAboutTakenNames(out.path(), {"Title_01.mp4", "Title_02.mp4"});
        QVERIFY(asked);
        QVERIFY(answers.has_value());
        QCOMPARE(answers->rules.size(), std::size_t(1));
        QVERIFY(answers->rules.at("Title_01.mp4") == IfNameTaken::kKeepBoth);
        QVERIFY(answers->skipped.empty());
    }

    void EachTitleKeepsItsOwnTrackChoiceAndIsConvertedWithIt()
    {
        CollectMessages messages;
        QTemporaryDir out;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* first = list->Root()->child(0);
        QTreeWidgetItem* second = list->Root()->child(1);
        // Title_01 in French without subtitles; Title_02 is only looked at.
        QCOMPARE(list->currentItem(), first);
        Choose(window.Tracks().AudioTracks(), 1);
        Choose(window.Tracks().Subtitles(), 3);
        window.Tracks().OnListClicked(second);
        QCOMPARE(window.Tracks().AudioTracks()->currentText(), QStringLiteral("English(AC3 2ch)"));
        QCOMPARE(window.Tracks().Subtitles()->currentText(), QStringLiteral("Forced only"));
        window.Preview().OnPrevious();
        QCOMPARE(list->currentItem(), first);
        QCOMPARE(window.Tracks().AudioTracks()->currentText(), QStringLiteral("French(MP2 2ch)"));
        QCOMPARE(window.Tracks().Subtitles()->currentText(), QStringLiteral("No subtitles"));
        window.Preview().OnNext();
        QCOMPARE(window.Tracks().AudioTracks()->currentText(), QStringLiteral("English(AC3 2ch)"));
        // The keyboard selects too.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentItem(), first);
        QCOMPARE(window.Tracks().AudioTracks()->currentText(), QStringLiteral("French(MP2 2ch)"));
        window.Tracks().OnListClicked(second); // Start with the other title selected

        window.Profiles().OnFormatCommand(32821); // MP3
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        QVERIFY(RunToTheEnd(window));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        // Title_01's French track is at 660 Hz, Title_02's English one at 550 Hz.
        const double french = Pitch(out.filePath("Title_01.mp3")), english = Pitch(out.filePath("Title_02.mp3"));
        QVERIFY2(std::abs(french - 660) < 15, qPrintable(QString::number(french)));
        QVERIFY2(std::abs(english - 550) < 15, qPrintable(QString::number(english)));
    }

    void TickedSoundTracksEachBecomeAStreamOfTheFile()
    {
        CollectMessages messages;
        QTemporaryDir out;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* first = list->Root()->child(0);
        QTreeWidgetItem* second = list->Root()->child(1);
        QComboBox* audio = window.Tracks().AudioTracks();
        const auto ticked = [&](int row) {
            return qobject_cast<QStandardItemModel*>(audio->model())->item(row)->checkState() == Qt::Checked;
        };
        // Title_01: the French track ticked beside the English one, by its check box in the open
        // list, which stays open for more.
        QCOMPARE(list->currentItem(), first);
        QVERIFY(ticked(0) && !ticked(1));
        audio->showPopup();
        QAbstractItemView* view = audio->view();
        QTRY_VERIFY(view->isVisible());
        const QRect french = view->visualRect(audio->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(french.left() + 8, french.center().y()));
        QVERIFY(ticked(0) && ticked(1));
        QVERIFY(view->isVisible());
        audio->hidePopup();
        QCOMPARE(audio->currentText(), QStringLiteral("English(AC3 2ch)"));
        QCOMPARE(audio->toolTip(), QStringLiteral("Also converted: French(MP2 2ch)"));
        // Unticking the first makes the next first; the last ticked one stays.
        window.Tracks().OnAudioTicked(0);
        QCOMPARE(audio->currentText(), QStringLiteral("French(MP2 2ch)"));
        window.Tracks().OnAudioTicked(1);
        QVERIFY(ticked(1) && !ticked(0));
        window.Tracks().OnAudioTicked(0);
        window.Tracks().OnAudioTicked(1);
        window.Tracks().OnAudioTicked(1);
        QCOMPARE(audio->currentText(), QStringLiteral("English(AC3 2ch)"));
        QVERIFY(ticked(0) && ticked(1));
        // Choosing the ticked French track makes it first; English stays ticked. Back again.
        Choose(audio, 1);
        QCOMPARE(audio->currentText(), QStringLiteral("French(MP2 2ch)"));
        QVERIFY(ticked(0) && ticked(1));
        Choose(audio, 0);
        QVERIFY(ticked(0) && ticked(1));
        // Title_02: French alone, chosen from the list; its own choice, Title_01's kept.
        window.Tracks().OnListClicked(second);
        QVERIFY(ticked(0) && !ticked(1));
        Choose(audio, 1);
        QVERIFY(!ticked(0) && ticked(1));
        window.Tracks().OnListClicked(first);
        QVERIFY(ticked(0) && ticked(1));

        // Merged, the titles' track counts differ: refused before the run, saying why.
        window.Profiles().OnFormatCommand(32814); // MKV
        window.Output().OutputBox()->setText(out.path());
        window.Output().MergeBox()->setChecked(true);
        window.OnStart(false);
        QVERIFY(!window.Progress());
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages.front().contains(QStringLiteral("different numbers of audio tracks")),
                 qPrintable(messages.messages.front()));
        messages.messages.clear();
        window.Output().MergeBox()->setChecked(false);

        // Settings: every subtitle stream kept as a track; MKV offers the sound as it is, too.
        QTimer::singleShot(0, [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            QVERIFY(settings->AudioEncoder()->findText(QStringLiteral("Same as source")) >= 0);
            settings->SubtitleTracks()->setCurrentIndex(settings->SubtitleTracks()->findText(QStringLiteral("All")));
            QVERIFY(settings->OnOk());
        });
        window.Profiles().OnSettings();
        QCOMPARE(window.Profiles().CurrentProfile().writer.subtitleTracks, 2);

        window.OnStart(false);
        QVERIFY(RunToTheEnd(window));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        const QString one = out.filePath("Title_01.mkv"), two = out.filePath("Title_02.mkv");
        QCOMPARE(Probe(one, "stream=codec_type").split('\n'), (QStringList{"video", "audio", "audio", "subtitle", "subtitle"}));
        QCOMPARE(Probe(one, "stream_tags=language").split('\n'), (QStringList{"eng", "fra", "eng", "deu"}));
        QCOMPARE(Probe(one, "stream_disposition=forced").split('\n'), (QStringList{"0", "0", "0", "0", "1"}));
        QVERIFY(std::abs(Pitch(one, 0) - 440) < 15);
        QVERIFY(std::abs(Pitch(one, 1) - 660) < 15);
        QCOMPARE(Probe(two, "stream=codec_type").split('\n'), (QStringList{"video", "audio", "subtitle", "subtitle"}));
        QCOMPARE(Probe(two, "stream_tags=language").split('\n'), (QStringList{"fra", "eng", "deu"}));
        QVERIFY(std::abs(Pitch(two, 0) - 770) < 15);
    }

    void SubtitlesReadIntoTextFromTheWindow()
    {
        CollectMessages messages;
        QTemporaryDir out;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("text_pal")));
        window.Profiles().OnFormatCommand(32814); // MKV
        window.Output().OutputBox()->setText(out.path());
        QTimer::singleShot(0, [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            settings->SubtitleTracks()->setCurrentIndex(settings->SubtitleTracks()->findText(QStringLiteral("All")));
            settings->SubtitleText()->setCurrentIndex(settings->SubtitleText()->findText(QStringLiteral("Text")));
            settings->SubtitleFiles()->setChecked(true);
            QVERIFY(settings->OnOk());
        });
        window.Profiles().OnSettings();
        window.OnStart(false);
        CConverDlg* progress = window.Progress();
        QVERIFY(progress);
        // The progress window shows the reading beside the encoding.
        QVERIFY(QTest::qWaitFor([&] { return progress->ReadingText().startsWith(QStringLiteral("Subtitles read into text: ")) ||
                                             progress->DoneMessage(); }, 240000));
        QVERIFY2(!progress->DoneMessage(), "the run ended before the progress window showed the reading");
        QVERIFY(QTest::qWaitFor([&] { return progress->DoneMessage() != nullptr; }, 240000));
        // The end message says what was read, track by track, in a run that went well.
        const QString detail = progress->DoneMessage()->Detail();
        QVERIFY2(detail.contains(QStringLiteral("English: 10 cues read")) && detail.contains(QStringLiteral("Spanish: 10 cues read")),
                 qPrintable(detail));
        progress->DoneMessage()->OkButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return !window.Progress(); }, 10000));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        const QString file = out.filePath("Title_01.mkv");
        QCOMPARE(Probe(file, "stream=codec_name", "s").split('\n'), (QStringList{"subrip", "subrip"}));
        QCOMPARE(Probe(file, "stream_tags=title", "s").split('\n'), (QStringList{"English (text)", "Spanish (text)"}));
        QVERIFY(QFileInfo::exists(out.filePath("Title_01.eng.srt")));
        QVERIFY(QFileInfo::exists(out.filePath("Title_01.spa.srt")));
    }

    void AFirstStartConvertsIntoTheVideosFolderAtTheSourcesSizeAndRate()
    {
        QTemporaryDir home;
        const QString videos = home.path() + QStringLiteral("/Videos");
        // The desktop's videos folder as xdg-user-dirs names it; it does not exist yet.
        const QString userDirs = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/user-dirs.dirs");
        {
            QFile dirs(userDirs);
            QVERIFY(dirs.open(QIODevice::WriteOnly));
            dirs.write(QStringLiteral("XDG_VIDEOS_DIR=\"%1\"\n").arg(videos).toUtf8());
        }
        // Nothing kept from an earlier start.
        QString product;
        {
            CZuZideroDlg first;
            product = first.ProductTitle();
        }
        QSettings(QStringLiteral("ZuZidero"), product).clear();
        QFile::remove(SettingIniPath());

        CollectMessages messages;
        CZuZideroDlg window;
        QCOMPARE(window.Output().OutputBox()->text(), videos);
        QCOMPARE(window.Profiles().CurrentProfile().index, 109);
        QVERIFY(!QFileInfo::exists(videos));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        // The main title alone is ticked: Title_01, 8 s.
        window.OnStart(false);
        QVERIFY(RunToTheEnd(window));
        QFile::remove(userDirs);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        QCOMPARE(QDir(videos).entryList(QDir::Files), QStringList{"Title_01.mp4"});
        const QString file = videos + QStringLiteral("/Title_01.mp4");
        QVERIFY(std::abs(Probe(file, "format=duration").toDouble() - 8.0) < 0.15);
        // Neither shrunk nor re-timed: the NTSC disc's 720×480 at 29.97 pictures a second.
        QCOMPARE(Probe(file, "stream=width", "v:0"), QStringLiteral("720"));
        QCOMPARE(Probe(file, "stream=height", "v:0"), QStringLiteral("480"));
        QCOMPARE(Probe(file, "stream=r_frame_rate", "v:0"), QStringLiteral("30000/1001"));
        // The disc's subtitles kept as tracks a player switches on, none burned in.
        QCOMPARE(window.Profiles().CurrentProfile().writer.subtitleTracks, 2);
        QCOMPARE(Probe(file, "stream=codec_type").split('\n'), (QStringList{"video", "audio", "subtitle", "subtitle", "data"}));
        QCOMPARE(Probe(file, "stream_tags=language").split('\n').mid(1, 3), (QStringList{"eng", "eng", "deu"}));
    }

    void ChaptersAreListedAndATitleTickedInPartGivesItsChapters()
    {
        CollectMessages messages;
        QTemporaryDir out;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* title = list->Root()->child(0);
        // Title_01 has chapters at 0, 2, 4 and 6 s; Title_02 is one chapter, so it has none listed.
        QCOMPARE(title->childCount(), 4);
        QCOMPARE(list->Root()->child(1)->childCount(), 0);
        QCOMPARE(CColumnTreeCtrl::ItemText(title->child(1)), QStringLiteral("Chapter_01_02\t00:00:02\t00:00:02\tChapter_01_02.mp4\t"));
        QCOMPARE(list->StateOf(title->child(3)), int(CColumnTreeCtrl::kChecked));
        // A title's mark passes to its chapters; a chapter's mark makes its title partly ticked.
        window.TitleList()->CheckAll(false);
        QCOMPARE(list->StateOf(title->child(2)), int(CColumnTreeCtrl::kUnchecked));
        list->ToggleCheck(title);
        for (int c = 0; c < 4; ++c) QCOMPARE(list->StateOf(title->child(c)), int(CColumnTreeCtrl::kChecked));
        list->ToggleCheck(title->child(0));
        list->ToggleCheck(title->child(3));
        QCOMPARE(list->StateOf(title), int(CColumnTreeCtrl::kPartlyChecked));
        QCOMPARE(list->StateOf(list->Root()), int(CColumnTreeCtrl::kPartlyChecked));

        window.Profiles().OnFormatCommand(32821); // MP3
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        QVERIFY(RunToTheEnd(window));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files), (QStringList{"Chapter_01_02.mp3", "Chapter_01_03.mp3"}));
        for (const char* name : {"Chapter_01_02.mp3", "Chapter_01_03.mp3"}) {
            const double seconds = Probe(out.filePath(name), "format=duration").toDouble();
            QVERIFY2(std::abs(seconds - 2.0) < 0.1, qPrintable(QStringLiteral("%1: %2 s").arg(name).arg(seconds)));
        }
        // Ticked whole again, the title is one file.
        list->ToggleCheck(title->child(0));
        list->ToggleCheck(title->child(3));
        QCOMPARE(list->StateOf(title), int(CColumnTreeCtrl::kChecked));
        const auto tasks = window.Work().Tasks().RunTasks();
        QVERIFY(std::any_of(tasks.begin(), tasks.end(), [](const RunTask& t) { return t.checked && t.outputName == "Title_01.mp3"; }));
        QVERIFY(std::none_of(tasks.begin(), tasks.end(), [](const RunTask& t) { return t.task.chapterIndex >= 0; }));
    }

    void AFileThatCannotBeWrittenIsReportedAndTheRunGoesOn()
    {
        QTemporaryDir out;
        QVERIFY(QDir(out.path()).mkdir("Title_01.mp4")); // a folder where the file should go
        CollectMessages messages;
        CZuZideroDlg window;
        CConverDlg* progress = ConvertDiscTo(window, 32806, out.path());
        QVERIFY(progress && progress->DoneMessage());
        // No box held the run up; the end message says what happened, and the bars are not full.
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        CMsgDlg* done = progress->DoneMessage();
        QCOMPARE(done->Kind(), int(CMsgDlg::kWarning));
        QCOMPARE(done->Title(), QStringLiteral("Conversion finished with errors"));
        // With what it means and what to try.
        const QString advice = QString::fromStdString(PlainWordsFor("Could not create output file"));
        QVERIFY(advice.startsWith("Choose another output folder"));
        QCOMPARE(done->Text(), QStringLiteral("1 of 2 files written.\n") + advice);
        QVERIFY2(done->Detail().startsWith("Could not create output file"), qPrintable(done->Detail()));
        QVERIFY(progress->OverallBar()->GetPos() < 1000);
        done->OkButton()->click();
        QVERIFY(std::abs(Probe(out.filePath("Title_02.mp4"), "format=duration").toDouble() - 4.0) < 0.15);
    }

    void ARunThatWritesNothingSaysSo()
    {
        QTemporaryDir out;
        QVERIFY(QDir(out.path()).mkdir("Title_01.mp3"));
        QVERIFY(QDir(out.path()).mkdir("Title_02.mp3"));
        CollectMessages messages;
        CZuZideroDlg window;
        CConverDlg* progress = ConvertDiscTo(window, 32821, out.path());
        QVERIFY(progress && progress->DoneMessage());
        CMsgDlg* done = progress->DoneMessage();
        QCOMPARE(done->Kind(), int(CMsgDlg::kError));
        QCOMPARE(done->Title(), QStringLiteral("Conversion failed"));
        // The advice is said once for the two failures.
        QCOMPARE(done->Text(), QStringLiteral("0 of 2 files written.\n") + QString::fromStdString(PlainWordsFor("Could not create output file")));
        QCOMPARE(done->Detail().count(QStringLiteral("Could not create output file")), 2);
        QCOMPARE(progress->OverallBar()->GetPos() < 1000, true);
        done->OkButton()->click();
    }

    // The run starts on its own thread: held there at a gate, it leaves the window free to handle
    // what is posted to it and a Cancel; once let go, the cancelled run writes nothing.
    void ARunHeldAtItsStartCanBeCancelled()
    {
        QTemporaryDir out;
        CollectMessages messages;
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Profiles().OnFormatCommand(32806);
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        CConverDlg* progress = window.Progress();
        QVERIFY(progress);
        testing_filters::Gate gate;
        QEventLoop reached;
        progress->SetBeforeStart([&] {
            QMetaObject::invokeMethod(&reached, &QEventLoop::quit, Qt::QueuedConnection);
            gate.Pass();
        });
        const testing_filters::OpenAtEnd openGate(gate);
        reached.exec();
        QVERIFY(progress->Running() && !progress->Running()->Finished());
        bool handled = false;
        QMetaObject::invokeMethod(&window, [&] { handled = true; }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QVERIFY(handled);
        progress->OnCancel();
        QVERIFY(progress->StopQuestion());
        progress->StopQuestion()->OkButton()->click();
        gate.Open();
        QTRY_VERIFY(progress->DoneMessage() != nullptr);
        QCOMPARE(progress->DoneMessage()->Title(), QStringLiteral("Conversion cancelled"));
        QCOMPARE(progress->DoneMessage()->Text(), QStringLiteral("Nothing was written."));
        QVERIFY(progress->Run() && progress->Run()->Cancelled());
        QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
        progress->DoneMessage()->OkButton()->click();
        QVERIFY(messages.messages.isEmpty());
    }

    void StoppingARunAsksFirstAndKeepsThePartWritten()
    {
        QTemporaryDir out;
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("sync")));
        window.Profiles().OnFormatCommand(32806);
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        CConverDlg* progress = window.Progress();
        QVERIFY(progress);
        QTRY_VERIFY_WITH_TIMEOUT(progress->OverallBar()->GetPos() > 50, 120000);
        // The check boxes lie inside their panel, none on its border line.
        for (CMyCheckBox* box : {progress->PreviewBox(), progress->ShutDownBox(), progress->OpenFolderBox()}) {
            const QImage under = progress->Background().copy(box->geometry()).toImage();
            for (int y = 0; y < under.height(); ++y) {
                int onLine = 0;
                for (int x = 0; x < under.width(); ++x) {
                    const QColor c = under.pixelColor(x, y);
                    onLine += std::abs(c.red() - skin::kPanelLine.red()) + std::abs(c.green() - skin::kPanelLine.green()) +
                                  std::abs(c.blue() - skin::kPanelLine.blue()) < 24;
                }
                QVERIFY2(onLine < under.width() / 2, qPrintable(box->text() + QStringLiteral(": a border at row %1").arg(y)));
            }
        }
        // Esc asks; "No" lets the run go on.
        QTest::keyClick(progress, Qt::Key_Escape);
        QVERIFY(progress->StopQuestion());
        QCOMPARE(progress->StopQuestion()->Title(), QStringLiteral("Stop converting?"));
        QCOMPARE(progress->StopQuestion()->Text(), QStringLiteral("The part converted so far is kept."));
        QVERIFY(progress->isVisible());
        progress->StopQuestion()->NoButton()->click();
        QTRY_VERIFY(!progress->StopQuestion());
        QVERIFY(progress->isVisible());
        QVERIFY(!progress->Running()->Finished());
        // The window manager's close asks too; "Yes" stops, and the end message says so.
        progress->close();
        QVERIFY(progress->StopQuestion());
        progress->StopQuestion()->OkButton()->click();
        QTRY_VERIFY(progress->DoneMessage() != nullptr);
        QCOMPARE(progress->DoneMessage()->Title(), QStringLiteral("Conversion cancelled"));
        // The kept part is named beside the final name, which a cancelled run never takes.
        QCOMPARE(progress->DoneMessage()->Text(), QStringLiteral("The part converted so far is kept: Title_01 (partial).mp4"));
        progress->DoneMessage()->OkButton()->click();
        QTRY_VERIFY(!window.Progress() || !window.Progress()->isVisible());
        QVERIFY(!QFileInfo::exists(out.filePath("Title_01.mp4")));
        const double kept = Probe(out.filePath("Title_01 (partial).mp4"), "format=duration").toDouble();
        QVERIFY2(kept > 0.5, qPrintable(QString::number(kept)));
        QVERIFY(messages.messages.isEmpty());
        // Esc in the main window does not quit the program.
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
    }

    void ADamagedDiscSaysWhatCouldNotBeRead()
    {
        QTemporaryDir out;
        CollectMessages messages;
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("damaged_zeros")));
        window.Profiles().OnFormatCommand(32806);
        window.Output().OutputBox()->setText(out.path());
        window.OnStart(false);
        CConverDlg* progress = window.Progress();
        QVERIFY(progress);
        QVERIFY(QTest::qWaitFor([&] { return progress->DoneMessage() != nullptr; }, 240000));
        const QString detail = progress->DoneMessage()->Detail();
        QVERIFY2(detail.startsWith("Title_01.mp4: ") && detail.contains("s could not be read, at 00:00:0"), qPrintable(detail));
        progress->DoneMessage()->OkButton()->click();
        QVERIFY(QFile::exists(out.filePath("Title_01.mp4")));
    }

    void MergedWithShutDownPreferredAndPausedOnTheWay()
    {
        CollectMessages messages;
        QTemporaryDir out;
        int powerOffs = 0;
        CConverDlg::SetActionHooks(
            [&](QString* error) {
                ++powerOffs;
                *error = "refused in the test";
                return false;
            },
            nullptr);
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Profiles().OnFormatCommand(32810); // MPEG-2
        window.Output().OutputBox()->setText(out.path());
        window.Output().MergeBox()->setChecked(true);
        // "Shut Down" as the after-conversion preference acts without the check box.
        Preferences& prefs = const_cast<Preferences&>(window.Prefs());
        prefs.action = "Shut Down";
        window.OnStart(false);
        CConverDlg* progress = window.Progress();
        QVERIFY(progress);
        QVERIFY(!progress->ShutDownBox()->isChecked());
        // Pause once some of the file is done: the sink holds the pictures' thread, and nothing
        // moves while paused.
        QVERIFY(QTest::qWaitFor([&] { return progress->FileBar()->GetPos() >= 300; }, 120000));
        std::atomic<bool> held{false};
        const ComPtr<CConvFilter> sink = progress->Running()->Sink();
        QVERIFY(sink);
        sink->SetHoldObserver([&](bool video) {
            if (video) held = true;
        });
        progress->OnPause();
        // The window says it is paused; the converted length agrees with the file's bar; two
        // titles into one file: the run's own bar shows too.
        QCOMPARE(progress->TitleText(), QStringLiteral("Paused: Title_01.mpg"));
        QVERIFY2(!progress->ConvertedText().startsWith(QStringLiteral("00:00:00/")), qPrintable(progress->ConvertedText()));
        QVERIFY(!progress->OverallBar()->isHidden());
        QVERIFY(QTest::qWaitFor([&] { return held.load(); }, 120000));
        auto position = [&] { return progress->Running()->Progress().position; };
        const REFERENCE_TIME before = position();
        QVERIFY(before > 0);
        QCoreApplication::processEvents();
        QCOMPARE(position(), before);
        sink->SetHoldObserver(nullptr);
        progress->OnContinue();
        // While the second title goes in, the window still names the one file it writes.
        QTRY_VERIFY_WITH_TIMEOUT(progress->Running()->Progress().task == 1 || progress->DoneMessage(), 120000);
        QTRY_COMPARE(progress->TitleText(), QStringLiteral("Converting Title_01.mpg"));
        QVERIFY(RunToTheEnd(window));
        QCOMPARE(powerOffs, 1);
        QCOMPARE(messages.messages, QStringList{"The computer could not be shut down: refused in the test"});
        const QString file = out.filePath("Title_01.mpg");
        QVERIFY(QFile::exists(file));
        QVERIFY(!QFile::exists(out.filePath("Title_02.mpg")));
        QVERIFY(std::abs(Probe(file, "format=duration").toDouble() - 12.0) < 0.2);
        CConverDlg::SetActionHooks(nullptr, nullptr);
    }
};

QTEST_MAIN(GuiConversionTest)
#include "gui_conversion_test.moc"

// zuzidero-screenshots: opens ZuZidero's windows on a test disc and saves a picture of each,
// for the README. scripts/screenshots.sh runs it under Xvfb.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QSpinBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/beauty_combobox.h"
#include "app/column_tree_ctrl.h"
#include "app/optical_drives.h"
#include "app/conver_dlg.h"
#include "app/crop_dlg.h"
#include "app/help_dlg.h"
#include "app/output_choice.h"
#include "app/preview_pane.h"
#include "app/profile_choice.h"
#include "app/source_chooser.h"
#include "app/track_choice.h"
#include "app/my_slider_ctrl.h"
#include "app/msg_dlg.h"
#include "app/my_button.h"
#include "app/my_progress_ctrl.h"
#include "app/preferences_dlg.h"
#include "app/settings_dlg.h"
#include "app/skin.h"
#include "app/video_renderer.h"
#include "app/zuzidero_app.h"
#include "app/zuzidero_dlg.h"

namespace {

// Loads a disc into the window and waits for its list (true) or its failure.
bool Load(CZuZideroDlg& window, const QString& path)
{
    QEventLoop loop;
    bool loaded = false;
    QObject::connect(&window, &CZuZideroDlg::loadEnded, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    window.LoadDisc(path);
    loop.exec();
    return loaded;
}

QString g_out;

void Settle(int ms = 300)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Save(const QPixmap& picture, const char* name)
{
    const QString path = g_out + "/" + name;
    if (!picture.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

// The screen under a widget (top-level windows and pop-ups included).
QPixmap ScreenOf(const QRect& area) { return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()); }

// Runs a modal window's exec and pictures it once it is up (after `prepare`, when given).
template <class Open>
void ShootModal(const char* name, Open open, std::function<void(QWidget*)> prepare = {})
{
    QTimer::singleShot(700, [name, prepare] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            if (prepare) {
                prepare(w);
                QApplication::processEvents();
            }
            Save(w->grab(), name);
            w->close();
        }
    });
    open();
}

// Stops a run as the user does (Cancel, then Yes) and closes its end message.
void StopAndClose(CConverDlg* progress)
{
    progress->OnCancel();
    if (progress->StopQuestion()) progress->StopQuestion()->OkButton()->click();
    QElapsedTimer clock;
    clock.start();
    while (!progress->DoneMessage() && clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (progress->DoneMessage()) progress->DoneMessage()->OkButton()->click();
}

// The test disc whose subtitles were drawn from text, converted to MKV with its subtitles read
// into text: the progress window while it reads, and the end message that says what was read.
void ShootSubtitlesAsText(CZuZideroDlg& window, const QString& disc, const QString& folder)
{
    if (!Load(window, disc)) return;
    window.Profiles().OnFormatCommand(32814); // MKV
    window.Output().OutputBox()->setText(folder);
    QTimer::singleShot(0, [] {
        if (auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget())) {
            settings->SubtitleTracks()->setCurrentIndex(2);
            settings->SubtitleText()->setCurrentIndex(1);
            settings->SubtitleFiles()->setChecked(true);
            settings->OnOk();
        }
    });
    window.Profiles().OnSettings();
    window.OnStart(false);
    CConverDlg* progress = window.Progress();
    QElapsedTimer clock;
    clock.start();
    while (progress && !progress->DoneMessage() && progress->ReadingText().isEmpty() && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    while (progress && !progress->DoneMessage() && progress->FileBar()->GetPos() < 400 && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (progress && !progress->DoneMessage()) {
        Settle(300);
        Save(progress->grab(), "converting-subtitles-as-text.png");
    }
    while (progress && !progress->DoneMessage() && clock.elapsed() < 240000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (progress && progress->DoneMessage()) {
        Settle(500);
        Save(progress->DoneMessage()->grab(), "end-message-subtitles-as-text.png");
        progress->DoneMessage()->OkButton()->click();
    }
    Settle();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zuzidero-screenshots OUTPUT-FOLDER DISC\n");
        return 2;
    }
    CZuZideroApp app(argc, argv);
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    const QString disc = QString::fromLocal8Bit(argv[2]);

    CZuZideroDlg window;
    window.Output().OutputBox()->setText(QDir::tempPath());
    window.show();
    Settle(600);
    Save(window.grab(), "main-window.png");

    // Message windows grow to their texts: advice, and a long list that scrolls.
    {
        CMsgDlg advice(CMsgDlg::kError, &window);
        advice.SetMessage(QStringLiteral("No optical drive was found"),
                          QStringLiteral("Use \"Load Disc Folder\" for a VIDEO_TS or Blu-ray folder, or \"Load Disc Image or Video File\" "
                                         "for an ISO image or an MPEG file."));
        advice.show();
        Settle(300);
        Save(advice.grab(), "message-advice.png");
        // An engine failure: what to try, with the cause folded under Details (here unfolded).
        CMsgDlg failure(CMsgDlg::kError, &window);
        FillMessage(failure, QStringLiteral("connect splitter and decoder error(audio)\nno decoder takes the stream 0x83 (DTS-HD MA)"));
        if (failure.DetailsButton()) failure.DetailsButton()->click();
        failure.show();
        Settle(300);
        Save(failure.grab(), "message-details.png");
        CMsgDlg list(CMsgDlg::kWarning, &window);
        list.SetMessage(QStringLiteral("Conversion completed with unreadable parts"),
                        QStringLiteral("Your files are in the output folder, but parts of the disc could not be read:"));
        QStringList damage;
        for (int i = 1; i <= 60; ++i) damage << QStringLiteral("Title_%1.mp4: 00:%2:10 to 00:%2:12 could not be read").arg(i, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
        list.SetDetail(damage.join(QLatin1Char('\n')));
        list.show();
        Settle(300);
        Save(list.grab(), "message-long-list.png");
    }

    if (!Load(window, disc)) return 1;
    window.Profiles().Selector()->Select(1, 32806); // H.264 and AAC in MP4
    window.Profiles().OnFormatCommand(32806);
    window.TitleList()->setCurrentItem(window.TitleList()->Root()->child(0));
    Settle();
    Save(window.grab(), "main-window-disc.png");

    // Title_01's chapters, ticked in part.
    QTreeWidgetItem* first = window.TitleList()->Root()->child(0);
    first->setExpanded(true);
    window.TitleList()->ToggleCheck(first->child(3));
    window.TitleList()->setCurrentItem(first->child(1));
    Settle();
    Save(window.grab(), "main-window-chapters.png");
    window.TitleList()->ToggleCheck(first->child(3));
    first->setExpanded(false);
    window.TitleList()->setCurrentItem(first);

    // Title_01's two sound tracks ticked, the audio list open.
    window.Tracks().OnListClicked(first);
    window.Tracks().OnAudioTicked(1);
    window.Tracks().AudioTracks()->showPopup();
    Settle(500);
    const QRect popup = window.Tracks().AudioTracks()->view()->window()->frameGeometry();
    Save(ScreenOf(window.frameGeometry().united(popup)), "main-window-audio-tracks.png");
    window.Tracks().AudioTracks()->hidePopup();
    window.Tracks().OnAudioTicked(1);

    // Title_01 playing, paused where its English subtitle is on screen (0.5 s to 1.5 s).
    window.Preview().OnPlay();
    QElapsedTimer playing;
    playing.start();
    double position = 0;
    while (playing.elapsed() < 10000 && (!window.Preview().Player().GetPosition(position) || position < 1.0))
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    window.Preview().OnPause();
    Settle(500);
    Save(window.grab(), "main-window-playing.png");
    // The same, the window at 1280 × 800: the list and the picture larger.
    window.resize(1280, 800);
    Settle(500);
    Save(window.grab(), "main-window-large.png");
    // Maximised by the window manager, and the picture full screen over it.
    window.showMaximized();
    Settle(800);
    Save(window.grab(), "main-window-maximised.png");
    window.Preview().OnPlay();
    Settle(300);
    window.Preview().ToggleFullScreen();
    Settle(800);
    window.Preview().OnPause();
    Settle(300);
    Save(ScreenOf(window.screen()->geometry()), "preview-full-screen.png");
    window.Preview().ToggleFullScreen();
    window.showNormal();
    window.resize(820, 540);
    Settle(300);
    window.Preview().OnStop();

    // The help, in the program's own window, searched for a word.
    {
        CHelpDlg help(&window);
        help.resize(900, 640);
        help.show();
        help.Search()->setText(QStringLiteral("subtitle"));
        help.FindNext();
        Settle(500);
        Save(help.grab(), "help.png");
    }

    // The editor's three pages, a title playing in both panes.
    window.OpenEditor(CCropDlg::kTrim, false);
    if (CCropDlg* editor = window.Editor()) {
        QElapsedTimer waiting;
        waiting.start();
        while (waiting.elapsed() < 10000 &&
               (!editor->RightPane()->Renderer() || editor->RightPane()->Renderer()->Pictures() < 30))
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        editor->StartEdit()->setText(QStringLiteral("00:00:01.500"));
        editor->OnApplyStart();
        editor->EndEdit()->setText(QStringLiteral("00:00:06"));
        editor->OnApplyEnd();
        editor->OnPause();
        Settle(500);
        Save(editor->grab(), "editor-trim.png");
        editor->ShowPage(CCropDlg::kCrop);
        editor->CropEdit(0)->setValue(90);
        editor->CropEdit(1)->setValue(40);
        editor->CropEdit(2)->setValue(90); // margins: 90 from the right, 40 from the bottom
        editor->CropEdit(3)->setValue(40);
        editor->OnPlay();
        Settle(700);
        editor->OnPause();
        Settle(300);
        Save(editor->grab(), "editor-crop.png");
        editor->ShowPage(CCropDlg::kEffect);
        editor->BrightnessSlider()->SetPos(170);
        editor->SaturationSlider()->SetPos(100);
        editor->Preview().SetBrightness(170);
        editor->Preview().SetSaturation(100);
        editor->OnPlay();
        Settle(700);
        editor->OnPause();
        Settle(300);
        Save(editor->grab(), "editor-effect.png");
        editor->reject();
        Settle();
    }

    window.Profiles().Selector()->OpenPane();
    window.Profiles().Selector()->Pane()->ShowCategory(16);
    Settle(500);
    const QRect pane = window.Profiles().Selector()->Pane()->frameGeometry();
    Save(ScreenOf(window.frameGeometry().united(pane)), "format-selector.png");
    window.Profiles().Selector()->Pane()->close();

    ShootModal("settings.png", [&] { window.Profiles().OnSettings(); });
    ShootModal("preferences.png", [&] { window.OnPreferences(); });
    ShootModal("preferences-options.png", [&] { window.OnPreferences(); }, [](QWidget* w) {
        if (auto* preferences = qobject_cast<CPreferencesDlg*>(w)) preferences->ShowPage(1);
    });
    ShootModal("properties.png", [&] { window.OnProperties(); });
    ShootModal("about.png", [&] {
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == QStringLiteral("&About")) action->trigger();
    });
    {
        // A taken name: the three answers.
        CMsgDlg question(CMsgDlg::kQuestion, &window);
        question.SetMessage(QStringLiteral("Title_01.mp4 exists"),
                            QStringLiteral("The output folder has a file of this name. Overwrite it with the new one, keep both (the "
                                           "new one as \"Title_01 (2).mp4\"), or skip this title?"));
        question.SetChoices({QStringLiteral("Overwrite"), QStringLiteral("Keep both"), QStringLiteral("Skip")},
                            QStringLiteral("Do the same for the 1 other taken names"));
        question.show();
        Settle(300);
        Save(question.grab(), "name-question.png");
    }

    // A conversion, pictured mid-way with its preview.
    window.Output().SetNameQuestion([](const QString&, int) { return COutputChoice::NameChoice{COutputChoice::NameAnswer::kOverwrite, true}; });
    window.OnStart(false);
    CConverDlg* progress = window.Progress();
    QElapsedTimer clock;
    clock.start();
    while (progress && clock.elapsed() < 60000 && (progress->FileBar()->GetPos() < 300 || !progress->PreviewWindow()->Renderer() ||
                                                   progress->PreviewWindow()->Renderer()->Pictures() == 0))
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (progress) {
        progress->OnPause();
        Settle(500);
        Save(progress->grab(), "converting.png");
        StopAndClose(progress);
    }
    Settle();

    // A run with a failure: a folder stands where Title_01's file should go.
    QTemporaryDir blocked;
    QDir(blocked.path()).mkdir(QStringLiteral("Title_01.mp4"));
    window.Output().OutputBox()->setText(blocked.path());
    window.OnStart(false);
    progress = window.Progress();
    clock.restart();
    while (progress && !progress->DoneMessage() && clock.elapsed() < 120000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (progress && progress->DoneMessage()) {
        Settle(500);
        Save(progress->DoneMessage()->grab(), "end-message-failure.png");
        progress->DoneMessage()->OkButton()->click();
    }
    Settle();

    QTemporaryDir textOut;
    ShootSubtitlesAsText(window, QFileInfo(disc).dir().filePath(QStringLiteral("text_pal")), textOut.path());

    // The test Blu-ray folder beside the disc: its main title playing with its French subtitle
    // (shown from 0 s to 2 s).
    const QString bluray = QFileInfo(disc).dir().filePath(QStringLiteral("bluray"));
    if (Load(window, bluray)) {
        window.TitleList()->setCurrentItem(window.TitleList()->Root()->child(0));
        window.Preview().OnPlay();
        playing.restart();
        while (playing.elapsed() < 10000 && (!window.Preview().Player().GetPosition(position) || position < 1.0))
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        window.Preview().OnPause();
        Settle(500);
        Save(window.grab(), "main-window-bluray.png");
        window.Preview().OnStop();
    }
    Settle();

    // Two drives as the kernel would show them, sr0 holding the test disc and sr1 empty: the Add
    // File menu lists both, and the File menu offers Eject for the loaded drive's disc.
    QTemporaryDir places;
    const QDir root(places.path());
    auto write = [&](const QString& path, const QByteArray& text) {
        root.mkpath(QFileInfo(root.filePath(path)).path());
        QFile file(root.filePath(path));
        if (file.open(QIODevice::WriteOnly)) file.write(text);
    };
    write(QStringLiteral("sys/block/sr0/size"), "8388608\n");
    write(QStringLiteral("sys/block/sr0/device/vendor"), "HL-DT-ST\n");
    write(QStringLiteral("sys/block/sr0/device/model"), "DVDRAM GH24NSD1\n");
    write(QStringLiteral("sys/block/sr1/size"), "0\n");
    write(QStringLiteral("cdrom_info"), "");
    write(QStringLiteral("mounts"), "");
    root.mkpath(QStringLiteral("dev"));
    QFile::link(QFileInfo(disc).absoluteFilePath(), root.filePath(QStringLiteral("dev/sr0")));
    window.Sources().UseDrives(new COpticalDrives({root.filePath(QStringLiteral("sys/block")), root.filePath(QStringLiteral("cdrom_info")),
                                         root.filePath(QStringLiteral("mounts")), root.filePath(QStringLiteral("dev"))},
                                        nullptr));
    Load(window, root.filePath(QStringLiteral("dev/sr0")));
    Settle();
    auto menuWith = [&](const std::function<bool(const QAction*)>& holds) -> QMenu* {
        for (QMenu* menu : window.findChildren<QMenu*>())
            for (const QAction* action : menu->actions())
                if (holds(action)) return menu;
        return nullptr;
    };
    auto shootMenu = [&](QMenu* menu, const char* name) {
        if (!menu) return;
        menu->popup(window.mapToGlobal(QPoint(20, 60)));
        Settle(400);
        Save(ScreenOf(window.frameGeometry().united(menu->frameGeometry())), name);
        menu->hide();
        Settle();
    };
    const QString sr0 = root.filePath(QStringLiteral("dev/sr0"));
    shootMenu(menuWith([&](const QAction* a) { return a->data().toString() == sr0; }), "menu-add-file-drives.png");
    shootMenu(menuWith([](const QAction* a) { return a->text() == QStringLiteral("E&ject"); }), "menu-file-eject.png");
    return 0;
}

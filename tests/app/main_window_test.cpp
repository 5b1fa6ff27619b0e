// The main window: start-up without a catalogue, loading a disc into the title list, check
// marks, output names and profiles, the audio and subtitle choice, the commands' checks, and
// the format choice kept in setting.ini.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBrowser>
#include <QSettings>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/beauty_combobox.h"
#include "app/busy_bar.h"
#include "app/column_tree_ctrl.h"
#include "app/help_dlg.h"
#include "app/my_check_box.h"
#include "app/my_slider_ctrl.h"
#include "app/optical_drives.h"
#include "app/my_button.h"
#include "app/palette.h"
#include "app/preferences.h"
#include "app/settings_dlg.h"
#include "app/start_pane.h"
#include "app/user_profiles.h"
#include "app/zuzidero_app.h"
#include "app/zuzidero_dlg.h"
#include "app_test_support.h"
#include "support/gate.h"
#include "demux/media_disc.h"

namespace {

QStringList ColumnTexts(CColumnTreeCtrl* list, int column)
{
    QStringList texts;
    QTreeWidgetItem* root = list->Root();
    for (int i = 0; root && i < root->childCount(); ++i) texts << root->child(i)->text(column);
    return texts;
}

QStringList Lines(QComboBox* box)
{
    QStringList lines;
    for (int i = 0; i < box->count(); ++i) lines << box->itemText(i);
    return lines;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QString m_product; // the preferences' store name, read once from a window
private slots:
    void initTestCase() { RegisterFilters(); }

    // Every test starts from a fresh home: no setting.ini, no preferences but "Every title"
    // ticked on load, which most of these tests list and tick by hand.
    void init()
    {
        qunsetenv("ZUZIDERO_DATA_DIR");
        if (m_product.isEmpty()) m_product = CZuZideroDlg().ProductTitle();
        QFile::remove(SettingIniPath());
        QSettings(QStringLiteral("ZuZidero"), m_product).clear();
        QVERIFY(Preferences::Write(m_product, QStringLiteral("strTickOnLoad"), QStringLiteral("Every title")));
    }

    void WithoutACatalogueSettingsIsDisabled()
    {
        QTemporaryDir empty;
        qputenv("ZUZIDERO_DATA_DIR", empty.path().toUtf8());
        CollectMessages messages;
        CZuZideroDlg window;
        QVERIFY(!window.Profiles().CatalogueLoaded());
        // The fixed text, and what went wrong with which file.
        const QStringList load = messages.messages.filter(QRegularExpression("^Load Format.xml error\n\n.*Format.xml: No such file or directory$"));
        QVERIFY2(load.size() == 1, qPrintable(messages.messages.join(" | ")));
        // The first start's format command finds no profile either.
        QVERIFY(messages.messages.contains("Conn`t get format"));
        QVERIFY(!window.Profiles().SettingsButton()->isEnabled());
    }

    void FirstStartSelectsTheModernH264Mp4()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        QVERIFY(window.Profiles().CatalogueLoaded());
        QVERIFY(messages.messages.isEmpty());
        // Constant quality at the source's own size and rate, and the profile box says so.
        QCOMPARE(window.Profiles().CurrentProfile().index, 109);
        QCOMPARE(window.Profiles().CurrentProfile().writer.Width, 0);
        QCOMPARE(window.Profiles().CurrentProfile().writer.FrameRate, 0);
        QCOMPARE(window.Profiles().Selector()->ButtonText(), QStringLiteral("H.264 MP4 — constant quality"));
        QVERIFY(window.GettingStarted()->isVisible() || !window.isVisible());
    }

    void LoadingADiscListsItsTitles()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32802); // AVI
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        // The root is named after the disc: a folder's name, an image's volume name.
        QCOMPARE(list->Root()->text(0), QStringLiteral("ntsc_4x3"));
        QVERIFY(LoadAndWait(window, DiscPath("pal_16x9.iso")));
        QCOMPARE(list->Root()->text(0), QStringLiteral("PAL_16X9"));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3") + "/VIDEO_TS"));
        QCOMPARE(list->Root()->text(0), QStringLiteral("ntsc_4x3"));
        // Title 3 (2 s) is under three seconds: not listed.
        QCOMPARE(ColumnTexts(list, 0), (QStringList{"Title_01", "Title_02"}));
        QCOMPARE(ColumnTexts(list, 1), (QStringList{"00:00:08", "00:00:04"}));
        QCOMPARE(ColumnTexts(list, 2), ColumnTexts(list, 1));
        QCOMPARE(ColumnTexts(list, 3), (QStringList{"Title_01.avi", "Title_02.avi"}));
        QCOMPARE(CColumnTreeCtrl::ItemText(list->Root()->child(0)), QStringLiteral("Title_01\t00:00:08\t00:00:08\tTitle_01.avi\tMain title"));
        QCOMPARE(list->headerItem()->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("File"));
        QCOMPARE(list->StateOf(list->Root()), int(CColumnTreeCtrl::kChecked));
        QCOMPARE(list->currentItem(), list->Root()->child(0));
        // The first title's task starts the picture settings: the whole 720 × 480 picture.
        QCOMPARE(window.LastClipSettings().picture.cropRight, 720);
        QCOMPARE(window.LastClipSettings().picture.cropBottom, 480);
        QCOMPARE(window.LastClipSettings().trimLength, static_cast<std::int64_t>(window.Work().Disc()->Info().titles[0].durationMs));
        // Title 1's tracks (the German subtitles, forced only, marked so), "Forced only" and a line
        // for no subtitles. Nothing is burned in: the disc forces no English subtitles.
        QCOMPARE(Lines(window.Tracks().AudioTracks()), (QStringList{"English(AC3 2ch)", "French(MP2 2ch)"}));
        QCOMPARE(Lines(window.Tracks().Subtitles()), (QStringList{"English", "German (forced)", "Forced only", "No subtitles"}));
        QCOMPARE(window.Tracks().Subtitles()->currentText(), QStringLiteral("Forced only"));
        QCOMPARE(window.Tracks().SelectedAudioStreamId(), 0xBD80);
        QCOMPARE(window.Tracks().SelectedSubtitleId(), 0xBD20);
        QVERIFY(!window.Tracks().SubtitlesOn());
        for (const RunTask& t : window.Work().Tasks().RunTasks()) QVERIFY(!t.task.burnSubtitles && t.task.forcedOnly);
        QVERIFY(messages.messages.isEmpty());

        // A PAL disc's tasks crop nothing away.
        QVERIFY(LoadAndWait(window, DiscPath("pal_16x9")));
        QCOMPARE(window.LastClipSettings().picture.cropBottom, 576);
        // A disc that fails to load leaves the previous one open and listed.
        const std::shared_ptr<SourceDisc> pal = window.Work().Disc();
        const int listed = list->Root()->childCount();
        QVERIFY(!LoadAndWait(window, "/nonexistent/disc"));
        QCOMPARE(messages.messages, QStringList{"Open disc error\n/nonexistent/disc does not exist"});
        QCOMPARE(window.Work().Disc(), pal);
        QCOMPARE(list->Root()->childCount(), listed);
        // It still reads: the PAL title's 16:9 picture of 720 × 576, and its sound plays.
        QCOMPARE(window.Work().Disc()->VideoOf(0).height, 576);
        QVERIFY(window.Work().Disc()->VideoOf(0).wide);
        QCOMPARE(window.Work().Disc()->Info().titles[0].audioCount, 2);
    }

    void BlurayFoldersAndMediaFilesListAsDiscs()
    {
        RegisterMediaDiscs();
        CollectMessages messages;
        CZuZideroDlg window;
        CColumnTreeCtrl* list = window.TitleList();
        // The root is the folder holding BDMV, whichever of its folders was chosen.
        QVERIFY(LoadAndWait(window, DiscPath("bluray") + "/BDMV"));
        QCOMPARE(list->Root()->text(0), QStringLiteral("bluray"));
        QCOMPARE(ColumnTexts(list, 0), (QStringList{"Title_01", "Title_02", "Title_03"}));
        QCOMPARE(ColumnTexts(list, 1), (QStringList{"00:00:07", "00:00:03", "00:00:03"}));
        // The main title's chapters from the playlist's entry marks.
        QCOMPARE(list->Root()->child(0)->childCount(), 3);
        QCOMPARE(Lines(window.Tracks().AudioTracks()), (QStringList{"English(AC3 2ch)", "Japanese(LPCM 2ch)"}));
        QCOMPARE(Lines(window.Tracks().Subtitles()), (QStringList{"French", "Forced only", "No subtitles"}));
        QCOMPARE(window.Tracks().SelectedAudioStreamId(), 0x1100);
        // The whole 1280 × 720 picture.
        QCOMPARE(window.LastClipSettings().picture.cropRight, 1280);
        QCOMPARE(window.LastClipSettings().picture.cropBottom, 720);

        // A file is one title named after it.
        QVERIFY(LoadAndWait(window, DiscPath("media/clip.ts")));
        QCOMPARE(list->Root()->text(0), QStringLiteral("clip.ts"));
        QCOMPARE(ColumnTexts(list, 0), (QStringList{"Title_01"}));
        QCOMPARE(ColumnTexts(list, 1), (QStringList{"00:00:04"}));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        // Its mono AC-3 track says one channel, not two.
        QCOMPARE(Lines(window.Tracks().AudioTracks()), (QStringList{"English(AC3 1ch)", "Spanish(AAC 1ch)"}));

        // A file of no MPEG stream is named as the file it is.
        QTemporaryDir junk;
        QFile junkFile(junk.filePath("junk.ts"));
        QVERIFY(junkFile.open(QIODevice::WriteOnly));
        junkFile.write(QByteArray(100000, 'x'));
        junkFile.close();
        QVERIFY(!LoadAndWait(window, junk.filePath("junk.ts")));
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].startsWith("Open MPEG file error\n"), qPrintable(messages.messages[0]));
        messages.messages.clear();

        // Encrypted clips: the reason is told and the file stays open.
        QVERIFY(!LoadAndWait(window, DiscPath("bluray_aacs")));
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].contains("encrypted"), qPrintable(messages.messages[0]));
        QCOMPARE(list->Root()->text(0), QStringLiteral("clip.ts"));
    }

    void ABlurayFolderWithDamagedPlaylistsListsItsClipsAndSaysWhy()
    {
        RegisterMediaDiscs();
        CollectMessages messages;
        // Every playlist that makes a title is damaged: the clips are the titles.
        QTemporaryDir copy;
        const QString bdmv = copy.filePath("BDMV");
        for (const char* folder : {"PLAYLIST", "CLIPINF", "STREAM"}) QVERIFY(QDir().mkpath(bdmv + "/" + folder));
        const QString source = DiscPath("bluray") + "/BDMV";
        for (const QString& folder : {QStringLiteral("CLIPINF"), QStringLiteral("STREAM")})
            for (const QString& name : QDir(source + "/" + folder).entryList(QDir::Files))
                QVERIFY(QFile::copy(source + "/" + folder + "/" + name, bdmv + "/" + folder + "/" + name));
        QFile cut(bdmv + "/PLAYLIST/00000.mpls");
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(QByteArray("MPLS0200"));
        cut.close();
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, copy.path()));
        CColumnTreeCtrl* list = window.TitleList();
        QCOMPARE(ColumnTexts(list, 0), (QStringList{"Title_01", "Title_02"}));
        QCOMPARE(list->Root()->child(0)->toolTip(0), QStringLiteral("clip 00001"));
        QCOMPARE(list->Root()->child(1)->toolTip(1), QStringLiteral("clip 00002"));
        QCOMPARE(list->Root()->toolTip(0), QStringLiteral("playlist 00000.mpls cannot be read: it is cut short or damaged"));
        QVERIFY(messages.messages.isEmpty());
    }

    void CheckMarksPropagate()
    {
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* root = list->Root();
        list->ToggleCheck(root->child(0));
        QCOMPARE(list->StateOf(root->child(0)), int(CColumnTreeCtrl::kUnchecked));
        QCOMPARE(list->StateOf(root), int(CColumnTreeCtrl::kPartlyChecked));
        list->ToggleCheck(root->child(1));
        QCOMPARE(list->StateOf(root), int(CColumnTreeCtrl::kUnchecked));
        QCOMPARE(list->currentItem(), root->child(1));
        window.TitleList()->CheckAll(true);
        for (QTreeWidgetItem* item : {root, root->child(0), root->child(1)}) QCOMPARE(list->StateOf(item), int(CColumnTreeCtrl::kChecked));
        // The root passes its state down.
        list->ToggleCheck(root);
        QCOMPARE(list->StateOf(root->child(0)), int(CColumnTreeCtrl::kUnchecked));
        QCOMPARE(list->StateOf(root->child(1)), int(CColumnTreeCtrl::kUnchecked));
        // A click on the check mark itself toggles it.
        list->show();
        const QRect row = list->visualItemRect(root->child(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + 6, row.center().y()));
        QCOMPARE(list->StateOf(root->child(0)), int(CColumnTreeCtrl::kChecked));
        QCOMPARE(list->StateOf(root), int(CColumnTreeCtrl::kPartlyChecked));
        const auto tasks = window.Work().Tasks().RunTasks();
        QCOMPARE(tasks.size(), std::size_t(2));
        QVERIFY(tasks[0].checked && !tasks[1].checked);
        QCOMPARE(tasks[0].outputName, std::string("Title_01.mp4"));
    }

    void TickingASecondTrackShowsInTheBoxOrIsRefusedAtOnce()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32806); // MP4 keeps every ticked track
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        QCOMPARE(window.Tracks().AudioBoxText(), QStringLiteral("English(AC3 2ch)"));
        window.Tracks().OnAudioTicked(1);
        QCOMPARE(window.Tracks().AudioBoxText(), QStringLiteral("English(AC3 2ch) + 1"));
        QVERIFY(messages.messages.isEmpty());
        window.Tracks().OnAudioTicked(1);
        QCOMPARE(window.Tracks().AudioBoxText(), QStringLiteral("English(AC3 2ch)"));
        // MP3 keeps one: said when the second is ticked, before any run, and nothing changes.
        window.Profiles().OnFormatCommand(32821);
        window.Tracks().OnAudioTicked(1);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].startsWith(QStringLiteral("This format keeps one audio track")));
        QVERIFY(window.Work().Tasks().Task({0, -1})->moreAudio.empty());
        QCOMPARE(window.Tracks().AudioBoxText(), QStringLiteral("English(AC3 2ch)"));
    }

    void MergeShowsItsOneFileInTheFileColumn()
    {
        CollectMessages messages;
        const QString product = CZuZideroDlg().ProductTitle();
        QVERIFY(Preferences::Write(product, QStringLiteral("strTickOnLoad"), QStringLiteral("Every title")));
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32806);
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QCOMPARE(ColumnTexts(list, CColumnTreeCtrl::kOutputFormat), (QStringList{"Title_01.mp4", "Title_02.mp4"}));
        window.Output().MergeBox()->setChecked(true);
        QCOMPARE(ColumnTexts(list, CColumnTreeCtrl::kOutputFormat), (QStringList{"Title_01.mp4", "into Title_01.mp4"}));
        // The first title that takes part names the file; an unticked one keeps its own name.
        list->ToggleCheck(list->Root()->child(0));
        QCOMPARE(ColumnTexts(list, CColumnTreeCtrl::kOutputFormat), (QStringList{"Title_01.mp4", "Title_02.mp4"}));
        // A title ticked in part takes part through its chapters: the first of them names the file.
        list->ToggleCheck(list->Root()->child(0));
        QTreeWidgetItem* title = list->Root()->child(0);
        list->ToggleCheck(title->child(1));
        QCOMPARE(title->child(0)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("Chapter_01_01.mp4"));
        QCOMPARE(title->child(1)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("Chapter_01_02.mp4"));
        QCOMPARE(title->child(2)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("into Chapter_01_01.mp4"));
        QCOMPARE(list->Root()->child(1)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("into Chapter_01_01.mp4"));
        window.Output().MergeBox()->setChecked(false);
        QCOMPARE(ColumnTexts(list, CColumnTreeCtrl::kOutputFormat), (QStringList{"Title_01.mp4", "Title_02.mp4"}));
        QCOMPARE(title->child(2)->text(CColumnTreeCtrl::kOutputFormat), QStringLiteral("Chapter_01_03.mp4"));
        QVERIFY(messages.messages.isEmpty());
    }

    void AProfileChangeRenamesTheOutputs()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32802);
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        list->ToggleCheck(list->Root()->child(1));
        window.Profiles().OnFormatCommand(32806);
        QCOMPARE(window.Profiles().CurrentProfile().index, 5);
        QCOMPARE(ColumnTexts(list, 3), (QStringList{"Title_01.mp4", "Title_02.mp4"}));
        QCOMPARE(list->StateOf(list->Root()->child(1)), int(CColumnTreeCtrl::kUnchecked));
        // Choosing the profile in effect again does nothing, not even renaming.
        window.Work().Tasks().SetOutputName({0, -1}, "mine.mp4");
        list->Refresh();
        window.Profiles().OnFormatCommand(32806);
        QCOMPARE(list->Root()->child(0)->text(3), QStringLiteral("mine.mp4"));
        // 3G and 3GS both select profile 47; an unknown command selects profile 0.
        window.Profiles().OnFormatCommand(32852);
        QCOMPARE(window.Profiles().CurrentProfile().index, 47);
        window.Profiles().OnFormatCommand(32850);
        QCOMPARE(window.Profiles().CurrentProfile().index, 47);
        window.Profiles().OnFormatCommand(1);
        QCOMPARE(window.Profiles().CurrentProfile().index, 0);
        QVERIFY(messages.messages.isEmpty());
    }

    void SettingsOkMakesTheEditedCopyTheProfile()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32806); // H.264 in MP4
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        // In the window: another preset (AVI), a smaller picture, OK.
        QTimer::singleShot(0, [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            const int avi = settings->Presets()->findData(1);
            settings->Presets()->setCurrentIndex(avi);
            emit settings->Presets()->activated(avi);
            settings->Resolution()->setEditText("320*240");
            QVERIFY(settings->OnOk());
        });
        window.Profiles().OnSettings();
        QCOMPARE(window.Profiles().CurrentProfile().index, 1);
        QCOMPARE(window.Profiles().CurrentProfile().writer.Width, 320);
        QVERIFY(messages.messages.isEmpty());
        // The names follow the new kind of file.
        QCOMPARE(ColumnTexts(window.TitleList(), 3), (QStringList{"Title_01.avi", "Title_02.avi"}));
    }

    void HelpOpensInTheProgramsOwnWindowWithContentsAndSearch()
    {
        CZuZideroDlg window;
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == QStringLiteral("&Help Content")) action->trigger();
        CHelpDlg* help = window.findChild<CHelpDlg*>();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QStringList sections;
        for (int i = 0; i < help->Contents()->count(); ++i) sections << help->Contents()->item(i)->text();
        QVERIFY2(sections.contains(QStringLiteral("1. Load a disc")) && sections.contains(QStringLiteral("Subtitles")) &&
                     sections.contains(QStringLiteral("Modern profiles")),
                 qPrintable(sections.join(" | ")));
        help->Search()->setText(QStringLiteral("Forced only"));
        QVERIFY(help->FindNext());
        QCOMPARE(help->Page()->textCursor().selectedText(), QStringLiteral("Forced only"));
        help->Search()->setText(QStringLiteral("no such words here"));
        QVERIFY(!help->FindNext());
        // Asked again, the same window comes forward.
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == QStringLiteral("&Help Content")) action->trigger();
        QCOMPARE(window.findChildren<CHelpDlg*>().size(), 1);
    }

    void TheWindowsSizeAndPlaceAreKept()
    {
        {
            CZuZideroDlg window;
            window.show();
            window.setGeometry(QRect(60, 40, 1100, 760));
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
        CZuZideroDlg again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), QSize(1100, 760));
        QCOMPARE(again.pos(), QPoint(60, 40));
        // The list and the picture took the room.
        QVERIFY(again.TitleList()->width() > 454 + 100);
        QVERIFY(again.Preview().VideoPlaceholder()->width() > 296 + 100);
    }

    void SettingsChangesAreKeptForTheNextStart()
    {
        CollectMessages messages;
        const auto keepNoSubtitleTracks = [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            settings->SubtitleTracks()->setCurrentIndex(0); // None, where MP4 keeps them all by default
            QVERIFY(settings->OnOk());
        };
        {
            CZuZideroDlg window;
            QVERIFY(window.Profiles().Selector()->Select(1, 32806)); // H.264 MP4, as a click on it
            window.Profiles().OnFormatCommand(32806);
            QTimer::singleShot(0, keepNoSubtitleTracks);
            window.Profiles().OnSettings();
            QCOMPARE(window.Profiles().CurrentProfile().writer.subtitleTracks, 0);
            QVERIFY(window.Profiles().Selector()->ButtonText().endsWith(QStringLiteral("(modified)")));
        }
        {
            CZuZideroDlg again;
            QCOMPARE(again.Profiles().CurrentProfile().index, 5);
            QCOMPARE(again.Profiles().CurrentProfile().writer.subtitleTracks, 0);
            QVERIFY(again.Profiles().Selector()->ButtonText().endsWith(QStringLiteral("(modified)")));
            QVERIFY(again.Profiles().Selector()->Select(1, 32802)); // AVI, as stored
            again.Profiles().OnFormatCommand(32802);
        }
        CZuZideroDlg third;
        QCOMPARE(third.Profiles().CurrentProfile().writer.subtitleTracks, 0);
        QVERIFY(!third.Profiles().Selector()->ButtonText().endsWith(QStringLiteral("(modified)")));
        // The MP4 profile chosen afresh keeps every subtitle track again.
        third.Profiles().OnFormatCommand(32806);
        QCOMPARE(third.Profiles().CurrentProfile().writer.subtitleTracks, 2);
        QVERIFY(messages.messages.isEmpty());
    }

    void TheMainTitleIsMarkedSelectedAndTickedAloneOnRequest()
    {
        CollectMessages messages;
        const auto ticked = [](CZuZideroDlg& window) {
            QStringList names;
            QTreeWidgetItem* root = window.TitleList()->Root();
            for (int i = 0; root && i < root->childCount(); ++i)
                if (window.TitleList()->StateOf(root->child(i)) == CColumnTreeCtrl::kChecked) names << root->child(i)->text(0);
            return names;
        };
        // A fresh start ticks the main title alone, past the decoys.
        const QString product = CZuZideroDlg().ProductTitle();
        QSettings(QStringLiteral("ZuZidero"), product).remove(QStringLiteral("strTickOnLoad"));
        {
            CZuZideroDlg window;
            QVERIFY(LoadAndWait(window, DiscPath("film_titles")));
            QCOMPARE(ticked(window), QStringList{"Title_04"});
        }
        QVERIFY(Preferences::Write(product, QStringLiteral("strTickOnLoad"), QStringLiteral("Every title")));
        {
            CZuZideroDlg window;
            QVERIFY(LoadAndWait(window, DiscPath("film_titles")));
            // Title_04 is the film; 02 and 03 are decoys of its length, 05 and 07 list it again.
            QTreeWidgetItem* main = window.TitleList()->Root()->child(window.Work().Tasks().MainTitle());
            QVERIFY(main);
            QCOMPARE(main->text(0), QStringLiteral("Title_04"));
            QCOMPARE(window.TitleList()->currentItem(), main);
            QVERIFY(main->toolTip(0).contains(QStringLiteral("Main title")));
            QVERIFY(main->font(0).bold());
            QTreeWidgetItem* again = window.TitleList()->Root()->child(4);
            QCOMPARE(again->text(0), QStringLiteral("Title_05"));
            QCOMPARE(again->toolTip(0), QStringLiteral("Same as Title_04"));
            // In words in the note column, not only in a tip or in bold.
            QCOMPARE(main->text(CColumnTreeCtrl::kNote), QStringLiteral("Main title"));
            QCOMPARE(again->text(CColumnTreeCtrl::kNote), QStringLiteral("Same as Title_04"));
            QCOMPARE(window.TitleList()->Root()->child(0)->text(CColumnTreeCtrl::kNote), QString());
            QCOMPARE(ticked(window), (QStringList{"Title_01", "Title_02", "Title_03", "Title_04", "Title_06"}));
            window.OnTickMainOnly();
            QCOMPARE(ticked(window), QStringList{"Title_04"});
        }
        // The preference: the main title only, or titles longer than so many minutes.
        QVERIFY(Preferences::Write(product, QStringLiteral("strTickOnLoad"), QStringLiteral("The main title only")));
        {
            CZuZideroDlg window;
            QVERIFY(LoadAndWait(window, DiscPath("film_titles")));
            QCOMPARE(ticked(window), QStringList{"Title_04"});
        }
        QVERIFY(Preferences::Write(CZuZideroDlg().ProductTitle(), QStringLiteral("strTickOnLoad"), QStringLiteral("Titles longer than")));
        QVERIFY(Preferences::Write(CZuZideroDlg().ProductTitle(), QStringLiteral("tick_minutes"), 0));
        {
            CZuZideroDlg window;
            QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
            QCOMPARE(ticked(window), (QStringList{"Title_01", "Title_02"}));
        }
        QVERIFY(Preferences::Write(CZuZideroDlg().ProductTitle(), QStringLiteral("tick_minutes"), 1));
        {
            CZuZideroDlg window;
            QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
            QVERIFY(ticked(window).isEmpty());
            // The note says why: both are short (Title_01 is the main title too).
            QCOMPARE(ColumnTexts(window.TitleList(), CColumnTreeCtrl::kNote), (QStringList{"Main title, Short", "Short"}));
        }
        QVERIFY(Preferences::Write(CZuZideroDlg().ProductTitle(), QStringLiteral("strTickOnLoad"), QStringLiteral("Every title")));
        QVERIFY(messages.messages.isEmpty());
    }

    void TheChosenTrackAndSubtitleAreKept()
    {
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Tracks().AudioTracks()->setCurrentIndex(1);
        window.Tracks().OnAudioChosen(1);
        QCOMPARE(window.Tracks().SelectedAudioStreamId(), 0xC000);
        window.Tracks().OnSubtitleChosen(1);
        QCOMPARE(window.Tracks().SelectedSubtitleId(), 0xBD21);
        QVERIFY(window.Tracks().SubtitlesOn());
        window.Tracks().OnSubtitleChosen(3); // "No subtitles"
        QVERIFY(!window.Tracks().SubtitlesOn());
        QCOMPARE(window.Tracks().SelectedSubtitleId(), 0xBD21);
        // "Forced only" with the French sound: the disc forces no French subtitles.
        window.Tracks().OnSubtitleChosen(2);
        QVERIFY(!window.Tracks().SubtitlesOn());
        QVERIFY(window.Work().Tasks().Task({0, -1})->forcedOnly);
        // A click on another title refills both lists from its streams, with its own choice.
        window.Tracks().OnListClicked(window.TitleList()->Root()->child(1));
        QCOMPARE(window.Tracks().SelectedAudioStreamId(), 0xBD80);
        QCOMPARE(window.Tracks().Subtitles()->currentText(), QStringLiteral("Forced only"));
        QVERIFY(!window.Tracks().SubtitlesOn());
    }

    void PreviousAndNextWalkTheTitles()
    {
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* root = list->Root();
        window.Preview().OnPrevious(); // nothing before the first
        QCOMPARE(list->currentItem(), root->child(0));
        window.Preview().OnNext();
        QCOMPARE(list->currentItem(), root->child(1));
        window.Preview().OnNext(); // nothing after the last
        QCOMPARE(list->currentItem(), root->child(1));
        window.Preview().OnPrevious();
        QCOMPARE(list->currentItem(), root->child(0));
    }

    void CommandsCheckTheSelection()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.OpenEditor(0);
        QCOMPARE(messages.messages, QStringList{"Please select one first"});
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.TitleList()->setCurrentItem(window.TitleList()->Root());
        messages.messages.clear();
        window.OpenEditor(1);
        window.OpenEditor(2);
        QCOMPARE(messages.messages, (QStringList{"GetItemData error", "GetItemData error"}));
        window.OnClearAll();
        messages.messages.clear();
        window.OpenEditor(0);
        QCOMPARE(messages.messages, QStringList{"Please select one first"});
        QCOMPARE(window.Tracks().AudioTracks()->count(), 0);
    }

    void StartChecksTheOutputFolder()
    {
        CollectMessages messages;
        QTemporaryDir folder;
        const QString file = folder.filePath("not-a-folder");
        QFile(file).open(QIODevice::WriteOnly);
        CZuZideroDlg window;
        const QString stored = window.Prefs().outFolder;
        window.Output().OutputBox()->setText(file);
        window.OnStart(false);
        QCOMPARE(messages.messages, QStringList{"Invalid output directory\n" + file + " cannot be made."});
        QCOMPARE(window.Prefs().outFolder, stored);
        QVERIFY(!window.Progress());
        // A folder that is there but takes no files is refused before the run, with its reason.
        messages.messages.clear();
        window.Output().OutputBox()->setText(QStringLiteral("/proc"));
        window.OnStart(false);
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY2(messages.messages[0].startsWith("Invalid output directory\n/proc cannot be written to ("), qPrintable(messages.messages[0]));
        QVERIFY(!window.Progress());
        // With no title ticked nothing opens, and the window says why.
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.TitleList()->CheckAll(false);
        window.Output().OutputBox()->setText(folder.path());
        messages.messages.clear();
        window.OnStart(false);
        QCOMPARE(messages.messages, QStringList{"No title is ticked: tick the titles to convert."});
        QVERIFY(!window.Progress());
        window.OnClearAll();
        // With an empty list a valid folder is stored and nothing opens.
        window.Output().OutputBox()->setText(folder.path());
        window.OnStart(false);
        QCOMPARE(window.Prefs().outFolder, folder.path());
        QCOMPARE(Preferences::Load(window.ProductTitle()).outFolder, folder.path());
        QVERIFY(!window.Progress());
    }

    void TheKeyboardWorksTheWindow()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* second = list->Root()->child(1);
        list->setFocus();
        list->setCurrentItem(second);
        // Space unticks and ticks the selected title, Delete unticks it (and stays so).
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->StateOf(second), int(CColumnTreeCtrl::kUnchecked));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->StateOf(second), int(CColumnTreeCtrl::kChecked));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->StateOf(second), int(CColumnTreeCtrl::kUnchecked));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->StateOf(second), int(CColumnTreeCtrl::kUnchecked));
        QCOMPARE(list->StateOf(list->Root()), int(CColumnTreeCtrl::kPartlyChecked));
        // Enter plays it.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(window.Preview().PlayingTitle(), list->TaskOf(second)->titleIndex);
        window.Preview().OnStop();

        // A ticked selected row shows its tick: the light mark stands out of the highlight and
        // differs from an unticked one's.
        const QImage ticked = list->StatePicture(CColumnTreeCtrl::kChecked, true).toImage();
        const QImage unticked = list->StatePicture(CColumnTreeCtrl::kUnchecked, true).toImage();
        QVERIFY(ticked != unticked);
        int standing = 0;
        for (int y = 0; y < ticked.height(); ++y)
            for (int x = 0; x < ticked.width(); ++x)
                if (QColor c = ticked.pixelColor(x, y); c.alpha() > 200 && skin::ContrastRatio(c, skin::kSelection) >= 3) ++standing;
        QVERIFY2(standing >= 60, qPrintable(QString::number(standing)));
        const QIcon icon = list->Root()->child(0)->icon(0);
        QVERIFY(icon.pixmap(16, 16, QIcon::Selected).toImage() != icon.pixmap(16, 16, QIcon::Normal).toImage());

        // Ctrl+O asks for a disc folder, F1 opens the help in the program's own window.
        QStringList asked;
        window.Sources().SetFileChooser([&](const CSourceChooser::FileQuestion& q) {
            asked << q.title;
            return QString();
        });
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked.size(), 1);
        // Both menus show the key.
        int showing = 0;
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text().startsWith(QStringLiteral("Load DVD or Blu-ray &Folder...")))
                showing += action->shortcut() == QKeySequence(QKeySequence::Open) || action->text().endsWith(QStringLiteral("\tCtrl+O"));
        QCOMPARE(showing, 2);
        QVERIFY2(asked[0].contains("Blu-ray"), qPrintable(asked[0]));
        messages.messages.clear();
        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(messages.messages.isEmpty());
        QVERIFY(window.findChild<CHelpDlg*>() && window.findChild<CHelpDlg*>()->isVisible());
        window.findChild<CHelpDlg*>()->close();

        // Enter in the output box does not swallow the next click on Start.
        QTemporaryDir folder;
        window.OnClearAll();
        window.Output().OutputBox()->setFocus();
        window.Output().OutputBox()->setText(folder.path());
        QTest::keyClick(window.Output().OutputBox(), Qt::Key_Return);
        // Enter pressed no button: the format pane did not open to catch the next click.
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!window.Profiles().Selector()->Pane()->isVisible());
        CMyButton* start = nullptr;
        for (CMyButton* b : window.findChildren<CMyButton*>())
            if (b->text() == QStringLiteral("Start")) start = b;
        QVERIFY(start);
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(window.Prefs().outFolder, folder.path()); // Start ran (an empty list stops after the folder)
    }

    void TheWindowGrowsAndThePreviewGoesFullScreen()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(820, 540));
        const QRect list = window.TitleList()->geometry(), video = window.Preview().VideoPlaceholder()->geometry();
        CMyButton *start = nullptr, *close = nullptr, *trim = nullptr;
        for (CMyButton* b : window.findChildren<CMyButton*>()) {
            if (b->text() == QStringLiteral("Start")) start = b;
            if (b->text() == QStringLiteral("Close")) close = b;
            if (b->text() == QStringLiteral("Trim")) trim = b;
        }
        QVERIFY(start && close && trim);
        const QPoint startAt = start->pos(), closeAt = close->pos(), trimAt = trim->pos();
        window.resize(1280, 800);
        QCOMPARE(window.size(), QSize(1280, 800));
        QCOMPARE(window.Background().size(), QSize(1280, 800));
        // The list and the preview share the growth; what is right and below moves with it.
        QCOMPARE(window.TitleList()->width() + window.Preview().VideoPlaceholder()->width(), list.width() + video.width() + 460);
        QVERIFY(std::abs(window.TitleList()->width() - list.width() - 230) <= 1);
        QCOMPARE(window.TitleList()->height(), list.height() + 260);
        QCOMPARE(window.Preview().VideoPlaceholder()->height(), video.height() + 260);
        QCOMPARE(window.Preview().VideoWindow()->geometry(), window.Preview().VideoPlaceholder()->geometry());
        QCOMPARE(start->pos(), startAt + QPoint(460, 260));
        QCOMPARE(close->pos(), closeAt + QPoint(460, 0));
        QCOMPARE(trim->pos(), trimAt); // the tool buttons keep together
        QVERIFY(!window.TitleList()->geometry().intersects(window.Preview().VideoPlaceholder()->geometry()));
        for (QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!w->isWindow() && w->isVisibleTo(&window)) QVERIFY2(window.rect().contains(w->geometry()), qPrintable(w->objectName() + w->metaObject()->className()));
        // Never below the picture's size.
        window.resize(600, 400);
        QCOMPARE(window.size(), QSize(820, 540));
        QCOMPARE(start->pos(), startAt);

        // The preview full screen on a double click, and back with Esc.
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Preview().OnPlay();
        CVideoWindow* picture = window.Preview().VideoWindow();
        QVERIFY(picture->isVisible());
        // The time beside the slider, at the picture's right edge.
        QLabel* time = window.Preview().TimeText();
        QTRY_VERIFY(time->text().endsWith(QStringLiteral(" / 00:00:08")));
        QVERIFY(time->text().startsWith(QStringLiteral("00:00:0")));
        QCOMPARE(time->geometry().right(), window.Preview().VideoPlaceholder()->geometry().right());
        QVERIFY(!time->geometry().intersects(window.Preview().Slider()->geometry()));
        QTest::mouseDClick(picture, Qt::LeftButton);
        QVERIFY(window.Preview().FullScreen());
        QVERIFY(picture->isWindow() && (picture->windowState() & Qt::WindowFullScreen));
        QTest::keyClick(picture, Qt::Key_Escape);
        QVERIFY(!window.Preview().FullScreen());
        QCOMPARE(picture->parentWidget(), &window);
        QCOMPARE(picture->geometry(), window.Preview().VideoPlaceholder()->geometry());
        QVERIFY(picture->isVisible());
        // Stopping while full screen brings it back too.
        QTest::mouseDClick(picture, Qt::LeftButton);
        QVERIFY(window.Preview().FullScreen());
        window.Preview().OnStop();
        QVERIFY(!window.Preview().FullScreen());
        QVERIFY(messages.messages.isEmpty());
    }

    // The room a larger window gains goes to the list and the picture; the boxes keep the width
    // their lines need, and the profile box shows a long name whole where there is room.
    void TheBoxesKeepTheirNaturalWidthsInALargeWindow()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        QComboBox *audio = window.Tracks().AudioTracks(), *subtitles = window.Tracks().Subtitles();
        QLabel* label = nullptr;
        for (QLabel* l : window.findChildren<QLabel*>())
            if (l->text() == QStringLiteral("SubTitle:")) label = l;
        QVERIFY(label);
        const QRect audioAt = audio->geometry(), subtitlesAt = subtitles->geometry();
        QCOMPARE(audioAt.width(), 162); // the width the picture draws, which its lines fit
        const int fromList = audioAt.x() - window.TitleList()->x();
        QCOMPARE(label->x(), audioAt.right() + 1 + 6);
        window.resize(1280, 800);
        // Not stretched across the line: as wide as at the picture's size, or as its longest line needs.
        QCOMPARE(audio->x() - window.TitleList()->x(), fromList); // it moves with the list
        QCOMPARE(audio->width(), audioAt.width()); // its lines fit the picture's width
        QCOMPARE(label->x(), audio->geometry().right() + 1 + 6);
        QCOMPARE(subtitles->x(), label->x() + 62);
        // Its longest line, "German (forced)", shows whole now; the box does not stretch further.
        QVERIFY(subtitles->width() >= subtitlesAt.width());
        QVERIFY(subtitles->width() >= subtitles->fontMetrics().horizontalAdvance(QStringLiteral("German (forced)")) + 30);
        QVERIFY(subtitles->width() < 250);
        QVERIFY(subtitles->geometry().right() <= window.width() - 35);
        // A long profile name shows whole.
        BeautyCombobox* selector = window.Profiles().Selector();
        selector->ShowText(QStringLiteral("H.264 MP4 — constant quality (modified)"));
        window.resize(1281, 800);
        QVERIFY2(selector->width() >= selector->sizeHint().width(), qPrintable(QString::number(selector->width())));
        QVERIFY(selector->geometry().right() < 674 + 461);
        // Back at the picture's size: the places the picture draws.
        window.resize(820, 540);
        QCOMPARE(audio->geometry(), audioAt);
        QCOMPARE(selector->width(), 236);
        QVERIFY(messages.messages.isEmpty());
    }

    // Under the player: what the selected title holds, in words; it follows the selection and
    // stays under the player as the window grows.
    void TheSelectedTitlesDetailsAreShownUnderThePlayer()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        const auto details = [&]() -> QLabel* {
            for (QLabel* l : window.findChildren<QLabel*>())
                if (l->text().startsWith(QStringLiteral("Title "))) return l;
            return nullptr;
        };
        QVERIFY(details());
        QCOMPARE(details()->text(), QStringLiteral("Title 1: 00:00:08, 4 chapters\nPicture: 720 × 480, 4:3, 29.97 frames/s\n"
                                                   "Sound: English(AC3 2ch), French(MP2 2ch)\nSubtitles: English, German"));
        window.TitleList()->setCurrentItem(window.TitleList()->Root()->child(1));
        QVERIFY(details()->text().startsWith(QStringLiteral("Title 2: 00:00:04")));
        window.resize(1280, 800);
        const QRect under = details()->geometry(), player = window.Preview().PlayButton()->geometry();
        QVERIFY(under.top() > player.bottom());
        QVERIFY(window.rect().contains(under));
        QVERIFY(!under.intersects(window.Output().OutputBox()->geometry()));
        QVERIFY(messages.messages.isEmpty());
    }

    void EveryPictureButtonSaysWhatItDoes()
    {
        // The main window's and the editor's buttons are pictures: each has a tooltip.
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.OpenEditor(0, false);
        QVERIFY(window.Editor());
        QStringList silent;
        for (QWidget* owner : {static_cast<QWidget*>(&window), static_cast<QWidget*>(window.Editor())})
            for (CMyButton* b : owner->findChildren<CMyButton*>())
                if (b->window() == owner && b->toolTip().trimmed().isEmpty()) silent << b->text();
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join(", ")));
        // Buttons whose pictures show their names say more than the name.
        const QStringList named{"Add File", "Effect", "Crop", "Trim", "Preferences", "File", "Edit", "Clip", "Option", "Help",
                                "Start", "Settings", "Browse..", "Open Folder", "OK", "Cancel", "Reset"};
        QStringList repeated;
        for (QWidget* owner : {static_cast<QWidget*>(&window), static_cast<QWidget*>(window.Editor())})
            for (CMyButton* b : owner->findChildren<CMyButton*>())
                if (b->window() == owner && named.contains(b->text()) && b->toolTip() == b->text()) repeated << b->text();
        QVERIFY2(repeated.isEmpty(), qPrintable(repeated.join(", ")));
        window.Editor()->reject();
    }

    void LoadersSayWhatTheyLoadAndRememberTheFolder()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        QStringList menu;
        for (QMenu* m : window.findChildren<QMenu*>())
            for (QAction* a : m->actions()) menu << a->text().remove('&').section('\t', 0, 0); // without a shown key
        for (const char* loader : {"Load DVD", "Load DVD or Blu-ray Folder...", "Load ISO Image...", "Load Video File..."})
            QCOMPARE(menu.count(QString::fromLatin1(loader)), 2); // in Add File and in File
        // Each dialog says what it loads and opens where the last one ended.
        QList<CSourceChooser::FileQuestion> asked;
        QString answer = DiscPath("bluray");
        window.Sources().SetFileChooser([&](const CSourceChooser::FileQuestion& q) {
            asked << q;
            return answer;
        });
        window.Sources().OnLoadFolder();
        QVERIFY(WaitForLoad(window));
        QCOMPARE(window.TitleList()->Root()->text(0).isEmpty(), false);
        answer = DiscPath("media") + "/clip.mpg";
        window.Sources().OnLoadVideoFile();
        QVERIFY(WaitForLoad(window));
        answer = DiscPath("pal_16x9.iso");
        window.Sources().OnLoadIso();
        QVERIFY(WaitForLoad(window));
        QCOMPARE(asked.size(), 3);
        QVERIFY(asked[0].filter.isEmpty() && asked[0].title.contains("DVD or Blu-ray folder"));
        QVERIFY(asked[1].filter.contains("*.m2ts") && asked[1].title.contains("video file"));
        QVERIFY(asked[2].filter.contains("*.iso") && asked[2].title.contains("disc image"));
        const QString discs = QFileInfo(DiscPath("bluray")).dir().absolutePath();
        QCOMPARE(asked[1].startFolder, discs);
        QCOMPARE(asked[2].startFolder, QFileInfo(DiscPath("media") + "/clip.mpg").dir().absolutePath());
        QCOMPARE(Preferences::Load(window.ProductTitle()).lastFolder, discs);
        // The first start's panel names what loads.
        QVERIFY(window.GettingStarted()->toolTip().contains("Blu-ray"));
    }

    void MountedDiscsAreOfferedBesideTheDrives()
    {
        const QString mounts = "/dev/sda1 / ext4 rw 0 0\n"
                               "/dev/sr0 /media/me/MY\\040MOVIE udf ro,nosuid 0 0\n"
                               "/dev/loop3 /mnt/image iso9660 ro 0 0\n"
                               "tmpfs /run tmpfs rw 0 0\n";
        QStringList folders;
        for (const OpticalMount& mount : OpticalMountsOf(mounts)) folders << mount.folder;
        QCOMPARE(folders, (QStringList{"/media/me/MY MOVIE", "/mnt/image"}));
        QVERIFY(OpticalMountsOf("").isEmpty());
    }

    void DrivesFollowDiscsPutInAndEjected()
    {
        // Two drives as the kernel shows them: sr0 holds a disc, sr1 is empty. Their devices are
        // links to test discs, so that loading one reads a real disc.
        QTemporaryDir root;
        QDir dir(root.path());
        auto write = [&](const QString& path, const QByteArray& text) {
            dir.mkpath(QFileInfo(dir.filePath(path)).path());
            QFile file(dir.filePath(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        };
        write("sys/block/sr0/size", "8388608\n");
        write("sys/block/sr0/device/vendor", "HL-DT-ST\n");
        write("sys/block/sr0/device/model", "DVDRAM GH24NSD1 \n");
        write("sys/block/sr1/size", "0\n");
        write("cdrom_info", "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\ndrive name:\t\tsr1\tsr0\n");
        write("mounts", "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/me/USB\\040DISC iso9660 ro 0 0\n");
        dir.mkpath("dev");
        QVERIFY(QFile::link(DiscPath("ntsc_4x3"), dir.filePath("dev/sr0")));
        const COpticalDrives::Places places{dir.filePath("sys/block"), dir.filePath("cdrom_info"), dir.filePath("mounts"),
                                            dir.filePath("dev")};

        CollectMessages messages;
        CZuZideroDlg window;
        auto* drives = new COpticalDrives(places, nullptr);
        window.Sources().UseDrives(drives);
        auto entry = [&](const QString& name) -> QAction* {
            for (QMenu* menu : window.findChildren<QMenu*>())
                for (QAction* action : menu->actions())
                    if (action->data().toString() == dir.filePath("dev/" + name)) return action;
            return nullptr;
        };
        QAction* first = entry("sr0");
        QAction* second = entry("sr1");
        QVERIFY(first && second);
        QCOMPARE(first->text(), QStringLiteral("sr0: HL-DT-ST DVDRAM GH24NSD1"));
        QVERIFY(first->isEnabled());
        QCOMPARE(second->text(), QStringLiteral("sr1 (no disc)"));
        QVERIFY(!second->isEnabled());
        // A disc mounted from elsewhere is offered beside the drives.
        QCOMPARE(drives->OtherMountedDiscs(), QStringList{"/media/me/USB DISC"});

        // A disc goes into sr1 while the window is open: the menu follows.
        QVERIFY(QFile::link(DiscPath("pal_16x9"), dir.filePath("dev/sr1")));
        write("sys/block/sr1/size", "4194304\n");
        QSignalSpy changed(drives, &COpticalDrives::changed);
        drives->Refresh();
        QCOMPARE(changed.count(), 1);
        drives->Refresh();
        QCOMPARE(changed.count(), 1); // nothing new
        second = entry("sr1");
        QVERIFY(second && second->isEnabled());
        QCOMPARE(second->text(), QStringLiteral("sr1"));
        // The menus' entries are found again after each load (the drive entries are remade as
        // the drives change).
        auto ejectEntry = [&]() -> QAction* {
            for (QMenu* menu : window.findChildren<QMenu*>())
                for (QAction* action : menu->actions())
                    if (action->text().remove('&') == "Eject") return action;
            return nullptr;
        };
        QAction* eject = ejectEntry();
        QVERIFY(eject && !eject->isEnabled());
        second->trigger();
        QVERIFY(WaitForLoad(window));
        QCOMPARE(QString::fromStdString(window.Work().LoadedPath()), dir.filePath("dev/sr1"));
        QVERIFY(window.TitleList()->Root() && window.TitleList()->Root()->childCount() > 0);
        eject = ejectEntry();
        QVERIFY(eject && eject->isEnabled());

        // Eject lets go of the disc and opens that drive's tray.
        QStringList ejected;
        bool discOpen = true;
        drives->SetEjector([&](const QString& device, QString*) {
            ejected << device;
            discOpen = window.Work().Disc() != nullptr; // the disc must be closed first
            return true;
        });
        // The tray opens off the window's thread: the window is told when it has.
        QVERIFY(WaitForEnd(&window, &CZuZideroDlg::ejectEnded, [&] { eject->trigger(); }));
        QCOMPARE(ejected, QStringList{dir.filePath("dev/sr1")});
        QVERIFY(!discOpen);
        QVERIFY(!window.TitleList()->Root());
        QVERIFY(QString::fromStdString(window.Work().LoadedPath()).isEmpty());
        QVERIFY(!eject->isEnabled());
        QVERIFY(messages.messages.isEmpty());
        // A tray that stays shut says why.
        first = entry("sr0");
        QVERIFY(first);
        first->trigger();
        QVERIFY(WaitForLoad(window));
        eject = ejectEntry();
        QVERIFY(eject);
        drives->SetEjector([](const QString&, QString* why) {
            *why = QStringLiteral("Device or resource busy");
            return false;
        });
        const QString loaded = QString::fromStdString(window.Work().LoadedPath());
        const int titles = window.TitleList()->Root() ? window.TitleList()->Root()->childCount() : 0;
        QVERIFY(titles > 0);
        QVERIFY(!WaitForEnd(&window, &CZuZideroDlg::ejectEnded, [&] { eject->trigger(); }));
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages.front().contains("could not be ejected") &&
                messages.messages.front().contains("Device or resource busy"));
        // ... and the disc, still in the drive, is read again and keeps its list.
        QVERIFY(WaitForLoad(window));
        QVERIFY(window.Work().Disc() != nullptr);
        QCOMPARE(QString::fromStdString(window.Work().LoadedPath()), loaded);
        QVERIFY(window.TitleList()->Root() && window.TitleList()->Root()->childCount() == titles);
        eject = ejectEntry();
        QVERIFY(eject && eject->isEnabled());
    }

    void TheProfileBoxNamesAChangedOrSavedProfileAndMyProfilesListsIt()
    {
        QFile::remove(UserProfiles::FilePath());
        CollectMessages messages;
        CZuZideroDlg window;
        window.Profiles().OnFormatCommand(32806);
        window.Profiles().Selector()->Select(1, 32806);
        // Settings → a smaller picture → OK: the box says the profile is changed.
        QTimer::singleShot(0, [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            settings->Resolution()->setCurrentIndex(settings->Resolution()->findText("320*240"));
            QVERIFY(settings->OnOk());
        });
        window.Profiles().OnSettings();
        QCOMPARE(window.Profiles().CurrentProfile().writer.Width, 320);
        QCOMPARE(window.Profiles().Selector()->ButtonText(), QString::fromStdString(window.Profiles().CurrentProfile().ProfileName) + " (modified)");
        // Settings → Save as "Small H.264" → OK: the box names it, and My Profiles lists it.
        QTimer::singleShot(0, [] {
            auto* settings = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            QVERIFY(settings);
            QVERIFY(settings->SaveAs("Small H.264") >= UserProfiles::kFirstIndex);
            QVERIFY(settings->OnOk());
        });
        window.Profiles().OnSettings();
        QVERIFY(UserProfiles::IsUserIndex(window.Profiles().CurrentProfile().index));
        QCOMPARE(window.Profiles().Selector()->ButtonText(), QStringLiteral("Small H.264"));
        QCOMPARE(window.Profiles().Selector()->GetChoice().first, 18);
        CStartPane* pane = window.Profiles().Selector()->Pane();
        pane->ShowCategory(18);
        QCOMPARE(pane->ShownCommands().size(), std::size_t(1));
        // Chosen there later, it is the profile in use.
        window.Profiles().OnFormatCommand(32801);
        QCOMPARE(window.Profiles().CurrentProfile().index, 0);
        window.Profiles().Selector()->OpenPane();
        pane->ShowCategory(18);
        QTest::mouseClick(pane, Qt::LeftButton, {}, pane->FormatRect(pane->ShownCommands()[0]).center());
        QCOMPARE(window.Profiles().CurrentProfile().ProfileName, std::string("Small H.264"));
        QCOMPARE(window.Profiles().CurrentProfile().writer.Width, 320);
        QCOMPARE(window.Profiles().Selector()->ButtonText(), QStringLiteral("Small H.264"));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        QFile::remove(UserProfiles::FilePath());
    }

    // The disc is read off the window's thread: held at a gate, the load leaves the window free
    // to handle what is posted to it and a Cancel; once let go, the cancelled load lists nothing.
    void ALoadHeldAtTheGateCanBeCancelled()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        testing_filters::Gate gate;
        Workspace::Steps steps = Workspace::DiscSteps();
        const Workspace::Steps disc = steps;
        steps.open = [&gate, disc](const std::string& path, std::string* why) {
            gate.Pass();
            return disc.open(path, why);
        };
        window.UseWorkspaceSteps(steps);
        const testing_filters::OpenAtEnd openGate(gate);
        window.LoadDisc(DiscPath("ntsc_4x3"));
        gate.WaitReached();
        QVERIFY(window.Loading());
        QVERIFY(!window.BusyBar()->isHidden());
        QVERIFY(window.BusyBar()->Text().contains("ntsc_4x3"));
        bool handled = false;
        QMetaObject::invokeMethod(&window, [&] { handled = true; }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QVERIFY(handled);
        QVERIFY(!WaitForEnd(&window, &CZuZideroDlg::loadEnded, [&] {
            QTest::mouseClick(window.BusyBar()->CancelButton(), Qt::LeftButton);
            gate.Open();
        }));
        QVERIFY(!window.Loading());
        QVERIFY(window.BusyBar()->isHidden());
        QVERIFY(window.Work().Disc() == nullptr);
        QVERIFY(!window.TitleList()->Root());
        QVERIFY(messages.messages.isEmpty());
        // Esc cancels a load too; the disc listed before stays.
        QVERIFY(LoadAndWait(window, DiscPath("pal_16x9")));
        const std::shared_ptr<SourceDisc> pal = window.Work().Disc();
        QVERIFY(!WaitForEnd(&window, &CZuZideroDlg::loadEnded, [&] {
            window.LoadDisc(DiscPath("ntsc_4x3"));
            QTest::keyClick(&window, Qt::Key_Escape);
        }));
        QCOMPARE(window.Work().Disc(), pal);
        QCOMPARE(QString::fromStdString(window.Work().LoadedPath()), DiscPath("pal_16x9"));
        QVERIFY(messages.messages.isEmpty());
    }

    void ADiscNamedOnTheCommandLineIsOpenedAtStart()
    {
        QCOMPARE(CZuZideroApp::DiscArgument({"zuzidero", "/media/disc"}), QStringLiteral("/media/disc"));
        QCOMPARE(CZuZideroApp::DiscArgument({"zuzidero", "--verbose", "/media/disc"}), QStringLiteral("/media/disc"));
        QVERIFY(CZuZideroApp::DiscArgument({"zuzidero"}).isEmpty());
        QVERIFY(CZuZideroApp::DiscArgument({"zuzidero", "-x"}).isEmpty());
        CollectMessages messages;
        CZuZideroDlg window;
        window.OpenAtStart(DiscPath("ntsc_4x3"));
        QTRY_VERIFY(window.Work().Disc() != nullptr);
        QCOMPARE(window.TitleList()->Root()->childCount(), 2);
        QVERIFY(messages.messages.isEmpty());
    }

    void OpeningAFolderThatIsNotThereSaysSo()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.Output().OutputBox()->setText(QStringLiteral("/nonexistent/videos"));
        window.Output().OnOpenFolder();
        QCOMPARE(messages.messages, QStringList{"Could not open /nonexistent/videos\nIt does not exist."});
    }

    void TheFormatChoiceIsKeptInSettingIni()
    {
        {
            CZuZideroDlg window;
            QVERIFY(window.Profiles().Selector()->Select(14, 32871));
            window.Profiles().OnFormatCommand(32871);
        }
        QCOMPARE(LoadSelectorChoice(), std::make_pair(14, 32871));
        CZuZideroDlg again;
        QCOMPARE(again.Profiles().CurrentProfile().index, 89);
        QCOMPARE(again.Profiles().Selector()->GetChoice(), std::make_pair(14, 32871));
        // A command outside the table is a choice that is no more: the first start's Modern H.264 MP4.
        QFile::remove(SettingIniPath());
        SaveSelectorChoice(1, 40000);
        CZuZideroDlg unknown;
        QCOMPARE(unknown.Profiles().CurrentProfile().index, 109);
        QCOMPARE(unknown.Profiles().Selector()->GetChoice(), std::make_pair(20, 32930));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

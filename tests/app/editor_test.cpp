// The crop, trim and effect editor: its pages' corrections, the tracker, reset, Cancel, the
// right pane's framing, a PAL title's frame, and the main window's hand-over of the settings.

#include <QComboBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "app/column_tree_ctrl.h"
#include "app/crop_dlg.h"
#include "app/my_button.h"
#include "app/my_select_ctrl.h"
#include "app/my_slider_ctrl.h"
#include "app/video_renderer.h"
#include "app/zuzidero_dlg.h"
#include "app_test_support.h"
#include "support/gate.h"
#include "convert/video_conversion_filter.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlack = 3;
#else
constexpr int kSlack = 1;
#endif

WriterSettings Output(int width, int height)
{
    WriterSettings output{};
    output.Width = width;
    output.Height = height;
    return output;
}

// A task of a test disc's title as the title list makes it.
struct TitleTask {
    TitleTask(const char* disc, int title)
    {
        owned = SourceDisc::Open(DiscPath(disc).toStdString());
        task = MakeTitleTask(title, owned->Info().titles[title], owned->VideoOf(title));
    }
    std::shared_ptr<SourceDisc> owned;
    ConversionTask task;
};

// Waits until the right pane has shown pictures.
bool RightPanePlays(CCropDlg& editor)
{
    return QTest::qWaitFor(
        [&] {
            CVideoRenderer* renderer = editor.RightPane()->Renderer();
            return renderer && renderer->Pictures() > 3;
        },
        8000 * kSlack);
}

// Sets a spin box as typing a value and leaving the box does.
void Type(QSpinBox* box, int value)
{
    box->setValue(value);
    QCoreApplication::processEvents();
}

} // namespace

class EditorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterFilters(); }

    void TypedTrimTimesAreCorrected()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        title.task.sourceLength = 90 * 60 * 1000; // as if the title ran for 01:30:00
        title.task.clip.trimLength = title.task.sourceLength;
        CCropDlg editor(title.owned, title.task, CCropDlg::kTrim, Output(640, 480));
        // An end past the title's end is its end.
        editor.EndEdit()->setText(QStringLiteral("02:00:00"));
        editor.OnApplyEnd();
        QCOMPARE(editor.EndEdit()->text(), QStringLiteral("01:30:00"));
        QCOMPARE(editor.Working().trimStart + editor.Working().trimLength, std::int64_t{90 * 60 * 1000});
        // A start after the end goes a second before it.
        editor.EndEdit()->setText(QStringLiteral("00:10:00"));
        editor.OnApplyEnd();
        editor.StartEdit()->setText(QStringLiteral("00:20:00"));
        editor.OnApplyStart();
        QCOMPARE(editor.Working().trimStart, std::int64_t{(10 * 60 - 1) * 1000});
        QCOMPARE(editor.Working().trimLength, std::int64_t{1000});
        QCOMPARE(editor.LengthBox()->text(), QStringLiteral("00:00:01"));
        // Milliseconds are taken and shown; an end before the start is a second after it.
        editor.StartEdit()->setText(QStringLiteral("00:01:02.250"));
        editor.OnApplyStart();
        QCOMPARE(editor.Working().trimStart, std::int64_t{62250});
        QCOMPARE(editor.StartEdit()->text(), QStringLiteral("00:01:02.250"));
        editor.EndEdit()->setText(QStringLiteral("00:00:30"));
        editor.OnApplyEnd();
        QCOMPARE(editor.Working().trimLength, std::int64_t{1000});
        // Text that is no time leaves the trim as it was.
        editor.StartEdit()->setText(QStringLiteral("soon"));
        editor.OnApplyStart();
        QCOMPARE(editor.Working().trimStart, std::int64_t{62250});
        // The range selector: handles at a quarter and a half.
        editor.OnRangeMoved(250, 500);
        QCOMPARE(editor.Working().trimStart, std::int64_t{90 * 60 * 1000 / 4});
        QCOMPARE(editor.Working().trimLength, std::int64_t{90 * 60 * 1000 / 4});
        editor.reject();
    }

    void CropEditsStayOnTheirSideAndTheTrackerKeepsItsMinimum()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        editor.show();
        QCOMPARE(editor.SourceFrame(), QSize(720, 480));
        // The boxes are margins: 320 cut from the right keeps up to column 400.
        QCOMPARE(editor.CropEdit(2)->value(), 0);
        QCOMPARE(editor.CropEdit(3)->value(), 0);
        Type(editor.CropEdit(2), 320);
        QCOMPARE(editor.Working().picture.cropRight, 400);
        Type(editor.CropEdit(0), 500);
        QCOMPARE(editor.Working().picture.cropLeft, 399);
        QCOMPARE(editor.CropEdit(0)->value(), 399);
        Type(editor.CropEdit(3), 480);
        QCOMPARE(editor.Working().picture.cropBottom, 1); // past Top (0): one row kept
        QCOMPARE(editor.CropEdit(3)->value(), 479);
        Type(editor.CropEdit(3), 0);
        Type(editor.CropEdit(0), 0);
        Type(editor.CropEdit(2), 0);
        QCOMPARE(editor.Working().picture.cropRight, 720);

        // The tracker covers the picture; its right edge dragged to within 10 pixels of its left
        // edge stops 32 pixels right of it.
        CropTracker& tracker = editor.Tracker();
        const CropTracker::Box box = tracker.Rect();
        QCOMPARE(box, tracker.Bounds());
        QVERIFY(box.Width() > 100);
        QWidget* pane = editor.LeftPane();
        const QPoint grip(box.right - 1, (box.top + box.bottom) / 2);
        QCOMPARE(tracker.HitTest(grip), 4);
        QTest::mousePress(pane, Qt::LeftButton, {}, grip);
        QMouseEvent move(QEvent::MouseMove, QPointF(box.left + 10, grip.y()), pane->mapToGlobal(QPointF(box.left + 10, grip.y())),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(pane, &move);
        QTest::mouseRelease(pane, Qt::LeftButton, {}, QPoint(box.left + 10, grip.y()));
        QCOMPARE(tracker.Rect().right, box.left + CropTracker::kMinimum);
        QCOMPARE(tracker.Rect().left, box.left);
        // The crop followed: 32 pane pixels of the frame's 720.
        const int expected = static_cast<int>(32.0 * 720 / box.Width() + 0.5);
        QCOMPARE(editor.Working().picture.cropRight, expected);
        QCOMPARE(editor.CropEdit(2)->value(), 720 - expected);
        // Moving the whole rectangle stops at the bounds, its size kept.
        QVERIFY(tracker.Begin(QPoint(box.left + 16, grip.y())));
        tracker.Move(QPoint(box.left - 500, grip.y() - 1000));
        tracker.End();
        QCOMPARE(tracker.Rect().left, box.left);
        QCOMPARE(tracker.Rect().top, box.top);
        QCOMPARE(tracker.Rect().Width(), CropTracker::kMinimum);
        QCOMPARE(tracker.CursorFor(9), Qt::SizeAllCursor);
        QCOMPARE(tracker.CursorFor(1), Qt::SizeFDiagCursor);
        QCOMPARE(tracker.CursorFor(3), Qt::SizeBDiagCursor);
        editor.reject();
    }

    void ResetOnTheCropPageAlsoResetsTheVolume()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        title.task.clip.picture.volume = 100;
        title.task.clip.picture.zoomMode = 2;
        title.task.clip.picture.cropLeft = 40;
        title.task.clip.picture.brightness = 200;
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        QCOMPARE(editor.ZoomList()->currentIndex(), 2);
        editor.OnReset();
        const PictureSettings& p = editor.Working().picture;
        QCOMPARE(p.zoomMode, 0);
        QCOMPARE(editor.ZoomList()->currentText(), QStringLiteral("Keep Original"));
        QCOMPARE((std::array{p.cropLeft, p.cropTop, p.cropRight, p.cropBottom}), (std::array{0, 0, 720, 480}));
        QCOMPARE(p.volume, 256);
        QCOMPARE(editor.VolumeSlider()->GetPos(), 256);
        QCOMPARE(p.brightness, 200); // another page's values stay
        editor.ShowPage(CCropDlg::kEffect);
        editor.OnReset();
        QCOMPARE(editor.Working().picture.brightness, 128);
        QCOMPARE(editor.BrightnessSlider()->GetPos(), 128);
        editor.reject();
    }

    void CancelAfterChangingEveryPageLeavesTheTaskAsItWas()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        const ClipSettings before = title.task.clip;
        {
            CCropDlg editor(title.owned, title.task, CCropDlg::kTrim, Output(640, 480));
            editor.StartEdit()->setText(QStringLiteral("00:00:02"));
            editor.OnApplyStart();
            editor.ShowPage(CCropDlg::kCrop);
            Type(editor.CropEdit(1), 50);
            editor.OnZoomChosen(1);
            editor.ShowPage(CCropDlg::kEffect);
            QTest::mouseClick(editor.SaturationSlider(), Qt::LeftButton, {}, QPoint(10, 5));
            QVERIFY(std::memcmp(&editor.Working(), &before, sizeof before) != 0);
            editor.reject();
        }
        QVERIFY(std::memcmp(&title.task.clip, &before, sizeof before) == 0);
        // OK writes the working copy.
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        Type(editor.CropEdit(1), 50);
        editor.accept();
        QCOMPARE(title.task.clip.picture.cropTop, 50);
    }

    void SixteenByNineIntoAFourByThreeOutputIsLetterboxed()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        editor.show();
        QVERIFY(RightPanePlays(editor));
        editor.OnZoomChosen(2);
        QCOMPARE(editor.Working().picture.zoomMode, 2);
        CVideoRenderer* right = editor.RightPane()->Renderer();
        const std::uint64_t shown = right->Pictures();
        QVERIFY(QTest::qWaitFor([&] { return right->Pictures() > shown + 3; }, 5000 * kSlack));
        // The output picture: 640 × 480 with a 16:9 picture inside, black above and below.
        const QImage picture = right->CurrentImage();
        QCOMPARE(picture.size(), QSize(640, 480));
        const int barHeight = (480 - 360) / 2;
        for (int y : {2, barHeight - 4, 480 - barHeight + 4, 477}) {
            const QColor c = picture.pixelColor(320, y);
            QVERIFY2(c.red() < 30 && c.green() < 30 && c.blue() < 30, qPrintable(QStringLiteral("row %1 is not black").arg(y)));
        }
        int lit = 0;
        for (int x = 0; x < 640; x += 8) lit += qGray(picture.pixel(x, 240)) > 40;
        QVERIFY(lit > 40);
        // Shown at the output's shape (4:3) in the pane.
        QCOMPARE(right->DisplayAspect(), QSize(4, 3));
        editor.reject();
    }

    void EffectsChangeAtOnceEvenWhilePaused()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kEffect, Output(640, 480));
        editor.show();
        QVERIFY(RightPanePlays(editor));
        editor.OnPause();
        // The renderers now hold the streaming threads.
        CVideoRenderer* right = editor.RightPane()->Renderer();
        QVERIFY(QTest::qWaitFor([&] { return right->StateWaiters() > 0; }, 60000));
        const std::uint64_t shown = right->Pictures();
        const QImage before = right->CurrentImage();
        // A slider moved while paused reaches the conversion without waiting for the stream.
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(editor.BrightnessSlider(), Qt::LeftButton, {}, QPoint(editor.BrightnessSlider()->width() - 2, 5));
        QTest::mouseClick(editor.VolumeSlider(), Qt::LeftButton, {}, QPoint(2, 5));
        QVERIFY2(clock.elapsed() < 500 * kSlack, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(editor.Working().picture.brightness > 240);
        QCOMPARE(editor.Preview().RightConversion()->Brightness(), editor.Working().picture.brightness);
        QVERIFY(editor.Working().picture.volume < 20);
        // And the Result pane shows the paused picture again, brighter.
        QVERIFY(QTest::qWaitFor([&] { return right->Pictures() > shown; }, 10000 * kSlack));
        const QImage after = right->CurrentImage();
        QVERIFY(!after.isNull() && after != before);
        // As it does for a crop edge typed while paused.
        const std::uint64_t cropped = right->Pictures();
        editor.ShowPage(CCropDlg::kCrop);
        Type(editor.CropEdit(0), 200);
        QVERIFY(QTest::qWaitFor([&] { return right->Pictures() > cropped; }, 10000 * kSlack));
        QVERIFY(right->CurrentImage() != after);
        editor.reject();
    }

    // The preview stops at the trim's end, and Play there plays the trim again from its start.
    void PlayStopsAtTheTrimsEnd()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0); // 8 s
        title.task.clip.trimStart = 1000;
        title.task.clip.trimLength = 2000;
        CCropDlg editor(title.owned, title.task, CCropDlg::kTrim, Output(640, 480));
        editor.show();
        QVERIFY(RightPanePlays(editor));
        // Paused by itself at 3 s, on the trim's last picture.
        QVERIFY(QTest::qWaitFor([&] { return !editor.PlayButton()->isHidden(); }, 60000));
        double position = 0;
        QVERIFY(editor.Preview().GetPosition(position));
        QVERIFY2(std::abs(position - 3.0) < 0.05, qPrintable(QString::number(position)));
        editor.OnPlay();
        QVERIFY(editor.Preview().GetPosition(position));
        QVERIFY2(position >= 1.0 && position < 2.5, qPrintable(QString::number(position)));
        QVERIFY(QTest::qWaitFor([&] { return !editor.PlayButton()->isHidden(); }, 60000));
        QVERIFY(editor.Preview().GetPosition(position));
        QVERIFY2(std::abs(position - 3.0) < 0.05, qPrintable(QString::number(position)));
        editor.reject();
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
    }

    // Only the page shown has its button pressed; the effects say their values.
    void ThePageButtonsAndTheEffectValuesSayWhereTheEditorStands()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        editor.show();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QVERIFY(editor.PageButton(CCropDlg::kCrop)->isChecked());
        // The keyboard starts on the page shown, not on the first page button.
        QVERIFY(!editor.PageButton(CCropDlg::kTrim)->hasFocus() && !editor.PageButton(CCropDlg::kEffect)->hasFocus());
        QVERIFY(!editor.PageButton(CCropDlg::kTrim)->isChecked());
        for (int page : {CCropDlg::kTrim, CCropDlg::kEffect, CCropDlg::kEffect, CCropDlg::kCrop}) {
            editor.PageButton(editor.CurrentPage())->setFocus(); // as Tab to it and Space would leave it
            editor.PageButton(page)->click();
            QCOMPARE(editor.CurrentPage(), page);
            for (int other : {CCropDlg::kTrim, CCropDlg::kCrop, CCropDlg::kEffect}) {
                QCOMPARE(editor.PageButton(other)->isChecked(), other == page);
                if (other != page) QVERIFY(!editor.PageButton(other)->hasFocus()); // no ring left behind
            }
        }
        editor.ShowPage(CCropDlg::kEffect);
        QCOMPARE(editor.EffectText(0)->text(), QStringLiteral("0"));
        QCOMPARE(editor.EffectText(1)->text(), QStringLiteral("0°"));
        QCOMPARE(editor.EffectText(2)->text(), QStringLiteral("100 %"));
        QCOMPARE(editor.EffectText(3)->text(), QStringLiteral("100 %"));
        for (int i = 0; i < 3; ++i) QVERIFY(editor.EffectText(i)->isVisible());
        QTest::mouseClick(editor.BrightnessSlider(), Qt::LeftButton, {}, QPoint(editor.BrightnessSlider()->width() - 2, 5));
        QCOMPARE(editor.EffectText(0)->text(), QStringLiteral("+%1").arg(editor.Working().picture.brightness - 128));
        QTest::mouseClick(editor.HueSlider(), Qt::LeftButton, {}, QPoint(2, 5));
        QVERIFY(editor.EffectText(1)->text().startsWith(QStringLiteral("−")));
        QTest::mouseClick(editor.VolumeSlider(), Qt::LeftButton, {}, QPoint(2, 5));
        QCOMPARE(editor.EffectText(3)->text(), QStringLiteral("%1 %").arg((editor.Working().picture.volume * 100 + 128) / 256));
        // Other pages hide the effects' values, not the volume's.
        editor.ShowPage(CCropDlg::kTrim);
        QVERIFY(!editor.EffectText(0)->isVisible());
        QVERIFY(editor.EffectText(3)->isVisible());
        editor.reject();
    }

    void MarksSetTheTrimAtThePlayPosition()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0); // 8 s
        CCropDlg editor(title.owned, title.task, CCropDlg::kTrim, Output(640, 480));
        editor.show();
        QVERIFY(RightPanePlays(editor));
        // Mark in while playing: the trim starts where the preview is.
        double position = 0;
        QVERIFY(QTest::qWaitFor([&] { return editor.Preview().GetPosition(position) && position >= 2.0; }, 60000));
        editor.OnPause();
        QVERIFY(editor.Preview().GetPosition(position));
        editor.MarkInButton()->click();
        const std::int64_t in = editor.Working().trimStart;
        QVERIFY2(std::llabs(in - std::llround(position * 1000)) <= 40, qPrintable(QString("%1 at %2").arg(in).arg(position)));
        QCOMPARE(editor.Working().trimStart + editor.Working().trimLength, title.task.sourceLength); // the end stays
        QCOMPARE(editor.Timeline()->GetSelection().first, static_cast<int>(in * 1000 / title.task.sourceLength));
        // Mark out, paused further on: the trim ends there and the texts say so.
        editor.OnPlay();
        QVERIFY(QTest::qWaitFor([&] { return editor.Preview().GetPosition(position) && position >= 4.0; }, 60000));
        editor.OnPause();
        QVERIFY(editor.Preview().GetPosition(position));
        editor.MarkOutButton()->click();
        const std::int64_t out = editor.Working().trimStart + editor.Working().trimLength;
        QVERIFY2(std::llabs(out - std::llround(position * 1000)) <= 40, qPrintable(QString("%1 at %2").arg(out).arg(position)));
        QCOMPARE(editor.Working().trimStart, in);
        QCOMPARE(editor.EndEdit()->text(), TrimTimeText(out));
        // Go to the selection: playback goes on from the mark in.
        editor.OnGoToSelection();
        editor.OnPlay();
        QVERIFY(QTest::qWaitFor([&] { return editor.Preview().GetPosition(position) && position >= in / 1000.0; }, 60000));
        QVERIFY2(position < in / 1000.0 + 1.0 + kSlack, qPrintable(QString::number(position)));
        editor.reject();
    }

    void DraggingTheStartHandleKeepsATypedEnd()
    {
        CollectMessages messages;
        TitleTask title("ntsc_4x3", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kTrim, Output(640, 480));
        editor.EndEdit()->setText(QStringLiteral("00:00:07.500"));
        editor.OnApplyEnd();
        QCOMPARE(editor.Working().trimStart + editor.Working().trimLength, std::int64_t{7500});
        // The start handle dragged to a quarter: the end keeps its 7.500.
        const auto [start, end] = editor.RangeSelector()->Positions();
        QCOMPARE(start, 0);
        editor.OnRangeMoved(250, end);
        QCOMPARE(editor.Working().trimStart + editor.Working().trimLength, std::int64_t{7500});
        QCOMPARE(editor.EndEdit()->text(), QStringLiteral("00:00:07.500"));
        // The end handle dragged: then the end follows it.
        editor.OnRangeMoved(250, 500);
        QCOMPARE(editor.Working().trimStart + editor.Working().trimLength, title.task.sourceLength / 2);
    }

    void APalTitlesCropReachesItsLastRow()
    {
        CollectMessages messages;
        TitleTask title("pal_16x9", 0);
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        editor.show();
        QCOMPARE(editor.SourceFrame(), QSize(720, 576));
        QCOMPARE(editor.CropEdit(3)->maximum(), 576);
        QCOMPARE(editor.Working().picture.cropBottom, 576);
        Type(editor.CropEdit(1), 500);
        QCOMPARE(editor.Working().picture.cropTop, 500);
        QVERIFY(RightPanePlays(editor));
        // The conversion of the right pane keeps rows 500 to 575.
        CMyVideoConveFilter* conversion = editor.Preview().RightConversion();
        QVERIFY(conversion);
        QVERIFY(QTest::qWaitFor([&] { return conversion->CurrentGeometry().cropTop == 500; }, 3000 * kSlack));
        QCOMPARE(conversion->CurrentGeometry().cropBottom, 0);
        QCOMPARE(conversion->CurrentGeometry().cropHeight, 76);
        editor.reject();
    }

    void TheMainWindowHandsOverThePictureSettingsAndKeepsTheTrim()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        CColumnTreeCtrl* list = window.TitleList();
        QTreeWidgetItem* first = list->Root()->child(0);
        QTreeWidgetItem* second = list->Root()->child(1);
        list->setCurrentItem(first);
        window.OpenEditor(CCropDlg::kTrim, false);
        CCropDlg* editor = window.Editor();
        QVERIFY(editor);
        editor->StartEdit()->setText(QStringLiteral("00:00:02"));
        editor->OnApplyStart();
        editor->ShowPage(CCropDlg::kCrop);
        Type(editor->CropEdit(0), 80);
        editor->accept();
        QTRY_VERIFY(!window.Editor());
        // The trimmed length is shown; the crop became the last settings.
        QCOMPARE(first->text(CColumnTreeCtrl::kTrimmedLength), QStringLiteral("00:00:06"));
        QCOMPARE(window.LastClipSettings().picture.cropLeft, 80);
        // Another title's editor starts from those picture settings, with its own trim.
        list->setCurrentItem(second);
        window.OpenEditor(CCropDlg::kCrop, false);
        QVERIFY(window.Editor());
        QCOMPARE(window.Editor()->Working().picture.cropLeft, 80);
        QCOMPARE(window.Editor()->Working().trimStart, std::int64_t{0});
        window.Editor()->reject();
        QTRY_VERIFY(!window.Editor());
        QCOMPARE(second->text(CColumnTreeCtrl::kTrimmedLength), QStringLiteral("00:00:04"));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
    }

    // The Auto button finds the letterboxed film's bars and crops them; what remains keeps its
    // shape (zoom mode "Keep Original").
    void AutoCropFindsTheBlackBars()
    {
        CollectMessages messages;
        TitleTask title("film_frames", 2); // 2.35:1 inside a 4:3 picture: 104 black rows above and below
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        editor.show();
        editor.ZoomList()->setCurrentIndex(1);
        editor.OnZoomChosen(1);
        QVERIFY(editor.AutoCropButton()->isVisible());
        QVERIFY(WaitForEnd(&editor, &CCropDlg::autoCropEnded, [&] { QTest::mouseClick(editor.AutoCropButton(), Qt::LeftButton); }));
        QCOMPARE(editor.CropEdit(0)->value(), 0);
        QCOMPARE(editor.CropEdit(1)->value(), 104);
        QCOMPARE(editor.CropEdit(2)->value(), 0);
        QCOMPARE(editor.CropEdit(3)->value(), 104);
        QCOMPARE(editor.Working().picture.cropTop, 104);
        QCOMPARE(editor.Working().picture.cropBottom, 376);
        QCOMPARE(editor.Working().picture.zoomMode, 0);
        QCOMPARE(editor.ZoomList()->currentIndex(), 0);
        // A title without bars: the whole picture.
        TitleTask plain("film_frames", 0);
        CCropDlg other(plain.owned, plain.task, CCropDlg::kCrop, Output(640, 480));
        other.show();
        QVERIFY(WaitForEnd(&other, &CCropDlg::autoCropEnded, [&] { QTest::mouseClick(other.AutoCropButton(), Qt::LeftButton); }));
        QCOMPARE(other.Working().picture.cropTop, 0);
        QCOMPARE(other.Working().picture.cropBottom, 480);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
    }

    // With the file's size following the crop ("Same as source"), the Result pane shows the kept
    // picture filling it, at the shape the file is shown at: no bars after an Auto crop.
    void AfterAutoCropTheResultShowsThePictureTheFileKeeps()
    {
        CollectMessages messages;
        TitleTask title("film_frames", 2); // 104 black rows above and below
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(0, 0));
        editor.show();
        QVERIFY(RightPanePlays(editor));
        CVideoRenderer* right = editor.RightPane()->Renderer();
        QCOMPARE(right->DisplayAspect(), QSize(4, 3));
        QVERIFY(WaitForEnd(&editor, &CCropDlg::autoCropEnded, [&] { QTest::mouseClick(editor.AutoCropButton(), Qt::LeftButton); }));
        CMyVideoConveFilter* conversion = editor.Preview().RightConversion();
        QVERIFY(QTest::qWaitFor([&] { return conversion->CurrentGeometry().cropTop == 104; }, 5000 * kSlack));
        const std::uint64_t shown = right->Pictures();
        editor.OnPlay();
        QVERIFY(QTest::qWaitFor([&] { return right->Pictures() > shown + 3; }, 5000 * kSlack));
        const AspectRatio file = CropDisplayAspect(720, 480, kAspect4x3, 720, 272);
        QCOMPARE(right->DisplayAspect(), QSize(file.x, file.y));
        // The picture's own rows reach the top and the bottom of the frame.
        const QImage picture = right->CurrentImage();
        for (int y : {3, picture.height() - 4}) {
            int lit = 0;
            for (int x = 0; x < picture.width(); x += 8) lit += qGray(picture.pixel(x, y)) > 40;
            QVERIFY2(lit > picture.width() / 8 / 4, qPrintable(QStringLiteral("row %1 is dark").arg(y)));
        }
        editor.reject();
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
    }

    // The scan runs off the window's thread: held at a gate, it leaves the window free to handle
    // what is posted to it and a Cancel (the Auto button while it scans); once let go, the
    // cancelled scan crops nothing.
    void AnAutoCropHeldAtTheGateCanBeCancelled()
    {
        CollectMessages messages;
        TitleTask title("film_frames", 2);
        CCropDlg editor(title.owned, title.task, CCropDlg::kCrop, Output(640, 480));
        testing_filters::Gate gate;
        Workspace::Steps steps = Workspace::DiscSteps();
        const Workspace::Steps disc = steps;
        steps.scan = [&gate, disc](const std::shared_ptr<SourceDisc>& source, int index, std::stop_token stop) {
            gate.Pass();
            return disc.scan(source, index, stop);
        };
        editor.UseWorkspaceSteps(steps);
        const testing_filters::OpenAtEnd openGate(gate);
        editor.show();
        const int topBefore = editor.Working().picture.cropTop;
        QTest::mouseClick(editor.AutoCropButton(), Qt::LeftButton);
        gate.WaitReached();
        QVERIFY(editor.Scanning());
        QCOMPARE(editor.AutoCropButton()->text(), QStringLiteral("Cancel"));
        bool handled = false;
        QMetaObject::invokeMethod(&editor, [&] { handled = true; }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        QVERIFY(handled);
        QVERIFY(!WaitForEnd(&editor, &CCropDlg::autoCropEnded, [&] {
            QTest::mouseClick(editor.AutoCropButton(), Qt::LeftButton);
            gate.Open();
        }));
        QVERIFY(!editor.Scanning());
        QCOMPARE(editor.AutoCropButton()->text(), QStringLiteral("Auto"));
        QCOMPARE(editor.Working().picture.cropTop, topBefore);
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.messages.join('|')));
        // Asked again, it scans and crops.
        QVERIFY(WaitForEnd(&editor, &CCropDlg::autoCropEnded, [&] { QTest::mouseClick(editor.AutoCropButton(), Qt::LeftButton); }));
        QCOMPARE(editor.Working().picture.cropTop, 104);
    }
};

QTEST_MAIN(EditorTest)
#include "editor_test.moc"

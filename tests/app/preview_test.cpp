// The preview in the main window: Play, Pause and Stop, the slider, previous and next, the
// audio line while playing (heard through SDL's disk driver), and snapshots.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include "app/column_tree_ctrl.h"
#include "app/my_button.h"
#include "app/my_slider_ctrl.h"
#include "app/preferences.h"
#include "app/video_renderer.h"
#include "app/zuzidero_dlg.h"
#include "app_test_support.h"

namespace {

// Timing bounds widen under the sanitizers, which slow everything several times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kSlack = 3.0;
#else
constexpr double kSlack = 1.0;
#endif

double Position(CZuZideroDlg& window)
{
    double seconds = -1;
    window.Preview().Player().GetPosition(seconds);
    return seconds;
}

// Waits until the preview has shown a picture.
bool WaitForPicture(CZuZideroDlg& window)
{
    return QTest::qWaitFor(
        [&] {
            auto* renderer = window.Preview().VideoWindow()->Renderer();
            return renderer && renderer->Pictures() > 0;
        },
        static_cast<int>(5000 * kSlack));
}

// The pitch of the last `seconds` of 16-bit stereo sound in a file, by zero crossings of the
// first channel.
double TailPitch(const QString& path, double seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = file.readAll();
    const qsizetype frames = bytes.size() / 4;
    const qsizetype count = std::min<qsizetype>(frames, static_cast<qsizetype>(seconds * 48000));
    int crossings = 0;
    std::int16_t previous = 0;
    for (qsizetype i = frames - count; i < frames; ++i) {
        std::int16_t value;
        std::memcpy(&value, bytes.constData() + i * 4, 2);
        if (i > frames - count && (previous < 0) != (value < 0)) ++crossings;
        previous = value;
    }
    return count > 0 ? crossings / 2.0 / (static_cast<double>(count) / 48000) : 0;
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterFilters(); }

    void init()
    {
        QFile::remove(SettingIniPath());
        m_sound = m_folder.filePath(QStringLiteral("played.raw"));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", m_sound.toUtf8());
    }

    void PlayFromAChapterPlaysItsTitleFromItsStart()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3"))); // title 1: chapters at 0, 2, 4 and 6 s
        QTreeWidgetItem* title1 = window.TitleList()->Root()->child(0);
        QVERIFY(title1->childCount() >= 3);
        window.TitleList()->setCurrentItem(title1->child(2));
        window.Preview().OnPlay();
        QCOMPARE(window.Preview().PlayingTitle(), 0);
        QVERIFY(WaitForPicture(window));
        QVERIFY(window.Preview().PauseButton()->isVisible());
        QVERIFY(!window.Preview().PlayButton()->isVisible());
        QVERIFY(window.Preview().VideoWindow()->isVisible());
        QVERIFY(!window.Preview().VideoPlaceholder()->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return Position(window) > 0.2; }, static_cast<int>(10000 * kSlack)));
        // From the title's start, not the chapter's 4 s.
        const double position = Position(window);
        QVERIFY2(position > 0.2 && position < 2.0, qPrintable(QString::number(position)));
        // The slider follows.
        QVERIFY(QTest::qWaitFor([&] { return window.Preview().Slider()->GetPos() > 0; }, 1000));
        QVERIFY(messages.messages.isEmpty());
    }

    void PauseHoldsThePlaceAndPlayGoesOnFromIt()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Preview().OnPlay();
        QVERIFY2(WaitForPicture(window), qPrintable(messages.messages.join("|")));
        QVERIFY(QTest::qWaitFor([&] { return Position(window) > 0.5; }, static_cast<int>(10000 * kSlack)));
        window.Preview().OnPause();
        QVERIFY(window.Preview().PlayButton()->isVisible());
        const double paused = Position(window);
        QVERIFY(paused > 0.2);
        // The place holds while the paused device plays a third of a second of its own silence
        // (48 kHz, two 16-bit channels) into the heard file.
        const qint64 heard = QFileInfo(m_sound).size();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_sound).size() >= heard + 64000, 60000);
        QCOMPARE(Position(window), paused);
        window.Preview().OnPlay();
        QVERIFY(window.Preview().PauseButton()->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return Position(window) > paused + 0.2; }, static_cast<int>(10000 * kSlack)));
        const double resumed = Position(window);
        QVERIFY2(resumed > paused + 0.2 && resumed < paused + 0.5 + 0.5 * kSlack,
                 qPrintable(QStringLiteral("paused at %1, then %2").arg(paused).arg(resumed)));
    }

    void StopGoesBackToTheStartAndShowsThePlaceholder()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Preview().OnPlay();
        QVERIFY(WaitForPicture(window));
        QVERIFY(QTest::qWaitFor([&] { return window.Preview().Slider()->GetPos() > 0; }, static_cast<int>(3000 * kSlack)));
        window.Preview().OnStop();
        QCOMPARE(window.Preview().Slider()->GetPos(), 0);
        QCOMPARE(Position(window), 0.0);
        QVERIFY(window.Preview().VideoPlaceholder()->isVisible());
        QVERIFY(!window.Preview().VideoWindow()->isVisible());
        QVERIFY(window.Preview().PlayButton()->isVisible());
        QCOMPARE(window.Preview().PlayingTitle(), -1);
    }

    void TheSliderSeeks()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3"))); // title 1: 8 s
        window.Preview().OnPlay();
        QVERIFY(WaitForPicture(window));
        // A click in the middle of the slider: half way, 4 s.
        CMySliderCtrl* slider = window.Preview().Slider();
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, slider->height() / 2));
        QVERIFY(std::abs(slider->GetPos() - 500) < 60);
        QVERIFY(QTest::qWaitFor([&] { return Position(window) > 3.6; }, static_cast<int>(10000 * kSlack)));
        const double position = Position(window);
        QVERIFY2(position > 3.6 && position < 4.6 + 0.5 * kSlack, qPrintable(QString::number(position)));
        QVERIFY(QTest::qWaitFor([&] { return slider->GetPos() > 500; }, static_cast<int>(2000 * kSlack)));
    }

    void PreviousAndNextPlayTheNeighbouringTitle()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3")));
        window.Preview().OnPlay();
        QCOMPARE(window.Preview().PlayingTitle(), 0);
        window.Preview().OnNext();
        QCOMPARE(window.Preview().PlayingTitle(), 1);
        QCOMPARE(window.TitleList()->currentItem(), window.TitleList()->Root()->child(1));
        QVERIFY(WaitForPicture(window));
        window.Preview().OnPrevious();
        QCOMPARE(window.Preview().PlayingTitle(), 0);
        QVERIFY(window.Preview().PauseButton()->isVisible());
    }

    void ChoosingAnotherAudioLineWhilePlayingIsHeardAtOnce()
    {
        CollectMessages messages;
        CZuZideroDlg window;
        window.show();
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3"))); // title 1: AC-3 English 440 Hz, MP2 French 660 Hz
        window.Preview().OnPlay();
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(TailPitch(m_sound, 0.5) - 440) < 15, static_cast<int>(10000 * kSlack));
        QComboBox* audio = window.Tracks().AudioTracks();
        QCOMPARE(audio->count(), 2);
        audio->setCurrentIndex(1);
        const double switchedAt = Position(window);
        window.Tracks().OnAudioChosen(1);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(TailPitch(m_sound, 0.5) - 660) < 15, static_cast<int>(10000 * kSlack));
        // At once: within a second and a half of the title's own time.
        QVERIFY2(Position(window) - switchedAt < 1.5 * kSlack, qPrintable(QString::number(Position(window) - switchedAt)));
        QCOMPARE(window.Preview().PlayingTitle(), 0); // still the same title, not started again
    }

    void SnapshotsAreNamedByTheClockAndShowThePictureAtItsDisplaySize_data()
    {
        QTest::addColumn<QString>("type");
        QTest::newRow("BMP") << QStringLiteral("BMP");
        QTest::newRow("JPEG") << QStringLiteral("JPEG");
        QTest::newRow("GIF") << QStringLiteral("GIF");
    }

    void SnapshotsAreNamedByTheClockAndShowThePictureAtItsDisplaySize()
    {
        QFETCH(QString, type);
        CollectMessages messages;
        QTemporaryDir pictures;
        const QString folder = pictures.filePath(QStringLiteral("Snapshots")); // made when first used
        {
            CZuZideroDlg settings;
            QVERIFY(Preferences::Write(settings.ProductTitle(), QStringLiteral("strSnapFolder"), folder));
            QVERIFY(Preferences::Write(settings.ProductTitle(), QStringLiteral("strImageType"), type));
        }
        CZuZideroDlg window;
        window.show();
        window.Preview().SetSnapshotClock([] {
            std::tm t{};
            t.tm_year = 2026 - 1900;
            t.tm_mon = 0;
            t.tm_mday = 2;
            t.tm_hour = 3;
            t.tm_min = 4;
            t.tm_sec = 5;
            return t;
        });
        window.Preview().OnSnapshot(); // nothing plays yet
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(window.Preview().LastSnapshot().isEmpty());
        QVERIFY(window.Preview().SnapshotNote()->isHidden());
        QVERIFY(LoadAndWait(window, DiscPath("ntsc_4x3"))); // 720 × 480 pictures of 4:3
        window.Preview().OnPlay();
        QVERIFY(WaitForPicture(window));
        window.Preview().OnSnapshot();
        QCOMPARE(window.Preview().LastSnapshot(), folder + QStringLiteral("/2026-01-02 03-04-05.") + type);
        // The picture says so, over its lower left corner.
        QLabel* note = window.Preview().SnapshotNote();
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("Snapshot saved: 2026-01-02 03-04-05.") + type);
        QVERIFY(window.Preview().VideoWindow()->rect().contains(note->geometry()));
        window.Preview().OnSnapshot(); // the same second: a second file
        QCOMPARE(window.Preview().LastSnapshot(), folder + QStringLiteral("/2026-01-02 03-04-05 (2).") + type);
        QCOMPARE(note->text(), QStringLiteral("Snapshot saved: 2026-01-02 03-04-05 (2).") + type);
        for (const QString& name : {QStringLiteral("2026-01-02 03-04-05."), QStringLiteral("2026-01-02 03-04-05 (2).")}) {
            QImageReader reader(folder + QStringLiteral("/") + name + type);
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.size(), QSize(640, 480));
            // The picture itself, not a blank: the test pattern has colour.
            int coloured = 0;
            for (int y = 0; y < image.height(); y += 16)
                for (int x = 0; x < image.width(); x += 16) {
                    const QColor c = image.pixelColor(x, y);
                    if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60) ++coloured;
                }
            QVERIFY(coloured > 50);
        }
        QCOMPARE(messages.messages.size(), 1);
    }

    // Shown as a file gets it: the preview deinterlaces an interlaced title (a snapshot of the
    // picture does not comb) unless the preferences say "Never".
    void TheSnapshotOfAnInterlacedTitleIsDeinterlacedAsAConversionDoes()
    {
        CollectMessages messages;
        QTemporaryDir pictures;
        double combing[2] = {};
        const QString modes[2] = {QStringLiteral("Never"), QStringLiteral("Auto")};
        for (int m = 0; m < 2; ++m) {
            {
                CZuZideroDlg settings;
                QVERIFY(Preferences::Write(settings.ProductTitle(), QStringLiteral("strSnapFolder"), pictures.path()));
                QVERIFY(Preferences::Write(settings.ProductTitle(), QStringLiteral("strImageType"), QStringLiteral("BMP")));
                QVERIFY(Preferences::Write(settings.ProductTitle(), QStringLiteral("strDeinterlace"), modes[m]));
            }
            CZuZideroDlg window;
            window.show();
            QVERIFY(LoadAndWait(window, DiscPath("shapes_ntsc"))); // title 3: a scrolling pattern, interlaced
            window.TitleList()->setCurrentItem(window.TitleList()->Root()->child(2));
            window.Preview().OnPlay();
            QCOMPARE(window.Preview().PlayingTitle(), 2);
            QVERIFY(WaitForPicture(window));
            window.Preview().OnSnapshot();
            const QImage image(window.Preview().LastSnapshot());
            QVERIFY(!image.isNull());
            combing[m] = Combing(image);
        }
        // Neighbouring rows of a woven picture differ far more than rows of one field do.
        QVERIFY2(combing[0] > 1.5, qPrintable(QString::number(combing[0])));
        QVERIFY2(combing[1] < 1.0, qPrintable(QString::number(combing[1])));
        QVERIFY(messages.messages.isEmpty());
    }

private:
    // How much neighbouring rows differ against rows two apart (the same field): above 1 for a
    // picture whose fields were taken at different times.
    static double Combing(const QImage& image)
    {
        double neighbours = 0, sameField = 0;
        for (int y = 0; y + 2 < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) {
                const int a = qGray(image.pixel(x, y)), b = qGray(image.pixel(x, y + 1)), c = qGray(image.pixel(x, y + 2));
                neighbours += std::abs(a - b) + std::abs(b - c);
                sameField += 2 * std::abs(a - c);
            }
        return sameField > 0 ? neighbours / sameField : 0;
    }

    QTemporaryDir m_folder;
    QString m_sound;
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"

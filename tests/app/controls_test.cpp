// The skinned controls: picture buttons, sliders, the selection control and the progress bar.

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QStyle>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <optional>

#include "app/beauty_combobox.h"
#include "app/my_button.h"
#include "app/my_check_box.h"
#include "app/my_progress_ctrl.h"
#include "app/my_select_ctrl.h"
#include "app/my_slider_ctrl.h"
#include "app/help_dlg.h"
#include "app/hyper_link.h"
#include "app/palette.h"
#include "app/skin.h"
#include "app/msg_dlg.h"
#include "app/splash_wnd.h"
#include "app/video_renderer.h"
#include "app_test_support.h"

// While alive, the program's theme is the application's (style, palette, style sheet); the
// test program's own comes back after.
class ThemeApplied {
public:
    ThemeApplied()
        : m_app(qobject_cast<QApplication*>(QCoreApplication::instance())), m_sheet(m_app->styleSheet()), m_palette(m_app->palette()),
          m_style(m_app->style()->name())
    {
        ApplyTheme(*m_app);
    }
    ~ThemeApplied()
    {
        m_app->setStyleSheet(m_sheet);
        m_app->setPalette(m_palette);
        QApplication::setStyle(m_style);
    }
    ThemeApplied(const ThemeApplied&) = delete;
    ThemeApplied& operator=(const ThemeApplied&) = delete;

private:
    QApplication* m_app;
    QString m_sheet;
    QPalette m_palette;
    QString m_style;
};

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void ButtonTakesOneFrameOfItsPicture()
    {
        QTemporaryDir dir;
        QPixmap strip(400, 30);
        strip.fill(Qt::red);
        const QString file = dir.filePath("strip.png");
        QVERIFY(strip.save(file));
        QWidget parent;
        CMyButton button(&parent);
        QVERIFY(button.SetPictures(file, 12, 34, QPixmap()));
        QCOMPARE(button.size(), QSize(100, 30));
        QCOMPARE(button.pos(), QPoint(12, 34));
        // A missing picture leaves a plain button, and says so.
        CMyButton plain(QStringLiteral("Plain"), &parent);
        QVERIFY(!plain.SetPictures(dir.filePath("missing.png"), 0, 0, QPixmap()));
        QVERIFY(plain.width() > 0);
    }

    void SliderFollowsTheMouseAndReportsIt()
    {
        CMySliderCtrl slider(nullptr, 7);
        slider.resize(200, 14);
        slider.SetRange(0, 1000);
        QSignalSpy moved(&slider, &CMySliderCtrl::positionChanged);
        QSignalSpy released(&slider, &CMySliderCtrl::released);
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(100, 7));
        QCOMPARE(slider.GetPos(), 500);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toInt(), 7);
        QCOMPARE(moved.at(0).at(1).toInt(), 500);
        // Outside positions are ignored while the user drags.
        slider.SetPos(10);
        QCOMPARE(slider.GetPos(), 500);
        QMouseEvent drag(QEvent::MouseMove, QPointF(350, 7), QPointF(350, 7), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&slider, &drag);
        QCOMPARE(slider.GetPos(), 1000);
        QCOMPARE(slider.GetSelection().second, 1000); // link mode 1: the selection end follows
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(350, 7));
        QCOMPARE(released.count(), 1);
        slider.SetPos(10);
        QCOMPARE(slider.GetPos(), 10);
        QCOMPARE(slider.GetSelection().second, 10); // the filled part follows a thumb put back too
        // Independent selection in link mode 2; a negative end keeps its value.
        slider.SetLinkMode(2);
        slider.SetSelection(100, -1);
        QCOMPARE(slider.GetSelection(), std::make_pair(100, 10));
    }

    void SelectionHandlesKeepTheirOrder()
    {
        CMySelectCtrl select;
        select.resize(210, 20); // handles 10 wide: 200 usable pixels
        select.SetRange(0, 1000);
        CMySliderCtrl slider;
        slider.SetRange(0, 1000);
        select.LinkSlider(&slider);
        QSignalSpy dragged(&select, &CMySelectCtrl::handlesDragged);
        select.SetHandles(0.2, 0.4);
        QCOMPARE(select.Positions(), std::make_pair(200, 400));
        QCOMPARE(slider.GetSelection(), std::make_pair(200, 400));
        // Drag the start handle far past the end handle: it stops there.
        QTest::mousePress(&select, Qt::LeftButton, {}, QPoint(45, 10));
        QMouseEvent drag(QEvent::MouseMove, QPointF(190, 10), QPointF(190, 10), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&select, &drag);
        QTest::mouseRelease(&select, Qt::LeftButton, {}, QPoint(190, 10));
        QCOMPARE(select.Handles().first, 0.4);
        QCOMPARE(dragged.count(), 1);
    }

    void ProgressShowsTheRoundedPercentage()
    {
        CMyProgressCtrl bar;
        bar.SetRange(0, 1000);
        bar.SetPos(335);
        QCOMPARE(bar.Text(), QStringLiteral("34%"));
        bar.SetPos(0);
        QCOMPARE(bar.Text(), QStringLiteral("0%"));
    }

    void SplashClosesOnAKeyOrAClick()
    {
        CSplashWnd missing;
        QVERIFY(!missing.Create("no such picture.jpg"));
        missing.DrawText("nothing", 1, 1, Qt::black); // does nothing, and does not crash
        CSplashWnd splash;
        QVERIFY(splash.Create("starup.jpg"));
        splash.DrawText("Version 2.01", 160, 232, QColor(255, 255, 0));
        splash.show();
        QVERIFY(splash.isVisible());
        QTest::keyClick(&splash, Qt::Key_Space);
        QVERIFY(!splash.isVisible());
        splash.show();
        QTest::mouseClick(&splash, Qt::LeftButton);
        QVERIFY(!splash.isVisible());
    }

    void TheSplashTextReadsWell()
    {
        CSplashWnd splash;
        QVERIFY(splash.Create("starup.jpg"));
        const QImage ground = splash.Picture().toImage();
        const QFontMetrics metrics(QFont{});
        // Against the mean of the picture under each line, before the line is drawn.
        auto meanUnder = [&](QPoint at, const QString& text) {
            const QRect area = QRect(at, QSize(metrics.horizontalAdvance(text), metrics.height())).intersected(ground.rect());
            double r = 0, g = 0, b = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor c = ground.pixelColor(x, y);
                    r += c.redF();
                    g += c.greenF();
                    b += c.blueF();
                }
            const double n = std::max(1, area.width() * area.height());
            return QColor::fromRgbF(static_cast<float>(r / n), static_cast<float>(g / n), static_cast<float>(b / n));
        };
        const QColor lineGround = meanUnder(CSplashWnd::kLineAt, QStringLiteral("Free software for your own discs."));
        const QColor versionGround = meanUnder(CSplashWnd::kVersionAt, QStringLiteral("Version 2.01"));
        QVERIFY2(skin::ContrastRatio(skin::kText, lineGround) >= 4.5, qPrintable(lineGround.name()));
        QVERIFY2(skin::ContrastRatio(skin::kSplashVersion, versionGround) >= 4.5, qPrintable(versionGround.name()));
        splash.DrawStartupText(QStringLiteral("2.01"));
        QVERIFY(splash.Picture().toImage() != ground); // the lines were drawn
    }

    void DoneMessageAndLinks()
    {
        // A link that cannot be opened (the offscreen platform opens nothing) says so.
        CollectMessages messages;
        CMsgDlg done;
        QCOMPARE(done.size(), QSize(380, 180));
        QCOMPARE(done.OkButton()->pos(), QPoint(240, 140));
        done.open();
        done.OkButton()->click();
        QCOMPARE(done.result(), int(QDialog::Accepted));
        // Links read well on the windows' ground in every state (contrast 4.5 : 1 at least).
        CHyperLink link("Home", "about:blank");
        const QColor ground = skin::kWindow; // the ground of every window of the theme
        QVERIFY2(skin::ContrastRatio(link.CurrentColour(), ground) >= 4.5, qPrintable(link.CurrentColour().name()));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&link, &enter);
        QVERIFY2(skin::ContrastRatio(link.CurrentColour(), ground) >= 4.5, qPrintable(link.CurrentColour().name()));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&link, &leave);
        QSignalSpy opened(&link, &CHyperLink::opened);
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
        QVERIFY(link.Visited());
        QVERIFY(messages.messages.isEmpty() || messages.messages.front().startsWith("Could not open about:blank"));
        QCOMPARE(link.CurrentColour(), skin::kVisitedLink);
        QVERIFY(skin::ContrastRatio(link.CurrentColour(), ground) >= 4.5);
    }

    // A message window's own title bar names the program's window it comes from, even when a
    // window of that window asks.
    void MessagesNameTheirWindowInTheTitleBar()
    {
        QWidget main;
        main.setWindowTitle(QStringLiteral("ZuZidero DVD Ripper"));
        QDialog editor(&main);
        editor.setWindowTitle(QStringLiteral("Edit"));
        CMsgDlg fromEditor(CMsgDlg::kError, &editor);
        QCOMPARE(fromEditor.BarText(), QStringLiteral("ZuZidero DVD Ripper"));
        CMsgDlg done(CMsgDlg::kCompleted, &main);
        QCOMPARE(done.BarText(), QStringLiteral("ZuZidero DVD Ripper"));
        CMsgDlg alone(CMsgDlg::kInformation);
        QCOMPARE(alone.BarText(), QStringLiteral("ZuZidero"));
    }

    // The help page's text reads well on its page under the program's dark theme.
    void TheHelpReadsWellInTheDarkTheme()
    {
        std::optional<ThemeApplied> theme(std::in_place);
        QColor ground;
        {
            CHelpDlg help;
            help.resize(800, 600);
            help.show();
            QVERIFY(QTest::qWaitForWindowExposed(&help));
            // The page's ground: its most frequent colour.
            const QImage page = help.Page()->viewport()->grab().toImage();
            QHash<QRgb, int> counts;
            for (int y = 0; y < page.height(); y += 2)
                for (int x = 0; x < page.width(); x += 2) ++counts[page.pixel(x, y)];
            int most = 0;
            for (auto it = counts.cbegin(); it != counts.cend(); ++it)
                if (it.value() > most) {
                    most = it.value();
                    ground = QColor(it.key());
                }
        }
        theme.reset();
        // The page's body text (#1f2937) and headings (#1f5fbf) on that ground.
        QVERIFY2(skin::ContrastRatio(QColor(0x1f, 0x29, 0x37), ground) >= 7, qPrintable(ground.name()));
        QVERIFY2(skin::ContrastRatio(QColor(0x1f, 0x5f, 0xbf), ground) >= 4.5, qPrintable(ground.name()));
    }

    // Whatever has the keyboard shows it with a bright ring, under the program's theme.
    void TheKeyboardFocusIsPlainToSee()
    {
        std::optional<ThemeApplied> theme(std::in_place);
        QVERIFY(skin::ContrastRatio(skin::kFocus, skin::kWindow) >= 4.5);
        QWidget host;
        host.setAutoFillBackground(true);
        auto* push = new QPushButton(QStringLiteral("Auto"), &host);
        push->setGeometry(10, 10, 90, 28);
        auto* line = new QLineEdit(&host);
        line->setGeometry(10, 50, 120, 26);
        auto* check = new CMyCheckBox(QStringLiteral("Merge into one file"), &host);
        check->setGeometry(10, 90, 180, 22);
        auto* selector = new BeautyCombobox(&host);
        selector->setGeometry(10, 120, 236, 30);
        selector->setFocusPolicy(Qt::StrongFocus);
        host.resize(300, 170);
        host.show();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        // Pixels of the ring's colour along the widget's edge.
        const auto ringPixels = [](QWidget* w) {
            const QImage picture = w->grab().toImage();
            int count = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const QColor c = picture.pixelColor(x, y);
                    count += std::abs(c.red() - skin::kFocus.red()) + std::abs(c.green() - skin::kFocus.green()) +
                                 std::abs(c.blue() - skin::kFocus.blue()) < 60;
                }
            return count;
        };
        QStringList faint;
        for (QWidget* w : {static_cast<QWidget*>(push), static_cast<QWidget*>(line), static_cast<QWidget*>(check),
                           static_cast<QWidget*>(selector)}) {
            w->setFocus();
            QTRY_VERIFY(w->hasFocus());
            const int ring = ringPixels(w);
            host.setFocus();
            QTRY_VERIFY(!w->hasFocus());
            const int plain = ringPixels(w);
            if (ring < 60 + plain) faint << QStringLiteral("%1 (%2, %3 without focus)").arg(w->metaObject()->className()).arg(ring).arg(plain);
        }
        host.hide();
        theme.reset();
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join(", ")));
    }

    // An engine failure's fixed text heads the message; under it, what it means and what to try;
    // the technical cause is folded under Details until asked for. Other messages are as written.
    void EngineFailuresSayWhatToTryWithTheCauseUnderDetails()
    {
        CMsgDlg box(CMsgDlg::kError);
        FillMessage(box, QStringLiteral("connect splitter and decoder error(audio)\nno decoder takes DTS-HD MA"));
        QCOMPARE(box.Title(), QStringLiteral("connect splitter and decoder error(audio)"));
        QVERIFY2(box.Text().startsWith("The title's sound could not be read"), qPrintable(box.Text()));
        QCOMPARE(box.Technical(), QStringLiteral("no decoder takes DTS-HD MA"));
        QVERIFY(box.DetailsButton() && !box.DetailsButton()->isHidden());
        const QList<QLabel*> labels = box.TextLabels();
        const auto technical = std::find_if(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "no decoder takes DTS-HD MA"; });
        QVERIFY(technical != labels.end());
        QVERIFY((*technical)->isHidden());
        const int folded = box.height();
        box.DetailsButton()->click();
        QVERIFY(!(*technical)->isHidden());
        QVERIFY(box.height() >= folded);
        QVERIFY(box.rect().contains(box.DetailsButton()->geometry()));
        QVERIFY(box.DetailsButton()->geometry().bottom() <= box.OkButton()->y() + box.OkButton()->height());

        CMsgDlg plain(CMsgDlg::kInformation);
        FillMessage(plain, QStringLiteral("The disc could not be ejected\nsr0: Device or resource busy"));
        QCOMPARE(plain.Text(), QStringLiteral("sr0: Device or resource busy"));
        QVERIFY(!plain.DetailsButton());
        QVERIFY(IsFailureMessage(QStringLiteral("Load DVD error")));
        QVERIFY(!IsFailureMessage(QStringLiteral("Done\nNothing more.")));
    }

    void MessagesShowTheirWholeText()
    {
        // Every label's text fits the space it has, inside the window (a scrolled body counts
        // by its contents), and the window stays on the screen.
        auto fits = [](CMsgDlg& box) {
            const QRect window = box.rect();
            for (QLabel* label : box.TextLabels()) {
                if (label->text().isEmpty() || label->isHidden()) continue;
                if (label->heightForWidth(label->width()) > label->height()) return QStringLiteral("cut: ") + label->text().left(40);
                const bool scrolled = box.Body() && box.Body()->widget()->isAncestorOf(label);
                const QRect shown = scrolled ? box.Body()->geometry() : label->geometry();
                if (!window.contains(shown)) return QStringLiteral("outside the window: ") + label->text().left(40);
                if (label->text() != label->text().trimmed() || label->text().contains(QChar(0x2026))) return QStringLiteral("elided");
            }
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            if (box.height() > screen.height() || box.width() > screen.width()) return QStringLiteral("larger than the screen");
            return QString();
        };
        const QString advice = QStringLiteral("Use \"Load DVD Folder\" for a VIDEO_TS folder or a Blu-ray folder, or "
                                              "\"Load ISO File\" for a disc image or an MPEG file, and try again.");
        {
            CMsgDlg box(CMsgDlg::kError);
            box.SetMessage(QStringLiteral("No optical drive was found"), advice);
            QCOMPARE(fits(box), QString());
            QCOMPARE(box.Text(), advice);
            QVERIFY(box.Body()->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
        }
        {
            // A short message keeps the picture's size.
            CMsgDlg box(CMsgDlg::kInformation);
            box.SetMessage(QStringLiteral("Done"), QStringLiteral("Nothing more."));
            QCOMPARE(box.size(), QSize(420, 220));
            QCOMPARE(fits(box), QString());
        }
        {
            // A long heading wraps; a run's long failure list scrolls in a window the screen holds.
            CMsgDlg box(CMsgDlg::kWarning);
            box.SetMessage(QStringLiteral("Conversion completed with unreadable parts on a disc whose name is very long indeed"),
                           QStringLiteral("Your files are in the output folder, but parts of the disc could not be read:"));
            QStringList failures;
            for (int i = 1; i <= 200; ++i) failures << QStringLiteral("Title_%1.mp4: 00:%2:10 to 00:%2:12 could not be read").arg(i).arg(i % 60);
            box.SetDetail(failures.join('\n'));
            QCOMPARE(fits(box), QString());
            QVERIFY(box.Body()->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);
            QCOMPARE(box.Detail(), failures.join('\n'));
            QVERIFY(box.height() > 220);
            // The buttons stay inside, under the text.
            QVERIFY(box.rect().contains(box.OkButton()->geometry()));
            QVERIFY(box.OkButton()->y() >= box.Body()->geometry().bottom());
        }
        {
            // The completed picture with a note keeps its width and its OK in the corner.
            CMsgDlg done;
            done.SetDetail(QStringLiteral("Title_01.mp4 and Title_02.mp4"));
            QCOMPARE(fits(done), QString());
            QCOMPARE(done.width(), 380);
            QCOMPARE(done.OkButton()->pos(), done.Stretched(QPoint(240, 140)));
            QVERIFY(done.OkButton()->width() > 0 && done.rect().contains(done.OkButton()->geometry()));
        }
        {
            // Enter presses the default button: Yes in a question.
            CMsgDlg question(CMsgDlg::kQuestion);
            question.SetMessage(QStringLiteral("Overwrite?"), QStringLiteral("A file exists."));
            question.open();
            QTest::keyClick(&question, Qt::Key_Return);
            QCOMPARE(question.result(), int(QDialog::Accepted));
            CMsgDlg done;
            done.open();
            QTest::keyClick(&done, Qt::Key_Enter, Qt::KeypadModifier);
            QCOMPARE(done.result(), int(QDialog::Accepted));
        }
    }

    void DisabledMenuEntriesLookDisabled()
    {
        // An empty drive's entry in the Add File menu cannot be chosen, and must not look as if
        // it could.
        std::optional<ThemeApplied> theme(std::in_place);
        QMenu menu;
        QAction* enabled = menu.addAction(QStringLiteral("sr0: HL-DT-ST DVDRAM GH24NSD1"));
        QAction* disabled = menu.addAction(QStringLiteral("sr1 (no disc)"));
        disabled->setEnabled(false);
        menu.popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        const QImage picture = menu.grab().toImage();
        // The lightest pixel of an entry is its text's colour.
        auto textLightness = [&](QAction* action) {
            const QRect area = menu.actionGeometry(action).intersected(picture.rect());
            float lightest = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) lightest = std::max(lightest, picture.pixelColor(x, y).lightnessF());
            return lightest;
        };
        const float shown = textLightness(enabled), greyed = textLightness(disabled);
        menu.hide();
        theme.reset();
        QVERIFY2(shown > 0.85f, qPrintable(QString::number(shown)));
        QVERIFY2(greyed < 0.6f, qPrintable(QString::number(greyed)));
    }

    void Yv12PicturesBecomeTheirColours()
    {
        // 4 × 2 pictures: white on the left half, pure red (BT.601) on the right.
        const int w = 4, h = 2;
        std::vector<std::uint8_t> yv12(static_cast<std::size_t>(w * h * 3 / 2));
        std::uint8_t* y = yv12.data();
        std::uint8_t* v = y + w * h;
        std::uint8_t* u = v + (w / 2) * (h / 2);
        for (int row = 0; row < h; ++row) {
            y[row * w + 0] = y[row * w + 1] = 235;
            y[row * w + 2] = y[row * w + 3] = 81;
        }
        u[0] = 128, v[0] = 128; // white
        u[1] = 90, v[1] = 240;  // red
        const QImage image = Yv12ToImage(yv12.data(), w, h, w);
        const QColor white = image.pixelColor(0, 0), red = image.pixelColor(3, 1);
        QVERIFY(white.red() >= 250 && white.green() >= 250 && white.blue() >= 250);
        QVERIFY(red.red() >= 240 && red.green() <= 15 && red.blue() <= 15);
        // The renderer draws the latest picture letter-boxed in its window, bordered.
        CVideoRenderer renderer;
        QImage target(100, 100, QImage::Format_RGB32);
        QPainter painter(&target);
        renderer.SetVideoPosition(QRect(), target.rect());
        renderer.SetBorder(Qt::green);
        renderer.RepaintVideo(painter);
        QCOMPARE(target.pixelColor(50, 50), QColor(Qt::green));
        QVERIFY(renderer.CurrentImage().isNull());
    }
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"

// The skinned controls: picture buttons, sliders, the selection control and the progress bar.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/my_button.h"
#include "app/my_progress_ctrl.h"
#include "app/my_select_ctrl.h"
#include "app/my_slider_ctrl.h"

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
        // Independent selection in link mode 2; a negative end keeps its value.
        slider.SetLinkMode(2);
        slider.SetSelection(100, -1);
        QCOMPARE(slider.GetSelection(), std::make_pair(100, 1000));
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
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"

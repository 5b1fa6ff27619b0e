// The format selector: its table, pages of eight, the bottom strip, and a chosen format.

#include <QSignalSpy>
#include <QtTest>
#include <set>

#include "app/beauty_combobox.h"
#include "profiles/format_table.h"
#include "profiles/profile_catalogue.h"

namespace {

void Fill(CStartPane* pane)
{
    for (const FormatCategory& c : FormatCategories())
        pane->AddCategory(c.id, QString::fromUtf8(c.name.data(), static_cast<int>(c.name.size())), QString());
    for (const FormatEntry& f : FormatEntries())
        pane->AddFormat(f.category, f.command,
                        QString::fromUtf8(f.displayName.data(), static_cast<int>(f.displayName.size())) + "/n" +
                            QString::fromUtf8(f.description.data(), static_cast<int>(f.description.size())),
                        QString());
    pane->SetBottomPictures("Bottom.bmp", "Bottom_L.bmp", "Bottom_R.bmp", "Bottom_B.bmp");
}

} // namespace

class FormatSelectorTest : public QObject {
    Q_OBJECT
private slots:
    void TheTableMapsCommandsToProfiles()
    {
        // The seed's 17 groups and 107 formats, the original-quality copy after them, and today's
        // formats, their group listed first.
        QCOMPARE(static_cast<int>(FormatCategories().size()), 19);
        QCOMPARE(FormatCategories().front().name, std::string_view("Modern"));
        QCOMPARE(static_cast<int>(FormatEntries().size()), 115);
        QCOMPARE(ProfileForCommand(32928), 107);
        QCOMPARE(ProfileForCommand(32929), 108);
        QCOMPARE(ProfileForCommand(32935), 114);
        // 3G and 3GS both select 47; no command selects 46; unknown commands select 0.
        QCOMPARE(ProfileForCommand(32850), 47);
        QCOMPARE(ProfileForCommand(32852), 47);
        QCOMPARE(ProfileForCommand(32802), 1);
        QCOMPARE(ProfileForCommand(32927), 106);
        QCOMPARE(ProfileForCommand(0), 0);
        QCOMPARE(ProfileForCommand(32811), 0);
        std::set<int> profiles, commands;
        for (const FormatEntry& f : FormatEntries()) {
            profiles.insert(f.profile);
            QVERIFY2(commands.insert(f.command).second, "a command appears twice");
        }
        QVERIFY(!profiles.count(46));
        QCOMPARE(static_cast<int>(profiles.size()), 114);
        // Every profile the table selects is in the catalogue (the seed's, then the added file's,
        // numbered on), with the extension the name shows.
        ProfileCatalogue catalogue;
        QVERIFY(catalogue.Load(ZUZIDERO_SOURCE_DATA "/Format.xml"));
        QVERIFY(catalogue.LoadAdded(ZUZIDERO_SOURCE_DATA "/Format-added.xml"));
        for (const FormatEntry& f : FormatEntries()) {
            ProfileRecord record;
            QVERIFY(catalogue.FindByIndex(f.profile, &record));
            const std::string name(f.displayName);
            if (f.profile < 107)
                QVERIFY2(name.find("(*" + record.FormatExt + ")") != std::string::npos, name.c_str());
            else
                QVERIFY2(record.ProfileName == name && (record.FormatExt == ".mkv" || record.FormatExt == ".mp4" ||
                                                        record.FormatExt == ".webm"),
                         name.c_str());
        }
        ProfileRecord original;
        QVERIFY(catalogue.FindByIndex(107, &original));
        QCOMPARE(QString(original.writer.VideoCodecName), QStringLiteral("copy"));
        QCOMPARE(QString(original.writer.AudioCodecName), QStringLiteral("copy"));
    }

    void CategoriesPageByEight()
    {
        CStartPane pane;
        Fill(&pane);
        // General Video: 12 formats, two pages.
        pane.ShowCategory(1);
        QCOMPARE(pane.PageIndicator(), QStringLiteral("1 / 2"));
        QCOMPARE(pane.StripPicture(), QStringLiteral("Bottom_L.bmp"));
        QCOMPARE(static_cast<int>(pane.ShownCommands().size()), 8);
        pane.NextPage();
        QCOMPARE(pane.PageIndicator(), QStringLiteral("2 / 2"));
        QCOMPARE(pane.StripPicture(), QStringLiteral("Bottom_R.bmp"));
        QCOMPARE(static_cast<int>(pane.ShownCommands().size()), 4);
        pane.NextPage(); // nothing after the last page
        QCOMPARE(pane.PageIndicator(), QStringLiteral("2 / 2"));
        pane.PrevPage();
        pane.PrevPage();
        QCOMPARE(pane.PageIndicator(), QStringLiteral("1 / 2"));
        // Xbox: 11 formats, Next on page 2 does nothing.
        pane.ShowCategory(16);
        pane.NextPage();
        pane.NextPage();
        QCOMPARE(pane.PageIndicator(), QStringLiteral("2 / 2"));
        // Apple iPod has exactly ten; General Audio nine; a category of eight has one page.
        pane.ShowCategory(5);
        QCOMPARE(pane.PageIndicator(), QStringLiteral("1 / 2"));
        pane.ShowCategory(3); // Apple TV: three formats
        QCOMPARE(pane.PageIndicator(), QStringLiteral("1 / 1"));
        QCOMPARE(pane.StripPicture(), QStringLiteral("Bottom_B.bmp"));
        CStartPane eight;
        eight.AddCategory(1, "Eight", QString());
        for (int i = 0; i < 8; ++i) eight.AddFormat(1, 33000 + i, QString::number(i), QString());
        eight.SetBottomPictures("Bottom.bmp", "Bottom_L.bmp", "Bottom_R.bmp", "Bottom_B.bmp");
        eight.ShowCategory(1);
        QCOMPARE(eight.PageIndicator(), QStringLiteral("1 / 1"));
        QCOMPARE(eight.StripPicture(), QStringLiteral("Bottom_B.bmp"));
    }

    void ThePaneStaysOnTheScreen()
    {
        const QRect area(0, 0, 1280, 800);
        const QSize size(562, 500);
        QCOMPARE(CStartPane::PlaceOnArea(QPoint(100, 100), size, area), QPoint(100, 100));
        // Near the right edge it opens to the left of the corner; near the bottom, above it.
        QCOMPARE(CStartPane::PlaceOnArea(QPoint(1000, 100), size, area), QPoint(438, 100));
        QCOMPARE(CStartPane::PlaceOnArea(QPoint(100, 600), size, area), QPoint(100, 100));
        QCOMPARE(CStartPane::PlaceOnArea(QPoint(300, 300), size, QRect(0, 0, 500, 400)), QPoint(0, 0));
    }

    void ClickingAFormatChoosesIt()
    {
        BeautyCombobox selector;
        Fill(selector.Pane());
        QVERIFY(!selector.Select(1, 32850)); // not in that category
        QVERIFY(selector.Select(1, 32802));
        QCOMPARE(selector.ButtonText(), QStringLiteral("AVI-Audio-Video Interleaved(*.avi)"));
        QSignalSpy chosen(&selector, &BeautyCombobox::formatCommand);
        selector.OpenPane();
        CStartPane* pane = selector.Pane();
        QVERIFY(pane->isVisible());
        QCOMPARE(pane->CurrentCategory(), 1);
        pane->ShowCategory(7);
        const QRect row = pane->FormatRect(32852);
        QVERIFY(!row.isEmpty());
        QTest::mouseClick(pane, Qt::LeftButton, {}, row.center());
        QVERIFY(!pane->isVisible());
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 32852);
        QCOMPARE(selector.GetChoice(), std::make_pair(7, 32852));
        QCOMPARE(selector.ButtonText(), QStringLiteral("iPhone-3G MPEG4 Video(*.mp4)"));
        // The box's whole name and each format's whole description are tooltips.
        QCOMPARE(selector.toolTip(), selector.ButtonText());
        selector.ShowText(QStringLiteral("iPhone-3G MPEG4 Video(*.mp4) with a name far too long for the box (modified)"));
        QCOMPARE(selector.toolTip(), QStringLiteral("iPhone-3G MPEG4 Video(*.mp4) with a name far too long for the box (modified)"));
        for (int command : pane->ShownCommands()) {
            const CStartPane::Item* f = pane->FindFormat(command);
            const QString tip = pane->ToolTipAt(pane->FormatRect(command).center());
            QVERIFY2(tip.endsWith(f->text.section("/n", 1)) && tip.startsWith(f->text.section("/n", 0, 0)), qPrintable(tip));
        }
        // Choosing the format in effect sends it again.
        selector.OpenPane();
        QTest::mouseClick(pane, Qt::LeftButton, {}, pane->FormatRect(32852).center());
        QCOMPARE(chosen.count(), 2);
    }
};

QTEST_MAIN(FormatSelectorTest)
#include "format_selector_test.moc"

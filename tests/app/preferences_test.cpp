// Preferences: defaults, loading, writing only what changed, and setting.ini.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include "app/preferences.h"
#include "profiles/profile_catalogue.h"
#include "app/preferences_dlg.h"
#include "app_test_support.h"
#include "convert/video_conversion_filter.h"

namespace {
const QString kTitle = QStringLiteral("ZuZidero preferences test");
}

class PreferencesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("ZuZidero"), kTitle).clear(); }

    // The README and the manual page name the file a fresh home gets.
    void TheDocumentsNameThePreferencesFile()
    {
        SetFile set;
        QVERIFY(set.Load(ZUZIDERO_SOURCE_DATA "/Set.xml"));
        const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QString path = Preferences::StorePath(QString::fromStdString(set.title));
        QVERIFY2(path.startsWith(home + QLatin1Char('/')), qPrintable(path));
        path = QStringLiteral("~/.config") + path.mid(home.size());
        QCOMPARE(path, QStringLiteral("~/.config/ZuZidero/ZuZidero DVD Ripper.conf"));
        for (const char* document : {"/../README.md", "/man/zuzidero.1.in"}) {
            QFile file(QStringLiteral(ZUZIDERO_SOURCE_DATA) + QString::fromLatin1(document));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            QVERIFY2(text.contains(path), document);
            QVERIFY2(!text.contains(QStringLiteral("ZuZidero/ZuZidero.conf")), document);
        }
    }

    void AFreshStartHasTheDefaults()
    {
        const Preferences p = Preferences::Load(kTitle);
        QCOMPARE(p.imageType, QStringLiteral("BMP"));
        QCOMPARE(p.action, QStringLiteral("No Action"));
        QCOMPARE(p.cpuUsage, 50);
        QVERIFY(!p.outFolder.isEmpty());
        QVERIFY(!p.snapFolder.isEmpty());
    }

    void OkWritesOnlyWhatChanged()
    {
        Preferences p = Preferences::Load(kTitle);
        {
            CPreferencesDlg window(p, kTitle);
            QVERIFY(window.OnOk());
            QCOMPARE(window.Writes(), 0);
            QVERIFY(QSettings(QStringLiteral("ZuZidero"), kTitle).allKeys().isEmpty());
        }
        {
            CPreferencesDlg window(p, kTitle);
            window.ImageType()->setCurrentText("JPEG");
            window.CpuUsage()->setCurrentText("80%");
            window.OutFolder()->setText("/tmp");
            QVERIFY(window.OnOk());
            QCOMPARE(window.Writes(), 3);
        }
        QSettings store(QStringLiteral("ZuZidero"), kTitle);
        QCOMPARE(store.allKeys().size(), 3);
        QCOMPARE(store.value("strImageType").toString(), QStringLiteral("JPEG"));
        QCOMPARE(store.value("cpu_usage").toInt(), 80);
        const Preferences loaded = Preferences::Load(kTitle);
        QCOMPARE(loaded.imageType, QStringLiteral("JPEG"));
        QCOMPARE(loaded.cpuUsage, 80);
        QCOMPARE(loaded.outFolder, QStringLiteral("/tmp"));
        QCOMPARE(loaded.action, QStringLiteral("No Action"));
    }

    void TheActiveTabShowsWhichItIs()
    {
        Preferences p = Preferences::Load(kTitle);
        CPreferencesDlg window(p, kTitle);
        QVERIFY(window.PageButton(0)->isChecked());
        QVERIFY(!window.PageButton(1)->isChecked());
        window.ShowPage(1); // as the Options menu command opens it
        QVERIFY(window.PageButton(1)->isChecked());
        QVERIFY(!window.PageButton(0)->isChecked());
        QTest::mouseClick(window.PageButton(0), Qt::LeftButton);
        QVERIFY(window.PageButton(0)->isChecked());
        QVERIFY(window.PageButton(0)->styleSheet().contains(QStringLiteral(":checked")));
        // The window wears the skin: drawn, frameless, the tabs below the drawn title bar.
        QVERIFY(!window.Background().isNull());
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        window.show();
        QVERIFY(window.PageButton(0)->geometry().top() >= 40);
    }

    void TheDeinterlaceChoiceIsKeptAndReachesTheEngine()
    {
        Preferences p = Preferences::Load(kTitle);
        QCOMPARE(p.deinterlace, QStringLiteral("Auto"));
        QCOMPARE(p.DeinterlaceMode(), kDeinterlaceAuto);
        {
            CPreferencesDlg window(p, kTitle);
            QCOMPARE(window.Deinterlace()->currentText(), QStringLiteral("Auto"));
            QCOMPARE(window.Deinterlace()->count(), 3);
            window.Deinterlace()->setCurrentText("Never");
            QVERIFY(window.OnOk());
            QCOMPARE(window.Writes(), 1);
        }
        QCOMPARE(QSettings(QStringLiteral("ZuZidero"), kTitle).value("strDeinterlace").toString(), QStringLiteral("Never"));
        const Preferences loaded = Preferences::Load(kTitle);
        QCOMPARE(loaded.DeinterlaceMode(), kDeinterlaceOff);
        CPreferencesDlg again(const_cast<Preferences&>(loaded), kTitle);
        QCOMPARE(again.Deinterlace()->currentText(), QStringLiteral("Never"));
        Preferences always = loaded;
        always.deinterlace = QStringLiteral("Always");
        QCOMPARE(always.DeinterlaceMode(), kDeinterlaceOn);
    }

    void CroppingBlackBarsAutomaticallyIsOffUntilTicked()
    {
        Preferences p = Preferences::Load(kTitle);
        QVERIFY(!p.autoCrop);
        {
            CPreferencesDlg window(p, kTitle);
            QCOMPARE(window.AutoCrop()->text(), QStringLiteral("Crop black bars automatically"));
            QVERIFY(!window.AutoCrop()->isChecked());
            window.AutoCrop()->setChecked(true);
            QVERIFY(window.OnOk());
            QCOMPARE(window.Writes(), 1);
        }
        QVERIFY(QSettings(QStringLiteral("ZuZidero"), kTitle).value("crop_auto").toBool());
        Preferences loaded = Preferences::Load(kTitle);
        QVERIFY(loaded.autoCrop);
        CPreferencesDlg again(loaded, kTitle);
        QVERIFY(again.AutoCrop()->isChecked());
    }

    void FileNamesTakeAPatternThatCanNameFiles()
    {
        Preferences p = Preferences::Load(kTitle);
        QVERIFY(p.namePattern.isEmpty()); // Title_01, as always
        CollectMessages messages;
        {
            CPreferencesDlg window(p, kTitle);
            QVERIFY(window.NamePattern()->text().isEmpty());
            window.NamePattern()->setText(QStringLiteral("{disc}/{title}"));
            QVERIFY(!window.OnOk());
            QCOMPARE(messages.messages.size(), 1);
            QVERIFY2(messages.messages[0].startsWith("Invalid file names\n"), qPrintable(messages.messages[0]));
            QVERIFY(p.namePattern.isEmpty());
            window.NamePattern()->setText(QStringLiteral(" {disc} - {title} "));
            QVERIFY(window.OnOk());
            QCOMPARE(window.Writes(), 1);
        }
        QCOMPARE(Preferences::Load(kTitle).namePattern, QStringLiteral("{disc} - {title}"));
    }

    void AStoredValueThatMatchesNoEntryLeavesItsListEmpty()
    {
        Preferences p = Preferences::Load(kTitle);
        p.cpuUsage = 55;
        CPreferencesDlg window(p, kTitle);
        QCOMPARE(window.CpuUsage()->currentIndex(), -1);
        QCOMPARE(window.ImageType()->currentText(), QStringLiteral("BMP"));
    }

    void SelectorChoiceAndSnapshotNames()
    {
        SaveSelectorChoice(7, 32852);
        QCOMPARE(LoadSelectorChoice(), std::make_pair(7, 32852));
        QSettings ini(SettingIniPath(), QSettings::IniFormat);
        QCOMPARE(ini.value("SETTING/DEFULTSUBID").toString(), QStringLiteral("32852"));
        struct tm when = {};
        when.tm_year = 2026 - 1900;
        when.tm_mon = 0;
        when.tm_mday = 2;
        when.tm_hour = 3;
        when.tm_min = 4;
        when.tm_sec = 5;
        QCOMPARE(SnapshotFileName("/pictures", "JPEG", when), QStringLiteral("/pictures/2026-01-02 03-04-05.JPEG"));
    }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"

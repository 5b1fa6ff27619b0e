#include "app/preferences_dlg.h"
#include "workspace/title_tasks.h"
#include "app/my_button.h"
#include "app/palette.h"
#include "app/skin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QWidget* FolderRow(QLineEdit* edit, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browse = new QPushButton(QStringLiteral("Browse.."), row);
    auto* open = new QPushButton(QStringLiteral("Open"), row);
    layout->addWidget(edit, 1);
    layout->addWidget(browse);
    layout->addWidget(open);
    QObject::connect(browse, &QPushButton::clicked, row, [edit, row] {
        const QString folder = QFileDialog::getExistingDirectory(row, QStringLiteral("Browser"), edit->text());
        if (!folder.isEmpty()) edit->setText(folder);
    });
    QObject::connect(open, &QPushButton::clicked, row, [edit] { OpenInDesktop(edit->window(), QUrl::fromLocalFile(edit->text())); });
    return row;
}

void SelectExact(QComboBox* box, const QString& value) { box->setCurrentIndex(box->findText(value, Qt::MatchExactly)); }

} // namespace

void CPreferencesDlg::MakeControls(const Preferences& preferences)
{
    m_outFolder = new QLineEdit(preferences.outFolder);
    m_snapFolder = new QLineEdit(preferences.snapFolder);
    m_imageType = new QComboBox;
    m_imageType->addItems({"BMP", "JPEG", "GIF"});
    m_action = new QComboBox;
    m_action->addItems({"No Action", "Shut Down"});
    m_cpuUsage = new QComboBox;
    m_cpuUsage->addItems({"50%", "60%", "70%", "80%", "90%", "100%"});
    m_deinterlace = new QComboBox;
    m_deinterlace->addItems({"Auto", "Always", "Never"});
    SelectExact(m_imageType, preferences.imageType);
    SelectExact(m_action, preferences.action);
    SelectExact(m_cpuUsage, QString::asprintf("%d%%", preferences.cpuUsage));
    SelectExact(m_deinterlace, preferences.deinterlace);
    if (m_deinterlace->currentIndex() < 0) m_deinterlace->setCurrentIndex(0);
    m_tickOnLoad = new QComboBox;
    m_tickOnLoad->addItems({"Every title", "The main title only", "Titles longer than"});
    SelectExact(m_tickOnLoad, preferences.tickOnLoad);
    if (m_tickOnLoad->currentIndex() < 0) m_tickOnLoad->setCurrentIndex(0);
    m_tickMinutes = new QSpinBox;
    m_tickMinutes->setRange(0, 600);
    m_tickMinutes->setSuffix(QStringLiteral(" minutes"));
    m_tickMinutes->setValue(preferences.tickMinutes);
    m_autoCrop = new QCheckBox(QStringLiteral("Crop black bars automatically"));
    m_autoCrop->setChecked(preferences.autoCrop);
}

CPreferencesDlg::CPreferencesDlg(Preferences& preferences, const QString& productTitle, QWidget* parent)
    : CSkinnedDialog(parent), m_preferences(preferences), m_title(productTitle)
{
    setWindowTitle(QStringLiteral("Preferences"));
    MakeControls(preferences);
    auto* language = new QComboBox;
    language->addItem(QStringLiteral("English"));
    auto* skin = new QComboBox;
    skin->addItem(QStringLiteral("Default"));

    auto* general = new QWidget;
    auto* generalForm = new QFormLayout(general);
    generalForm->addRow(QStringLiteral("Output Folder"), FolderRow(m_outFolder, general));
    generalForm->addRow(QStringLiteral("SnapShot Folder"), FolderRow(m_snapFolder, general));
    generalForm->addRow(QStringLiteral("Image Type"), m_imageType);
    m_namePattern = new QLineEdit(preferences.namePattern);
    m_namePattern->setPlaceholderText(QStringLiteral("Title_01 (the default)"));
    m_namePattern->setToolTip(QStringLiteral("A pattern for the output files' names: {disc} is the disc's name, {title} and {chapter} "
                                             "their numbers. \"{disc} - {title}\" gives \"MY_MOVIE - 01.mp4\". Empty: Title_01, "
                                             "and Chapter_01_02 for a chapter."));
    generalForm->addRow(QStringLiteral("File names"), m_namePattern);
    auto* options = new QWidget;
    auto* optionsForm = new QFormLayout(options);
    optionsForm->addRow(QStringLiteral("Converting Done"), m_action);
    optionsForm->addRow(QStringLiteral("CPU Usage"), m_cpuUsage);
    optionsForm->addRow(QStringLiteral("Deinterlace"), m_deinterlace);
    auto* tickRow = new QHBoxLayout;
    tickRow->addWidget(m_tickOnLoad, 1);
    tickRow->addWidget(m_tickMinutes);
    optionsForm->addRow(QStringLiteral("When a disc is loaded, tick"), tickRow);
    optionsForm->addRow(QString(), m_autoCrop);
    optionsForm->addRow(QStringLiteral("Change Language"), language);
    optionsForm->addRow(QStringLiteral("Change Skin"), skin);
    m_pages = new QStackedWidget;
    m_pages->addWidget(general);
    m_pages->addWidget(options);

    auto* pageButtons = new QHBoxLayout;
    auto* generalButton = new QPushButton(QStringLiteral("General"));
    auto* optionsButton = new QPushButton(QStringLiteral("Options"));
    generalButton->setCheckable(true);
    optionsButton->setCheckable(true);
    generalButton->setAutoExclusive(true);
    optionsButton->setAutoExclusive(true);
    generalButton->setChecked(true);
    // The active tab stands out in the accent colour.
    const QString tabStyle =
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 4px; padding: 3px 14px; }"
                       "QPushButton:checked { background: %4; color: white; border-color: %4; }")
            .arg(skin::kButton.name(), skin::kSoftText.name(), skin::kPanelLine.name(), skin::kAccent.name());
    generalButton->setStyleSheet(tabStyle);
    optionsButton->setStyleSheet(tabStyle);
    m_pageButtons[0] = generalButton;
    m_pageButtons[1] = optionsButton;
    pageButtons->addWidget(generalButton);
    pageButtons->addWidget(optionsButton);
    pageButtons->addStretch(1);
    connect(generalButton, &QPushButton::clicked, this, [this] { ShowPage(0); });
    connect(optionsButton, &QPushButton::clicked, this, [this] { ShowPage(1); });

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (OnOk()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 46, 12, 12); // under the skin's title bar
    layout->addLayout(pageButtons);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);
    // The skin, as the main window wears it: a drawn window with its title and a close button.
    SetBackground("preferences_bg.png", QSize(600, 310));
    auto* close = new CMyButton(QStringLiteral("x"), this);
    close->SetPictures("close.png", width() - 30, 8, Background());
    connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
}

void CPreferencesDlg::ShowPage(int page)
{
    m_pages->setCurrentIndex(page);
    if (QPushButton* tab = PageButton(page)) tab->setChecked(true);
}

bool CPreferencesDlg::OnOk()
{
    m_writes = 0;
    {
        QSettings probe(QStringLiteral("ZuZidero"), m_title);
        if (!probe.isWritable()) return false;
    }
    if (const std::string refusal = NamePatternRefusal(m_namePattern->text().trimmed().toStdString()); !refusal.empty()) {
        ShowPage(0);
        ShowMessage(this, QStringLiteral("Invalid file names\nThe pattern ") + m_namePattern->text() + QStringLiteral(" cannot name files: ") +
                              QString::fromStdString(refusal) + QStringLiteral("."));
        return false;
    }
    auto text = [this](const char* name, QString& current, const QString& shown) {
        if (shown == current) return;
        current = shown;
        Preferences::Write(m_title, QString::fromLatin1(name), shown);
        ++m_writes;
    };
    text("strOutFolder", m_preferences.outFolder, m_outFolder->text());
    text("strSnapFolder", m_preferences.snapFolder, m_snapFolder->text());
    text("strImageType", m_preferences.imageType, m_imageType->currentText());
    text("strAction", m_preferences.action, m_action->currentText());
    text("strDeinterlace", m_preferences.deinterlace, m_deinterlace->currentText());
    text("strTickOnLoad", m_preferences.tickOnLoad, m_tickOnLoad->currentText());
    text("strNamePattern", m_preferences.namePattern, m_namePattern->text().trimmed());
    if (m_tickMinutes->value() != m_preferences.tickMinutes) {
        m_preferences.tickMinutes = m_tickMinutes->value();
        Preferences::Write(m_title, QStringLiteral("tick_minutes"), m_preferences.tickMinutes);
        ++m_writes;
    }
    if (m_autoCrop->isChecked() != m_preferences.autoCrop) {
        m_preferences.autoCrop = m_autoCrop->isChecked();
        Preferences::Write(m_title, QStringLiteral("crop_auto"), m_preferences.autoCrop);
        ++m_writes;
    }
    int cpu = 0;
    if (std::sscanf(m_cpuUsage->currentText().toLatin1().constData(), "%d%%", &cpu) == 1 && cpu != m_preferences.cpuUsage) {
        m_preferences.cpuUsage = cpu;
        Preferences::Write(m_title, QStringLiteral("cpu_usage"), cpu);
        ++m_writes;
    }
    return true;
}

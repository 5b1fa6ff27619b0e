#include "app/main_skin.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QUrl>

#include "app/about_dlg.h"
#include "app/busy_bar.h"
#include "app/column_tree_ctrl.h"
#include "app/help_dlg.h"
#include "app/my_button.h"
#include "app/my_static.h"
#include "app/preview_pane.h"
#include "app/skin.h"
#include "app/skinned_dialog.h"
#include "app/source_chooser.h"
#include "app/zuzidero_dlg.h"

QString ButtonTip(const QString& text)
{
    // What a button does, beyond the name its picture shows, with its key where it has one.
    static const std::pair<const char*, const char*> kTips[] = {
        {"Add File", "Load a disc, a DVD or Blu-ray folder, an ISO image or a video file (Alt+A)"},
        {"Effect", "Brightness, hue, saturation and volume of the selected title (Ctrl+E)"},
        {"Crop", "Cut the black bars or a part of the selected title's picture (Ctrl+R)"},
        {"Trim", "Convert only a part of the selected title (Ctrl+T)"},
        {"Preferences", "Folders, file names, what a load ticks, deinterlacing and the processor's share"},
        {"File", "Loading, properties, eject and exit (Alt+F)"},
        {"Edit", "Ticking the titles and their properties (Alt+E)"},
        {"Clip", "Trim, crop and effects of the selected title (Alt+C)"},
        {"Option", "Preferences and what happens after a conversion (Alt+O)"},
        {"Help", "The manual, the home page and the program's version (Alt+H)"},
        {"Minimise", "Minimise the window"},
        {"Close", "Close ZuZidero (Ctrl+Q)"},
        {"Start", "Convert the ticked titles into the output folder"},
        {"Settings", "The profile's picture, sound and subtitle settings, and Save as"},
        {"Browse..", "Choose the folder the files are written into"},
        {"Open Folder", "Show the output folder in the file manager"},
        {"Previous", "Play the title before the selected one"},
        {"Play", "Play the selected title"},
        {"Pause", "Pause the preview"},
        {"Stop", "Stop the preview"},
        {"Next", "Play the title after the selected one"},
        {"Snapshot", "Save the picture on screen into the snapshot folder"},
        {"Open snapshot folder", "Show the snapshot folder in the file manager"},
    };
    for (const auto& [name, tip] : kTips)
        if (text == QLatin1String(name)) return QString::fromUtf8(tip);
    return text;
}

CMyButton* PlaceButton(CSkinnedDialog* window, const char* text, const char* picture, QPoint at, std::function<void()> clicked)
{
    auto* button = new CMyButton(QString::fromLatin1(text), window);
    button->SetPictures(QString::fromLatin1(picture), at.x(), at.y(), window->Background());
    button->setToolTip(ButtonTip(button->text()));
    if (clicked) QObject::connect(button, &QAbstractButton::clicked, window, std::move(clicked));
    return button;
}

QMenu* DropDownMenu(CSkinnedDialog* window, CMyButton* button, int key)
{
    auto* menu = new QMenu(window);
    auto open = [button, menu] { menu->popup(button->mapToGlobal(QPoint(0, button->height()))); };
    QObject::connect(button, &QAbstractButton::clicked, window, open);
    auto* opener = new QAction(window);
    opener->setShortcut(QKeySequence(Qt::ALT | key));
    QObject::connect(opener, &QAction::triggered, window, open);
    window->addAction(opener);
    return menu;
}

void CWindowPlaces::Record(CSkinnedDialog* window, const std::vector<QWidget*>& growing)
{
    m_places.clear();
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue; // menus and dialogs
        Place::Kind kind = Place::kMoves;
        if (std::find(growing.begin(), growing.end(), w) != growing.end())
            kind = Place::kGrows;
        else if (w->y() < 36 && w->x() >= 400) // the menu and window buttons keep to the right
            kind = Place::kTitleBar;
        else if (w->y() < 100) // the title and the tool buttons keep their places
            kind = Place::kStays;
        m_places.push_back({w, w->geometry(), kind});
    }
}

void CWindowPlaces::Apply(CSkinnedDialog* window) const
{
    const int wider = window->width() - window->PictureSize().width();
    for (const Place& place : m_places) {
        QWidget* w = place.widget;
        if (!w || w->parentWidget() != window) continue; // the preview while it is full screen
        switch (place.kind) {
        case Place::kGrows: w->setGeometry(window->Stretched(place.rect)); break;
        case Place::kTitleBar: w->move(place.rect.topLeft() + QPoint(wider, 0)); break;
        case Place::kMoves: w->move(window->Stretched(place.rect.topLeft())); break;
        case Place::kStays: break;
        }
        if (auto* button = qobject_cast<CMyButton*>(w)) button->TakeBackground(window->Background());
    }
}

// ---- The main window's skin ----

namespace {

constexpr const char* kSupportPage = "https://zuzidero.org/support";

struct MainMenus {
    QMenu *add, *file, *edit, *clip, *option, *help;
};

// The buttons along the top: the tool buttons and the menu buttons with their menus.
MainMenus PlaceTopButtons(CZuZideroDlg* window)
{
    auto* addFile = PlaceButton(window, "Add File", "addfile.png", {19, 40});
    PlaceButton(window, "Effect", "effect.png", {134, 40}, [window] { window->OpenEditor(2); });
    PlaceButton(window, "Crop", "crop.png", {248, 40}, [window] { window->OpenEditor(1); });
    PlaceButton(window, "Trim", "trim.png", {363, 40}, [window] { window->OpenEditor(0); });
    PlaceButton(window, "Preferences", "Preferences.png", {477, 40}, [window] { window->OnPreferences(); });
    MainMenus menus{};
    menus.add = DropDownMenu(window, addFile, Qt::Key_A);
    menus.file = DropDownMenu(window, PlaceButton(window, "File", "file.png", {414, 0}), Qt::Key_F);
    menus.edit = DropDownMenu(window, PlaceButton(window, "Edit", "edit.png", {468, 0}), Qt::Key_E);
    menus.clip = DropDownMenu(window, PlaceButton(window, "Clip", "clip.png", {524, 0}), Qt::Key_C);
    menus.option = DropDownMenu(window, PlaceButton(window, "Option", "option.png", {585, 0}), Qt::Key_O);
    menus.help = DropDownMenu(window, PlaceButton(window, "Help", "help.png", {658, 0}), Qt::Key_H);
    PlaceButton(window, "Minimise", "min.png", {755, 9}, [window] { window->showMinimized(); });
    PlaceButton(window, "Close", "close.png", {787, 9}, [window] { window->close(); });
    // The list's own buttons are kept off the picture; their commands are in the menus.
    PlaceButton(window, "Clear All", "clear all.png", {343, 397})->hide();
    PlaceButton(window, "Rename", "rename.png", {432, 397})->hide();
    PlaceButton(window, "Move Up", "move up.png", {518, 397})->hide();
    PlaceButton(window, "Move Down", "move down.png", {607, 397})->hide();
    PlaceButton(window, "Properties", "properties.png", {693, 397})->hide();
    PlaceButton(window, "Start", "star.png", {674, 416}, [window] { window->OnStart(); });
    return menus;
}

// The menus' entries after the loaders; the shortcuts work while the menus are closed.
void FillMenus(CZuZideroDlg* window, const MainMenus& menus, QAction* eject, const QString& homePage)
{
    auto add = [window](QMenu* menu, const QString& text, std::function<void()> run, const QKeySequence& keys = {}) {
        QAction* action = menu->addAction(text);
        action->setShortcut(keys);
        QObject::connect(action, &QAction::triggered, window, std::move(run));
        if (!keys.isEmpty()) window->addAction(action);
    };
    add(menus.file, QStringLiteral("&Properties"), [window] { window->OnProperties(); });
    menus.file->addAction(eject);
    menus.file->addSeparator();
    add(menus.file, QStringLiteral("E&xit"), [window] { window->close(); }, QKeySequence(Qt::CTRL | Qt::Key_Q));
    add(menus.edit, QStringLiteral("&Clear All"), [window] { window->OnClearAll(); });
    add(menus.edit, QStringLiteral("C&heck All"), [window] { window->TitleList()->CheckAll(true); }, QKeySequence(Qt::CTRL | Qt::Key_A));
    add(menus.edit, QStringLiteral("&UnCheck All"), [window] { window->TitleList()->CheckAll(false); },
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    add(menus.edit, QStringLiteral("Tick the &main title only"), [window] { window->OnTickMainOnly(); });
    add(menus.edit, QStringLiteral("&Properties"), [window] { window->OnProperties(); });
    add(menus.clip, QStringLiteral("&Trim"), [window] { window->OpenEditor(0); }, QKeySequence(Qt::CTRL | Qt::Key_T));
    add(menus.clip, QStringLiteral("&Crop"), [window] { window->OpenEditor(1); }, QKeySequence(Qt::CTRL | Qt::Key_R));
    add(menus.clip, QStringLiteral("&Effect"), [window] { window->OpenEditor(2); }, QKeySequence(Qt::CTRL | Qt::Key_E));
    add(menus.option, QStringLiteral("&Preferences"), [window] { window->OnPreferences(); }, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    // The help in the program's own window (one at a time).
    add(menus.help, QStringLiteral("&Help Content"), [window] {
            CHelpDlg* help = window->findChild<CHelpDlg*>();
            if (!help) help = new CHelpDlg(window);
            help->show();
            help->raise();
            help->activateWindow();
        },
        QKeySequence(QKeySequence::HelpContents));
    add(menus.help, QStringLiteral("&Support"), [window] { OpenInDesktop(window, QUrl(QString::fromLatin1(kSupportPage))); });
    add(menus.help, QStringLiteral("Home &Page"), [window, homePage] { OpenInDesktop(window, QUrl(homePage)); });
    add(menus.help, QStringLiteral("&About"), [window, homePage] {
        CAboutDlg about(window->ProductTitle(), homePage, QString::fromLatin1(kSupportPage), window);
        about.exec();
    });
}

} // namespace

void CZuZideroDlg::BuildSkin()
{
    SetBackground("maindlg.png", QSize(820, 540));
    m_titleLabel = new CMyStatic(m_productTitle, this);
    m_titleLabel->setGeometry(44, 6, 360, 26);
    QFont bold = m_titleLabel->font();
    bold.setBold(true);
    bold.setPointSizeF(11);
    m_titleLabel->setFont(bold);
    m_titleLabel->SetBackground(Background());
    const MainMenus menus = PlaceTopButtons(this);

    m_list = new CColumnTreeCtrl(this);
    m_list->setGeometry(335, 110, 454, 238);
    m_list->hide();
    connect(m_list, &CColumnTreeCtrl::playRequested, this, [this](QTreeWidgetItem* item) {
        m_list->setCurrentItem(item);
        m_preview->OnStop();
        m_preview->OnPlay();
    });
    m_gettingStarted = new QLabel(this);
    m_gettingStarted->setGeometry(335, 110, 454, 238);
    m_gettingStarted->setPixmap(LoadSkin("getting started.bmp"));
    m_gettingStarted->setAlignment(Qt::AlignCenter);
    m_gettingStarted->setToolTip(QStringLiteral("Add File loads a DVD or Blu-ray disc from a drive or a folder, an ISO image, "
                                                "or an MPEG or TS video file."));
    m_busy = new CBusyBar(this);
    m_busy->setGeometry(335, 110, 454, m_busy->sizeHint().height());
    connect(m_busy, &CBusyBar::cancelRequested, this, [this] {
        if (m_loadJob) m_work->Cancel(m_loadJob);
    });

    auto* eject = new QAction(QStringLiteral("E&ject"), this);
    connect(eject, &QAction::triggered, this, &CZuZideroDlg::OnEject);
    m_sources = new CSourceChooser(this, menus.file, menus.add, eject, m_prefs, m_productTitle);
    connect(m_sources, &CSourceChooser::loadRequested, this, &CZuZideroDlg::LoadDisc);
    FillMenus(this, menus, eject, m_homePage);
}

#pragma once
// The main window's skin: its buttons cut from pictures at their places on the background, the
// menus that drop down under the menu buttons, and how each control moves or grows when the
// window grows from its picture's size.

#include <QPointer>
#include <QRect>
#include <functional>
#include <vector>

class CMyButton;
class CSkinnedDialog;
class QMenu;
class QWidget;

// A button drawn from `picture`'s frames at `at` of the unstretched picture, with its text as
// its tip; `clicked`, when given, is called on a click.
// A picture button's tooltip: what it does, beyond the name it shows.
QString ButtonTip(const QString& text);
CMyButton* PlaceButton(CSkinnedDialog* window, const char* text, const char* picture, QPoint at, std::function<void()> clicked = {});
// A menu that drops down under `button` when it is clicked (and with Alt and `key`).
QMenu* DropDownMenu(CSkinnedDialog* window, CMyButton* button, int key);

// The controls' places at the picture's size: the list, the preview and the lines named as
// growing take what the window gains; the title and the tool buttons keep their places, the
// menu and window buttons keep to the right, the rest moves with the stretched picture.
class CWindowPlaces {
public:
    void Record(CSkinnedDialog* window, const std::vector<QWidget*>& growing);
    void Apply(CSkinnedDialog* window) const;

private:
    struct Place {
        QPointer<QWidget> widget;
        QRect rect;
        enum Kind { kMoves, kGrows, kTitleBar, kStays } kind;
    };
    std::vector<Place> m_places;
};

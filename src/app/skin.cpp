#include "app/skin.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPalette>
#include <QStyleFactory>

#include "profiles/profile_catalogue.h"

namespace {
MessageHook& Hook()
{
    static MessageHook hook;
    return hook;
}
} // namespace

QString DataFile(const QString& name) { return QString::fromStdString(FindDataFile(name.toStdString())); }

QString SkinFile(const QString& name)
{
    // A full path names its picture directly.
    return QFileInfo(name).isAbsolute() ? name : DataFile("skin/" + name);
}

QPixmap LoadSkin(const QString& name) { return QPixmap(SkinFile(name)); }

void ShowMessage(QWidget* parent, const QString& text)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("ZuZidero"), text, QMessageBox::Ok, parent);
    box.exec();
}

void SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

void ApplyTheme(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor window(0x24, 0x29, 0x31), base(0x1b, 0x20, 0x27), text(0xf1, 0xf4, 0xf8), accent(0x2f, 0x80, 0xed);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x22, 0x28, 0x31));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x38, 0x40, 0x4c));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(49, 106, 197));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0xa5, 0xb4));
    p.setColor(QPalette::Link, QColor(0x6f, 0xa8, 0xff));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6b, 0x74, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6b, 0x74, 0x80));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6b, 0x74, 0x80));
    app.setPalette(p);
    app.setStyleSheet(QStringLiteral(
        "QComboBox, QLineEdit { background: #1b2027; color: #f1f4f8; border: 1px solid #454e5c; border-radius: 4px; padding: 2px 6px; }"
        "QComboBox QAbstractItemView { background: #1b2027; color: #f1f4f8; selection-background-color: #2f80ed; }"
        "QTreeWidget { background: #1b2027; color: #f1f4f8; border: none; }"
        "QTreeWidget::item:selected { background: #316ac5; color: white; }"
        "QHeaderView::section { background: #2a3039; color: #9aa5b4; border: none; border-right: 1px solid #454e5c; padding: 3px; }"
        "QMenu { background: #2a3039; color: #f1f4f8; border: 1px solid #454e5c; }"
        "QMenu::item:selected { background: #2f80ed; }"
        "QGroupBox { border: 1px solid #454e5c; border-radius: 6px; margin-top: 14px; padding-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; color: #9aa5b4; }"));
}

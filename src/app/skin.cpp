#include "app/skin.h"
#include "app/msg_dlg.h"
#include "app/palette.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPainter>
#include <QPalette>
#include <QStyleFactory>

#include "com/debug_log.h"
#include "profiles/profile_catalogue.h"
#include "workspace/plain_words.h"

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

bool IsFailureMessage(const QString& text)
{
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString title = (lineEnd < 0 ? text : text.left(lineEnd)).trimmed();
    return title.contains(QStringLiteral("error"), Qt::CaseInsensitive) || title.startsWith(QStringLiteral("Could not")) ||
           title.contains(QStringLiteral("cannot"), Qt::CaseInsensitive) || title.contains(QStringLiteral("Invalid"));
}

void FillMessage(CMsgDlg& box, const QString& text)
{
    // The first line is the window's title.
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    const QString title = (lineEnd < 0 ? text : text.left(lineEnd)).trimmed();
    const QString rest = lineEnd < 0 ? QString() : text.mid(lineEnd + 1).trimmed();
    const std::string plain = PlainWordsFor(text.toStdString());
    if (plain.empty()) {
        box.SetMessage(title, rest);
        return;
    }
    DebugLog("message: %s\n", text.toUtf8().constData());
    box.SetMessage(title, QString::fromStdString(plain));
    box.SetTechnical(rest);
}

void ShowMessage(QWidget* parent, const QString& text)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    // A failure wears the error icon.
    CMsgDlg box(IsFailureMessage(text) ? CMsgDlg::kError : CMsgDlg::kInformation, parent);
    FillMessage(box, text);
    box.exec();
}

void SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

bool OpenInDesktop(QWidget* parent, const QUrl& url)
{
    const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toString();
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        ShowMessage(parent, QStringLiteral("Could not open ") + shown + QStringLiteral("\nIt does not exist."));
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        ShowMessage(parent, QStringLiteral("Could not open ") + shown + QStringLiteral("\nNo program on this computer is set to open it."));
        return false;
    }
    return true;
}

void DrawFocusMark(QPainter& painter, const QRect& area)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(skin::kFocus, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(area).adjusted(1, 1, -1, -1), 4, 4);
    painter.restore();
}

void ApplyTheme(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor& window = skin::kWindow;
    const QColor& base = skin::kField;
    const QColor& text = skin::kText;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, base.lighter(115));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, skin::kButton);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, skin::kSelection);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, skin::kMuted);
    p.setColor(QPalette::Link, skin::kLink);
    p.setColor(QPalette::Disabled, QPalette::Text, skin::kDisabled);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, skin::kDisabled);
    p.setColor(QPalette::Disabled, QPalette::WindowText, skin::kDisabled);
    app.setPalette(p);
    // The focus ring is the same bright line on every control that takes the keyboard.
    const QString focus = skin::kFocus.name();
    app.setStyleSheet(QStringLiteral(
        "QComboBox, QLineEdit { background: #1b2027; color: #f1f4f8; border: 1px solid #454e5c; border-radius: 4px; padding: 2px 6px; }"
        "QComboBox:focus, QLineEdit:focus, QSpinBox:focus, QDoubleSpinBox:focus { border: 2px solid FOCUS; }"
        "QTreeWidget:focus, QTextBrowser:focus, QListWidget:focus { border: 2px solid FOCUS; }"
        "QPushButton { background: #2a3039; color: #f1f4f8; border: 1px solid #454e5c; border-radius: 4px; padding: 4px 12px; }"
        "QPushButton:hover { background: #333a45; } QPushButton:pressed { background: #1b2027; }"
        "QPushButton:default { border-color: #2f80ed; } QPushButton:disabled { color: #6b7480; }"
        "QPushButton:focus { border: 2px solid FOCUS; }"
        "QCheckBox:focus, QRadioButton:focus { border: 2px solid FOCUS; border-radius: 4px; }"
        "QComboBox QAbstractItemView { background: #1b2027; color: #f1f4f8; selection-background-color: #2f80ed; }"
        "QTreeWidget { background: #1b2027; color: #f1f4f8; border: none; }"
        "QTreeWidget::item:selected { background: #316ac5; color: white; }"
        "QHeaderView::section { background: #2a3039; color: #9aa5b4; border: none; border-right: 1px solid #454e5c; padding: 3px; }"
        "QMenu { background: #2a3039; color: #f1f4f8; border: 1px solid #454e5c; }"
        "QMenu::item:selected { background: #2f80ed; }"
        "QMenu::item:disabled { color: #6b7480; }"
        "QGroupBox { border: 1px solid #454e5c; border-radius: 6px; margin-top: 14px; padding-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; color: #9aa5b4; }")
                          .replace(QStringLiteral("FOCUS"), focus));
}

#pragma once
// CPreferencesDlg: the preferences window, two pages (general and options). "OK" writes each
// value that changed and closes; "Cancel" closes without writing.

#include "app/skinned_dialog.h"

#include "app/preferences.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

class CPreferencesDlg : public CSkinnedDialog {
    Q_OBJECT
public:
    CPreferencesDlg(Preferences& preferences, const QString& productTitle, QWidget* parent = nullptr);

    QLineEdit* OutFolder() const { return m_outFolder; }
    QLineEdit* SnapFolder() const { return m_snapFolder; }
    QLineEdit* NamePattern() const { return m_namePattern; }
    QComboBox* ImageType() const { return m_imageType; }
    QComboBox* Action() const { return m_action; }
    QComboBox* CpuUsage() const { return m_cpuUsage; }
    QComboBox* Deinterlace() const { return m_deinterlace; }
    QComboBox* TickOnLoad() const { return m_tickOnLoad; }
    QSpinBox* TickMinutes() const { return m_tickMinutes; }
    QCheckBox* AutoCrop() const { return m_autoCrop; }
    void ShowPage(int page);
    // Writes what changed; false (window stays open) when the store cannot be written.
    bool OnOk();
    // The tab of the shown page (0 General, 1 Options).
    QPushButton* PageButton(int page) const { return page == 0 || page == 1 ? m_pageButtons[page] : nullptr; }
    // How many values the last OK wrote.
    int Writes() const { return m_writes; }

private:
    // The choices' controls, set to the preferences.
    void MakeControls(const Preferences& preferences);
    Preferences& m_preferences;
    QString m_title;
    QLineEdit *m_outFolder, *m_snapFolder, *m_namePattern;
    QComboBox *m_imageType, *m_action, *m_cpuUsage, *m_deinterlace, *m_tickOnLoad;
    QSpinBox* m_tickMinutes;
    QCheckBox* m_autoCrop;
    QStackedWidget* m_pages;
    QPushButton* m_pageButtons[2] = {nullptr, nullptr}; // the tabs: the shown page's is checked
    int m_writes = 0;
};

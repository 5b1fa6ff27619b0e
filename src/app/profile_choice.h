#pragma once
// CProfileChoice: the main window's output profile: the format selector (with "My Profiles",
// those saved with "Save as..."), the hidden list of every catalogue profile, and the Settings
// window that edits the profile in use. It says when another profile (another kind of file) is
// in use.

#include <QObject>

#include "profiles/profile_catalogue.h"

class BeautyCombobox;
class CMyButton;
class CSkinnedDialog;
class QComboBox;

class CProfileChoice : public QObject {
    Q_OBJECT
public:
    explicit CProfileChoice(CSkinnedDialog* window);

    const ProfileRecord& CurrentProfile() const { return m_current; }
    ProfileCatalogue& Catalogue() { return m_catalogue; }
    bool CatalogueLoaded() const { return m_catalogueLoaded; }
    BeautyCombobox* Selector() const { return m_selector; }
    CMyButton* SettingsButton() const { return m_settings; }
    // The selector's choice for the next start, with the profile's changes made in Settings.
    void SaveChoice();
    // The selector may reach `right`: it takes the width its name needs, never less than its picture's.
    void Fit(int right);

signals:
    // The profile in use changed (its file name extension may have).
    void profileChanged();

public slots:
    // A format command from the selector: selects its profile.
    void OnFormatCommand(int command);
    void OnSettings();

private:
    void LoadCatalogue(CSkinnedDialog* window);
    void FillSelector();
    void SelectProfileById(int id, bool report);
    // The selector's "My Profiles" lists the profiles saved with "Save as...".
    void RefreshMyProfiles();
    // After Settings: the selector names the profile in use.
    void ShowEdited();
    // The changes made in Settings before the last exit, to the profile the selector brought back.
    void TakeKeptChanges();

    CSkinnedDialog* m_window;
    ProfileCatalogue m_catalogue;
    bool m_catalogueLoaded = false;
    ProfileRecord m_current;
    BeautyCombobox* m_selector = nullptr;
    QComboBox* m_profileList = nullptr;
    CMyButton* m_settings = nullptr;
    int m_right = 664;
};

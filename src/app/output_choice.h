#pragma once
// COutputChoice: where the main window's run writes: the output folder (typed, or chosen with
// Browse; Open Folder shows it), "Merge into one file", and what to do with each file whose
// name is taken in the folder, asked file by file before the run starts.

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "workspace/workspace_run.h"

class CMyCheckBox;
class CSkinnedDialog;
class QLineEdit;
struct Preferences;

class COutputChoice : public QObject {
    Q_OBJECT
public:
    // `prefs` keeps the folder (written under `productTitle` when it changes).
    COutputChoice(CSkinnedDialog* window, Preferences& prefs, const QString& productTitle);

    QLineEdit* OutputBox() const { return m_output; }
    CMyCheckBox* MergeBox() const { return m_merge; }
    bool Merge() const;
    // The folder typed, made when it is not there yet; empty (with a message shown) when a run
    // cannot write into it. A folder that is there but takes no files is refused now, not after
    // the run has begun.
    QString UsableFolder();
    // The folder as the preferences keep it, shown again.
    void ShowFolder();

    // What to do with a file of the run whose name is taken in the output folder; `forAll`
    // answers the same for the files after it.
    enum class NameAnswer { kOverwrite, kKeepBoth, kSkip, kCancel };
    struct NameChoice {
        NameAnswer answer = NameAnswer::kCancel;
        bool forAll = false;
    };
    // Tests answer the question instead of the user (`left`: the taken names after this one).
    void SetNameQuestion(std::function<NameChoice(const QString& name, int left)> ask) { m_askName = std::move(ask); }
    // The answers for the run's file names taken in `folder`: how each is written, and those
    // skipped. Nothing when the user cancels, or skips every file (with a message).
    struct TakenNames {
        std::map<std::string, IfNameTaken> rules;
        std::set<std::string> skipped;
    };
    std::optional<TakenNames> AskAboutTakenNames(const QString& folder, const std::vector<std::string>& outputs);

public slots:
    void OnBrowse();
    void OnOpenFolder();

private:
    NameChoice AskAboutName(const QString& name, int left);
    void WriteFolder(const QString& folder);

    CSkinnedDialog* m_window;
    Preferences& m_prefs;
    QString m_productTitle;
    QLineEdit* m_output = nullptr;
    CMyCheckBox* m_merge = nullptr;
    std::function<NameChoice(const QString&, int)> m_askName;
};

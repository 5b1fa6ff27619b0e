#pragma once
// UserProfiles: profiles the user saved from the settings window ("Save as..."), kept beside the
// user's settings. They follow the catalogue's profiles and have indices from kFirstIndex on;
// the catalogue file itself is never written.

#include <QString>
#include <vector>

#include "profiles/profile_record.h"

class UserProfiles {
public:
    static constexpr int kFirstIndex = 10000;

    static QString FilePath();
    static std::vector<ProfileRecord> Load();
    // Saves `record` under `name` with a new index; returns that index, or −1 when the file
    // cannot be written (nothing is saved then).
    static int Add(ProfileRecord record, const QString& name);
    // False when there is no user profile with that index, or the file cannot be written.
    static bool Remove(int index);
    static bool Find(int index, ProfileRecord* record);
    static bool IsUserIndex(int index) { return index >= kFirstIndex; }
    // One record at the settings' current group or array entry.
    static ProfileRecord ReadRecord(const class QSettings& store);
    static void WriteRecord(class QSettings& store, const ProfileRecord& record);

private:
    // False when the file cannot be written.
    static bool Save(const std::vector<ProfileRecord>& records);
};

#pragma once
// ProfileCatalogue: every profile of "Format.xml", in file order, with one recursive lock. It is
// filled once at start-up and read afterwards; the settings window edits copies.

#include <functional>
#include <list>
#include <mutex>
#include <string>

#include "profiles/profile_record.h"

class XmlDocument;

class ProfileCatalogue {
public:
    using Node = std::list<ProfileRecord>::const_iterator;

    // Reads a catalogue file; false when it cannot be loaded or parsed. A file without profiles
    // loads as an empty catalogue.
    bool Load(const std::string& path);
    // Reads a catalogue from an already loaded document (tests and the fuzzer).
    void LoadFrom(XmlDocument& document);
    // Reads the profiles added after the seed's catalogue ("Format-added.xml"): appended, their
    // indexes following those read before. False when the file cannot be loaded.
    bool LoadAdded(const std::string& path);

    // Hold the lock while walking the nodes from First to End.
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }
    Node First() const { return m_records.begin(); }
    Node End() const { return m_records.end(); }
    std::size_t Count();

    // Copies the first record with that index; false when there is none.
    bool FindByIndex(int index, ProfileRecord* destination);
    // Appends a copy at the tail.
    void Append(const ProfileRecord& record);
    // Changes every record in place (a program's own defaults over the file's).
    void Change(const std::function<void(ProfileRecord&)>& change);
    // Unlinks and frees every node.
    void Clear();
    // Why the last Load or LoadAdded failed: the file and the reason ("/usr/share/zuzidero/
    // Format.xml: No such file or directory", "…: not well formed (unended_start_tag)"); empty
    // after a success.
    std::string LoadProblem();

private:
    std::recursive_mutex m_lock;
    std::list<ProfileRecord> m_records; // guarded by m_lock: a doubly linked list in file order
    int m_nextIndex = 0;                 // guarded by m_lock: the index the next profile read takes
    std::string m_problem;               // guarded by m_lock
    void Read(XmlDocument& document);
};

// Loads "Format.xml" and the added profiles, from where FindDataFile finds them; false when the
// seed's catalogue cannot be loaded.
bool LoadProfiles(ProfileCatalogue& catalogue);

// Reads one profile's fields at the document's cursor (inside a Profile element).
void ReadProfileFields(XmlDocument& document, ProfileRecord& record);

// What "Set.xml" says: the application's title and web address (empty when unreadable).
struct SetFile {
    std::string title;
    std::string url;
    bool Load(const std::string& path);
};

// Where a data file ("Format.xml", "Set.xml", skin pictures, the help page) is: the current
// directory first, then the installed data folder, then next to the executable in a build tree.
// Returns the name as given when it is nowhere.
std::string FindDataFile(const std::string& name);

#pragma once
// Putting a run's finished file into place: a finished file takes its name (replacing an old file
// only when the user said so, and only now that it is whole), a cancelled run's part goes
// beside the name as "NAME (partial).EXT" (a finished name always means a whole file), and a
// failed file is removed. A name taken while the file was converted takes nothing of the run's
// work: the file goes beside it, and the run says where.

#include <string>

#include "convert/run_tasks.h"
#include "write/part_file.h"

// How a file ends: finished (moved into place), cancelled (beside its name), or discarded.
enum class FileEnd { kComplete, kCancelled, kDiscard };

struct FilePlacement {
    bool placed = false;
    std::string file;    // where the file is now, when placed
    std::string notice;  // what the run says of a placed file (it went beside a new name), or empty
    std::string failure; // why it was not placed, with what became of it, or empty
};

// `part` holds the file meant for `path`, `closed` whole or not (`reason`: why not). A discarded
// file is not placed, with no words unless its part cannot be removed (its task has said why).
FilePlacement PlaceFile(PartFile& part, const std::string& path, FileEnd end, IfNameTaken rule, bool closed,
                        const std::string& reason);

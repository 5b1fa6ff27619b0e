#include "convert/file_placement.h"

#include <filesystem>

FilePlacement PlaceFile(PartFile& part, const std::string& path, FileEnd end, IfNameTaken rule, bool closed, const std::string& reason)
{
    FilePlacement result;
    const std::string name = std::filesystem::path(path).filename().string();
    if (end == FileEnd::kDiscard) {
        // A task that failed alone: nothing of it stays, and an old file keeps its place.
        const std::string unfinished = part.Path();
        if (!part.Discard()) result.failure = "The unfinished part of " + name + " could not be removed: " + unfinished;
        return result;
    }
    std::string why = reason;
    if (closed) {
        why.clear();
        std::string target = path;
        const bool placed = end == FileEnd::kCancelled      ? part.MoveBeside(path, &target, &why)
                            : rule == IfNameTaken::kReplace ? part.MoveTo(path, true, &why)
                                                            : part.MoveToFreeName(path, &target, &why);
        if (placed) {
            result.placed = true;
            result.file = target;
            if (end == FileEnd::kComplete && rule == IfNameTaken::kKeepBothAndSay && target != path)
                result.notice = name + " appeared in the output folder while it was converted; the new file is " +
                                std::filesystem::path(target).filename().string();
            return result;
        }
        // The file is whole but cannot take a name (the folder became read-only): it stays where
        // it is, and the message says where.
        if (const std::string kept = part.Keep(); !kept.empty()) {
            result.failure = "Could not write output file " + path + ": " + why + "; the converted file is kept as " + kept;
            return result;
        }
    }
    const std::string unfinished = part.Path();
    const bool removed = part.Discard();
    result.failure = "Could not write output file " + path + ": " + why +
                     (removed ? std::string() : "; its unfinished part could not be removed: " + unfinished);
    return result;
}

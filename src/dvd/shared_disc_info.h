#pragma once
// The one disc information record shared by every DVD source filter: cleared and refilled
// whenever a filter is given a disc, read when a filter selects a title.

#include "dvd/disc_info.h"

class SharedDiscInfo {
public:
    // Clears the record and fills it from `handle` (any thread).
    static void Refill(DiscHandle handle);
    // A copy of one title's entry; zeros for a title outside the record.
    static TitleInfo Title(int title);
    // A copy of the whole record.
    static DiscInfo Copy();
};

#pragma once
// RAII holders for libdvdread's objects, one per type.

#include <memory>

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

struct DvdReaderCloser {
    void operator()(dvd_reader_t* reader) const { DVDClose(reader); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
struct DvdFileCloser {
    void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};

using DvdReaderPtr = std::unique_ptr<dvd_reader_t, DvdReaderCloser>;
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoCloser>;
using DvdFilePtr = std::unique_ptr<dvd_file_t, DvdFileCloser>;

#include "demux/async_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "com/plain_file.h"

// ---- CMultiFiles ----

CMultiFiles::~CMultiFiles() { Close(); }

bool CMultiFiles::Open(const char* name, unsigned)
{
    if (!name) {
        Close();
        return false;
    }
    return OpenFiles({name});
}

bool CMultiFiles::OpenFiles(const std::vector<std::string>& names, const std::vector<REFERENCE_TIME>& timeOffsets)
{
    Close();
    if (names.empty()) return false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // Each file as its data: the holes inside a sparse file are passed over.
        const int fd = OpenPlainFile(names[i]);
        if (fd < 0) {
            Close();
            return false;
        }
        FileView view = FileView::Of(fd);
        ::close(fd);
        m_names.push_back(names[i]);
        m_sizes.push_back(view.Size());
        m_views.push_back(std::move(view));
        m_timeOffsets.push_back(i < timeOffsets.size() ? timeOffsets[i] : 0);
        m_totalSize += m_sizes.back();
    }
    return OpenPart(0);
}

bool CMultiFiles::OpenPart(std::size_t index)
{
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
        m_index = -1;
    }
    m_position = -1;
    if (index >= m_names.size()) return false;
    // Read only and existing files only; other programs may go on writing, renaming or
    // deleting the file. Regular files only: a FIFO put in a clip's place is refused, never
    // waited on.
    const int handle = OpenPlainFile(m_names[index]);
    if (handle < 0) return false;
    m_handle = handle;
    m_index = static_cast<int>(index);
    m_position = 0;
    for (std::size_t i = 0; i < index; ++i) m_position += m_sizes[i];
    m_partPosition = 0;
    const std::int64_t first = m_views[index].FileOffset(0);
    if (first > 0) ::lseek(m_handle, first, SEEK_SET);
    m_current = m_names[index];
    if (m_timeOffset) *m_timeOffset = m_timeOffsets[index];
    return true;
}

std::int64_t CMultiFiles::Seek(std::int64_t offset, int origin)
{
    if (m_handle < 0) return -1;
    // Reads in a row ask for the place the last one ended at: no system call for that.
    if (origin == 0 && offset == m_position) return m_position;
    m_position = SeekHandle(offset, origin);
    return m_position;
}

std::int64_t CMultiFiles::SeekHandle(std::int64_t offset, int origin)
{
    // The absolute target in the chain's data.
    std::int64_t before = 0;
    for (int i = 0; i < m_index; ++i) before += m_sizes[static_cast<std::size_t>(i)];
    std::int64_t target = offset;
    if (origin == 1) target = before + m_partPosition + offset;
    if (origin == 2) target = m_totalSize - offset;
    if (target < 0) return -1;
    std::int64_t start = 0;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (target < start + m_sizes[i] || i + 1 == m_names.size()) {
            if (static_cast<int>(i) != m_index && !OpenPart(i)) return -1;
            m_partPosition = target - start;
            if (::lseek(m_handle, m_views[i].FileOffset(m_partPosition), SEEK_SET) < 0) return -1;
            return target;
        }
        start += m_sizes[i];
    }
    return -1;
}

std::int64_t CMultiFiles::GetLength()
{
    if (m_handle < 0) return -1;
    return m_totalSize;
}

std::int64_t CMultiFiles::Read(void* buffer, std::int64_t count)
{
    if (m_handle < 0 || count < 0) return -1;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        // Up to the next hole left out; past it, on from the data after it.
        std::int64_t inARow = 0;
        const FileView& view = m_views[static_cast<std::size_t>(m_index)];
        const std::int64_t fileOffset = view.FileOffset(m_partPosition, &inARow);
        if (inARow <= 0) {
            // The end of this file's data: on into the next one of a chain.
            if (m_partPosition < view.Size() || m_index + 1 >= static_cast<int>(m_names.size()) ||
                !OpenPart(static_cast<std::size_t>(m_index + 1)))
                break;
            continue;
        }
        if (m_partPosition > 0 && view.FileOffset(m_partPosition - 1) + 1 != fileOffset && ::lseek(m_handle, fileOffset, SEEK_SET) < 0) {
            m_position = -1;
            return -1;
        }
        const ssize_t n = ::read(m_handle, out + done, static_cast<std::size_t>(std::min(count - done, inARow)));
        if (n < 0) {
            if (errno == EINTR) continue;
            m_position = -1;
            return -1;
        }
        if (n == 0) {
            // The file is shorter than it was (cut meanwhile): what there was.
            if (m_index + 1 >= static_cast<int>(m_names.size()) || !OpenPart(static_cast<std::size_t>(m_index + 1))) break;
            continue;
        }
        done += n;
        m_partPosition += n;
        if (m_position >= 0) m_position += n;
    }
    return done;
}

const std::vector<FileView::Hole>& CMultiFiles::Holes(std::size_t file) const
{
    static const std::vector<FileView::Hole> kNone;
    return file < m_views.size() ? m_views[file].Holes() : kNone;
}

void CMultiFiles::Close()
{
    if (m_handle >= 0) ::close(m_handle);
    m_handle = -1;
    m_index = -1;
    m_position = -1;
    m_names.clear();
    m_sizes.clear();
    m_views.clear();
    m_timeOffsets.clear();
    m_totalSize = 0;
    m_partPosition = 0;
}

const char* CMultiFiles::FileName() const
{
    if (m_index >= 0) return m_names[static_cast<std::size_t>(m_index)].c_str();
    return m_names.empty() ? "" : m_names.front().c_str();
}

// ---- CAsyncFileReader ----

CAsyncFileReader::CAsyncFileReader(const char* name, HRESULT& hr)
    : CUnknown("CAsyncFileReader", nullptr), m_name(name ? name : "")
{
    if (!m_file.Open(m_name.c_str())) {
        hr = E_FAIL;
        return;
    }
    m_length = m_file.GetLength();
    hr = m_length >= 0 ? S_OK : E_FAIL;
}

HRESULT CAsyncFileReader::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IAsyncReader::iid) return GetInterface(static_cast<IAsyncReader*>(this), ppv);
    if (riid == ISyncReader::iid) return GetInterface(static_cast<ISyncReader*>(this), ppv);
    if (riid == IFileHandle::iid) return GetInterface(static_cast<IFileHandle*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAsyncFileReader::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    if (!buffer || length < 0 || position < 0) return E_INVALIDARG;
    constexpr int kRetries = 5;
    for (int attempt = 0;; ++attempt) {
        if (position + length > m_length) return E_FAIL;
        const std::int64_t n = ReadOnce(position, length, buffer);
        if (n == length) return S_OK;
        if (n >= 0) return E_FAIL; // the file was shorter than it said
        // A read error (a scratched disc, a network share that went away): noted, and tried
        // again a few times with the file reopened. A device that fails must be asked again: the
        // waits between (10 ms, doubling) end at once when the break event says stop; then the
        // read fails, and the splitter passes the stretch over as unreadable.
        m_hasErrors = true;
        m_lastError = errno;
        if (attempt >= kRetries || !m_breakEvent || m_breakEvent->Wait(10u << attempt)) return E_FAIL;
        m_file.Open(m_name.c_str());
    }
}

std::int64_t CAsyncFileReader::ReadOnce(LONGLONG position, LONG length, BYTE* buffer)
{
    if (m_file.Seek(position, 0) != position) return -1;
    return m_file.Read(buffer, length);
}

HRESULT CAsyncFileReader::Length(LONGLONG* total, LONGLONG* available)
{
    if (total) *total = m_length;
    if (available) *available = m_length;
    return S_OK;
}

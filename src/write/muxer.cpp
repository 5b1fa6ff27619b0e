#include "write/muxer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// What libavformat gathers before it writes: a failed write is seen within this many bytes.
constexpr int kIoBufferSize = 64 * 1024;

// libavformat's writes, onto the descriptor; a short write is finished, an error returned.
int WriteToDescriptor(void* opaque, std::uint8_t* data, int size)
{
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR(EIO);
        done += static_cast<int>(n);
    }
    return done;
}

std::int64_t SeekDescriptor(void* opaque, std::int64_t offset, int whence)
{
    const int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

void SetTag(AVDictionary** tags, const char* key, const std::string& value)
{
    if (!value.empty()) av_dict_set(tags, key, value.c_str(), 0);
}

} // namespace

bool Muxer::Create(const std::string& path, std::vector<OutputChapter> chapters)
{
    Free();
    m_path = path;
    m_chapters = std::move(chapters);
    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!container) return m_failure.Fail("no container for " + path);
    AVFormatContext* format = nullptr;
    const int allocated = avformat_alloc_output_context2(&format, container, nullptr, path.c_str());
    if (m_failure.Refused("avformat_alloc_output_context2", allocated, "cannot make the output context") || !format)
        return m_failure.Fail("cannot make the output context", allocated);
    m_formatOwner.reset(format);
    m_format = format;
    return true;
}

bool Muxer::OpenBytes(const std::string& path, int descriptor, bool& created)
{
    if (m_format->oformat->flags & AVFMT_NOFILE) return true;
    // The bytes go through our own I/O context: to the descriptor we were given (a part the run
    // created exclusively), or to the file named, made here.
    if (descriptor < 0) {
        descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (descriptor < 0) return m_failure.Fail("cannot create " + path, AVERROR(errno));
        created = true;
        m_ownedFd = descriptor;
    }
    m_fd = descriptor;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return m_failure.Fail("out of memory");
    m_io.reset(avio_alloc_context(buffer, kIoBufferSize, 1, &m_fd, nullptr, WriteToDescriptor, SeekDescriptor));
    if (!m_io) {
        av_free(buffer);
        return m_failure.Fail("out of memory");
    }
    m_format->pb = m_io.get();
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    return true;
}

AVStream* Muxer::NewStream()
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream) m_failure.Fail("Could not alloc stream");
    return stream;
}

void Muxer::Label(AVStream* stream, const StreamLabel& label)
{
    SetTag(&stream->metadata, "language", label.language);
    SetTag(&stream->metadata, "title", label.title);
    // MP4 and MOV keep a track's name as its handler's.
    if (Name() != "matroska" && Name() != "webm") SetTag(&stream->metadata, "handler_name", label.title);
}

bool Muxer::WriteHeaderWhenDue(bool now)
{
    if (!m_headerDue || m_failure.Failed()) return !m_failure.Failed();
    // Streams that never show a frame must not hold the whole file back.
    constexpr std::size_t kMostWaiting = 4096;
    if (!now && m_waiting.size() < kMostWaiting && m_ready && !m_ready()) return true;
    m_headerDue = false;
    // Matroska's optional CRC-32 elements are left out, as mkvmerge leaves them: checking every
    // element's bytes took a quarter of a copy's time.
    AVDictionary* options = nullptr;
    if (Name() == "matroska" || Name() == "webm") av_dict_set(&options, "write_crc32", "0", 0);
    const int header = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (m_failure.Tally().Note("avformat_write_header", header) || header < 0) return m_failure.Fail("cannot write the header", header);
    m_headerWritten = true;
    while (!m_waiting.empty()) {
        auto [packet, stream] = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!WritePacket(packet.get(), stream, kHundredNanoseconds)) return false;
    }
    return true;
}

bool Muxer::WritePacket(AVPacket* packet, AVStream* stream, AVRational from)
{
    packet->stream_index = stream->index;
    if (m_headerDue) {
        ffmpeg::PacketPtr kept(av_packet_alloc());
        if (!kept) return m_failure.Fail("out of memory");
        av_packet_move_ref(kept.get(), packet);
        av_packet_rescale_ts(kept.get(), from, kHundredNanoseconds);
        m_waiting.emplace_back(std::move(kept), stream);
        return WriteHeaderWhenDue(false);
    }
    const std::int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (m_due && !m_announcing && stamp != AV_NOPTS_VALUE) {
        const std::int64_t time = av_rescale_q(stamp, from, kHundredNanoseconds);
        m_announcing = true;
        const bool announced = m_due(time);
        m_announcing = false;
        if (!announced) {
            av_packet_unref(packet);
            return false;
        }
    }
    av_packet_rescale_ts(packet, from, stream->time_base);
    const int written = av_interleaved_write_frame(m_format, packet);
    av_packet_unref(packet);
    if (m_failure.Tally().Note("av_interleaved_write_frame", written) || written < 0)
        return m_failure.Fail("cannot write to " + m_path, written);
    return true;
}

bool Muxer::HoldsChapters(const AVOutputFormat* container)
{
    static const char* const kHolders[] = {"mp4", "mov", "ipod", "3gp", "3g2", "matroska", "webm"};
    for (const char* name : kHolders)
        if (std::strcmp(container->name, name) == 0) return true;
    return false;
}

void Muxer::MoveChapter(std::size_t index, std::int64_t start)
{
    if (index < m_chapters.size()) m_chapters[index].start = start;
}

bool Muxer::Finish(std::int64_t length)
{
    if (m_headerWritten && !m_failure.Failed()) {
        if (AddChapters()) PlaceChapters(length);
        if (!m_failure.Failed()) {
            const int trailer = av_write_trailer(m_format);
            if (m_failure.Tally().Note("av_write_trailer", trailer) || trailer < 0) m_failure.Fail("cannot finish " + m_path, trailer);
        }
    }
    if (m_io && !m_failure.Failed()) {
        // What is still buffered goes out now; a full disk is said here at the latest.
        avio_flush(m_io.get());
        if (m_failure.Tally().Note("avio_flush", m_io->error)) m_failure.Fail("cannot write to " + m_path, m_io->error);
    }
    return !m_failure.Failed();
}

bool Muxer::AddChapters()
{
    // Only at the end, when the times are known: Matroska writes the chapters it has at the header
    // and never again, and MP4 given them before the header writes its chapter track with those
    // times at once, and that track's length counts as the file's (a cancelled file would seem
    // whole). Given at the end, MP4 and MOV make their chapter track and list ("chpl") of the
    // final times, 3GP its list, Matroska and WebM their own chapters.
    if (m_chapters.empty() || !HoldsChapters(m_format->oformat) || m_format->nb_chapters > 0) return true;
    auto** list = static_cast<AVChapter**>(av_calloc(m_chapters.size(), sizeof(AVChapter*)));
    if (!list) return m_failure.Fail("out of memory");
    m_format->chapters = list;
    for (std::size_t i = 0; i < m_chapters.size(); ++i) {
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return m_failure.Fail("out of memory");
        chapter->id = static_cast<std::int64_t>(i + 1);
        chapter->time_base = kHundredNanoseconds;
        list[i] = chapter;
        m_format->nb_chapters = static_cast<unsigned>(i + 1);
    }
    return true;
}

void Muxer::PlaceChapters(std::int64_t length)
{
    if (m_format->nb_chapters == 0) return;
    // The marks that fall in the file, in time order, each up to the next.
    std::vector<const OutputChapter*> kept;
    for (const OutputChapter& c : m_chapters)
        if (c.start >= 0 && (c.start < length || length <= 0)) kept.push_back(&c);
    std::stable_sort(kept.begin(), kept.end(), [](const OutputChapter* a, const OutputChapter* b) { return a->start < b->start; });
    for (unsigned i = 0; i < m_format->nb_chapters; ++i) {
        AVChapter* chapter = m_format->chapters[i];
        av_dict_free(&chapter->metadata);
        if (i >= kept.size()) {
            av_freep(&m_format->chapters[i]);
            continue;
        }
        chapter->start = kept[i]->start;
        chapter->end = i + 1 < kept.size() ? kept[i + 1]->start : std::max(length, chapter->start + 1);
        SetTag(&chapter->metadata, "title", kept[i]->name);
    }
    m_format->nb_chapters = static_cast<unsigned>(kept.size());
}

void Muxer::Free()
{
    m_formatOwner.reset();
    m_format = nullptr;
    m_io.reset();
    m_fd = -1;
    if (m_ownedFd >= 0 && ::close(m_ownedFd) != 0 && !m_failure.Failed()) m_failure.Fail("cannot write to " + m_path, AVERROR(errno));
    m_ownedFd = -1;
    m_waiting.clear();
    m_headerDue = false;
    m_headerWritten = false;
    m_ready = nullptr;
    m_due = nullptr;
}

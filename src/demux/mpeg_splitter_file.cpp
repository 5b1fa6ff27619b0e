#include "demux/mpeg_splitter_file.h"

#include "demux/packet.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "demux/splitter_interfaces.h"
#include "pipeline/media_guids.h"

namespace {
constexpr std::int64_t kScanWindow = 131072;
constexpr int kScanWindows = 40;
// Where the container is looked for: one stretch after another.
constexpr std::int64_t kDetectWindow = 65536;
// A stream may start with a few bytes of a cut packet; more than this before the first place
// that shows the container is an unreadable opening.
constexpr std::int64_t kDamagedOpening = 16384;
} // namespace

CMediaType DvdSubpictureType()
{
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_DVD_SUBPICTURE;
    mt.formattype = FORMAT_None;
    return mt;
}

CMpegSplitterFile::CMpegSplitterFile(IAsyncReader* reader, HRESULT& hr, bool bluray,
                                     const std::vector<ClipStreamInfo>* clip, bool ownStreamsOnly)
    : CBaseSplitterFileEx(reader, hr, 65536, false, true), m_bluray(bluray), m_clip(clip), m_ownStreamsOnly(ownStreamsOnly)
{
    if (FAILED(hr)) return;
    ComPtr<ISyncReader> sync;
    if (reader && SUCCEEDED(QueryInterfaceTo(reader, sync))) sync->SetTimeOffset(&m_timeOffset);
    hr = Initialise();
}

void CMpegSplitterFile::ResetTimeRange()
{
    m_firstTimestamp = INT64_MAX;
    m_lastTimestamp = 0;
    m_firstPosition = INT64_MAX;
    m_lastPosition = 0;
}

HRESULT CMpegSplitterFile::Initialise()
{
    m_container = kUnknown;
    // The container is found at the start, or, when the start is damaged (unreadable sectors
    // come as zeros), at the first place within the scanned stretch that shows one.
    const std::int64_t searched = std::min<std::int64_t>(Length(false), kScanWindows * kScanWindow);
    for (std::int64_t at = 0; m_container == kUnknown && (at == 0 || at < searched); at += kDetectWindow)
        m_container = DetectContainer(at);
    SeekTo(0);
    if (m_container == kUnknown) return E_FAIL;

    ResetTimeRange();
    const TitleInfo title = m_ownStreamsOnly ? TitleInfo{} : SplitterTitleInfo::Get();
    // A transport stream's tracks are listed by their PIDs.
    const bool byPid = m_container == kTransportStream;
    HRESULT result = E_FAIL;
    // The windows start where the container showed: a damaged opening is not scanned again.
    const std::int64_t scanFrom = m_dataStart < kDamagedOpening ? 0 : m_dataStart;
    for (int k = 0; k < kScanWindows; ++k) {
        const std::int64_t start = scanFrom + k * kScanWindow;
        // Past the end the last window's result stands: a short title whose record announces
        // a stream it does not carry is still usable with what it has.
        if (start > Length(false)) break;
        result = ScanForStreams(start, start + kScanWindow);
        if (FAILED(result)) continue;
        if (m_lastPosition <= m_firstPosition || m_lastTimestamp <= m_firstTimestamp) {
            result = E_FAIL;
            continue;
        }
        bool audioFound = true;
        for (int i = 0; i < title.audioCount && i < kMaxAudioStreams; ++i) {
            StreamEntry wanted;
            if (byPid) {
                wanted.pid = static_cast<std::uint16_t>(title.audioStreamId[i]);
            } else {
                wanted.pesId = static_cast<std::uint8_t>(title.audioStreamId[i] >> 8);
                wanted.subId = static_cast<std::uint8_t>(title.audioStreamId[i]);
            }
            if (!InList(kAudioStreams, wanted)) audioFound = false;
        }
        if (!m_streams[kVideoStreams].empty() && audioFound) break;
    }
    if (FAILED(result)) return result;

    // DVD subpicture streams the title announces but the scan did not meet.
    for (int i = 0; !byPid && i < title.subpictureCount && i < kMaxSubpictureStreams; ++i) {
        StreamEntry entry;
        entry.owner = this;
        entry.pesId = static_cast<std::uint8_t>(title.subpictureStreamId[i] >> 8);
        entry.subId = static_cast<std::uint8_t>(title.subpictureStreamId[i]);
        entry.mt = DvdSubpictureType();
        if (!InList(kSubpictureStreams, entry)) Insert(kSubpictureStreams, entry);
    }

    if (m_lastTimestamp > m_firstTimestamp && m_lastPosition > m_firstPosition)
        ApplyByteRate(static_cast<std::int32_t>((m_lastPosition - m_firstPosition) * 10000000 /
                                                (m_lastTimestamp - m_firstTimestamp)));

    if (!m_streams[kVideoStreams].empty()) {
        if (m_blurayText) {
            AddBlurayTextStream(1, "---");
        } else if (m_streams[kSubpictureStreams].empty()) {
            // A placeholder so that a subpicture pin always exists next to the video.
            StreamEntry placeholder;
            placeholder.owner = this;
            placeholder.mt = DvdSubpictureType();
            placeholder.mt.SetSampleSize(1);
            Insert(kSubpictureStreams, placeholder);
        }
    }
    SeekTo(0);
    return S_OK;
}

REFERENCE_TIME CMpegSplitterFile::OpeningLoss() const
{
    if (m_dataStart < kDamagedOpening || m_byteRate <= 0) return 0;
    return m_dataStart * 10000000 / m_byteRate;
}

int CMpegSplitterFile::DetectContainer(std::int64_t at)
{
    // Transport stream: eight packets in a row, 188 bytes apart (192 in an M2TS clip, whose time
    // codes come before the sync bytes), anywhere in the stretch. (Eight, so that a program
    // stream's bytes do not pass for one by chance.)
    SeekTo(at);
    if (at == 0 && ReadBits(32, true) == 0x54467263) { // "TFrc"
        SeekTo(1660);
        int packets = 0;
        for (TsPacketHeader h; packets < 4 && ReadTsPacketHeader(h, true); ++packets) SeekTo(h.nextPacket);
        if (packets == 4) {
            m_dataStart = 1660;
            return kTransportStream;
        }
    }
    SeekTo(at);
    constexpr std::size_t kInARow = 8;
    const std::int64_t available = std::min<std::int64_t>(kDetectWindow + kInARow * 192, Length(false) - at);
    if (available > 0) {
        std::vector<BYTE> bytes(static_cast<std::size_t>(available));
        if (ReadAlignedBytes(bytes.data(), available) == S_OK) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (bytes[i] != 0x47) continue;
                for (const std::size_t size : {std::size_t{188}, std::size_t{192}}) {
                    std::size_t row = 1;
                    while (row < kInARow && i + row * size < bytes.size() && bytes[i + row * size] == 0x47) ++row;
                    if (row < kInARow) continue;
                    // Where the packet starts: an M2TS packet's time code is before its sync byte.
                    const std::int64_t first = at + static_cast<std::int64_t>(i) - (size == 192 && i >= 4 ? 4 : 0);
                    SeekTo(first + (size == 192 ? 4 : 0));
                    TsPacketHeader h;
                    if (!ReadTsPacketHeader(h, false)) continue;
                    m_dataStart = first;
                    return kTransportStream;
                }
            }
        }
    }

    SeekTo(at);
    int pva = 0;
    for (PvaHeader h; pva < 4 && ReadPvaHeader(h, true); ++pva) SeekTo(Position() + h.length);
    if (pva == 4) {
        m_dataStart = at;
        return kPva;
    }

    SeekTo(at);
    BYTE code = 0;
    for (int found = 0; FindNextStartCode(code, kDetectWindow); ++found) {
        if (found >= 4 && Position() - at >= kDetectWindow) break;
        const std::int64_t here = Position() - 4;
        if (code == 0xBA) {
            PackHeader h;
            if (ReadPackHeader(h)) {
                m_byteRate = static_cast<std::int32_t>(h.bitRate / 8);
                m_dataStart = here;
                return kProgramStream;
            }
        } else if ((code >= 0xC0 && code <= 0xEF) || code == 0xBD) {
            PesHeader h;
            if (ReadPesHeader(h, code) && ReadBits(24, true) == 0x000001) {
                m_dataStart = here;
                return kPesStream;
            }
        }
    }
    return kUnknown;
}

void CMpegSplitterFile::ApplyByteRate(std::int32_t rate)
{
    if (rate <= 0) return;
    if (m_byteRate == 0 || static_cast<double>(rate) / m_byteRate < 1.1 || std::llabs(static_cast<long long>(rate) - m_byteRate) < 51200)
        m_byteRate = rate;
}

void CMpegSplitterFile::UpdateTimeRange(REFERENCE_TIME pts, std::int64_t position)
{
    if (m_firstTimestamp == INT64_MAX) {
        m_firstTimestamp = pts;
        m_firstPosition = position;
    }
    if (pts > m_firstTimestamp && pts > m_lastTimestamp) {
        m_lastTimestamp = pts;
        m_lastPosition = position;
    }
}

namespace {

// ZZ_E_SCRAMBLED when a stream's packets (scrambled, clear: by stream) are all scrambled, or every
// packet is; S_OK when scrambled packets are strays among clear ones (damage).
HRESULT ScrambledVerdict(const std::map<unsigned, std::pair<int, int>>& packets)
{
    constexpr int kEncrypted = 8;
    int scrambled = 0, clear = 0;
    for (const auto& [stream, count] : packets) {
        if (count.first >= kEncrypted && count.second == 0) return ZZ_E_SCRAMBLED;
        scrambled += count.first;
        clear += count.second;
    }
    return scrambled > 0 && clear == 0 ? ZZ_E_SCRAMBLED : S_OK;
}

} // namespace

HRESULT CMpegSplitterFile::ScanForStreams(std::int64_t start, std::int64_t stop)
{
    SeekTo(start);
    // Scrambled packets are passed over. A stream whose packets are all scrambled is encrypted; a
    // stray flag among clear packets is damage. Counted per stream (PES id, or PID).
    std::map<unsigned, std::pair<int, int>> packets; // stream → scrambled, clear
    for (;;) {
        const std::int64_t end = std::min(stop, Length(false));
        if (Position() >= end) break;
        if (m_container == kProgramStream || m_container == kPesStream) {
            BYTE code = 0;
            if (!FindNextStartCode(code, 65536)) continue;
            if (code == 0xBA) {
                PackHeader h;
                ReadPackHeader(h);
            } else if (code == 0xBB) {
                SystemHeader h;
                ReadSystemHeader(h);
            } else if (code >= 0xBD && code <= 0xEF) {
                PesHeader h;
                if (!ReadPesHeader(h, code)) continue;
                const std::int64_t payload = Position();
                if (h.kind == 2 && h.scrambling) {
                    ++packets[code].first;
                    if (h.length) SeekTo(payload + h.length);
                    continue;
                }
                ++packets[code].second;
                if (h.hasPts) UpdateTimeRange(h.pts, payload);
                ClassifyStream(0, code, h.length);
                if (h.length) SeekTo(payload + h.length);
            }
        } else if (m_container == kTransportStream) {
            TsPacketHeader h;
            if (!ReadTsPacketHeader(h, true)) break;
            if (h.payload && h.payloadUnitStart) UpdateProgramTable(h);
            if (h.payload && h.pid >= 16 && h.pid < 8191 && h.scrambling) {
                // The whole packet is scrambled (as AACS leaves a Blu-ray clip): nothing in it
                // can be read.
                ++packets[h.pid].first;
            } else if (h.payload && h.pid >= 16 && h.pid < 8191) {
                BYTE code = 0;
                if (h.payloadUnitStart) {
                    const std::int64_t before = Position();
                    PesHeader pes;
                    if (FindNextStartCode(code, 4) && ReadPesHeader(pes, code)) {
                        if (pes.kind == 2 && pes.scrambling) {
                            ++packets[h.pid].first;
                            SeekTo(h.nextPacket);
                            continue;
                        }
                        ++packets[h.pid].second;
                        if (pes.hasPts) UpdateTimeRange(pes.pts, Position());
                    } else {
                        code = 0;
                        SeekTo(before);
                    }
                }
                const std::int64_t left = std::max<std::int64_t>(0, h.packetEnd - Position());
                ClassifyStream(h.pid, code, static_cast<DWORD>(left));
            }
            SeekTo(h.nextPacket);
        } else if (m_container == kPva) {
            PvaHeader h;
            if (!ReadPvaHeader(h, true)) break;
            const std::int64_t payload = Position();
            if (h.hasPts) UpdateTimeRange(h.pts, payload);
            if (h.streamId == 1) ClassifyStream(1, 0xE0, h.length);
            else if (h.streamId == 2) ClassifyStream(2, 0xC0, h.length);
            SeekTo(payload + h.length);
        } else {
            break;
        }
    }
    return ScrambledVerdict(packets);
}

bool CMpegSplitterFile::InList(int streamClass, const StreamEntry& entry) const
{
    const auto& list = m_streams[streamClass];
    return std::find(list.begin(), list.end(), entry) != list.end();
}

const ClipStreamInfo* CMpegSplitterFile::ClipInfoOf(std::uint16_t pid) const
{
    if (!m_clip) return nullptr;
    for (const auto& info : *m_clip)
        if (info.pid == pid) return &info;
    return nullptr;
}

int CMpegSplitterFile::StreamTypeOf(std::uint16_t pid)
{
    if (const ClipStreamInfo* clip = ClipInfoOf(pid)) return clip->streamType;
    if (pid == 0) return 0;
    std::lock_guard lock(m_programLock);
    for (const auto& [pmt, program] : m_programs)
        for (const auto& e : program.entries)
            if (e.pid == pid) return e.type;
    return 0;
}

std::vector<std::uint16_t> CMpegSplitterFile::ProgramPidsOf(std::uint16_t pid)
{
    std::lock_guard lock(m_programLock);
    for (const auto& [pmt, program] : m_programs) {
        std::vector<std::uint16_t> pids;
        bool member = false;
        for (const auto& e : program.entries) {
            if (!e.pid) continue;
            pids.push_back(e.pid);
            member |= e.pid == pid;
        }
        if (member) return pids;
    }
    return {};
}

std::uint64_t CMpegSplitterFile::AudioScore(const StreamEntry& entry)
{
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(entry.mt.pbFormat);
    if (!HasFormatBlock(entry.mt, FORMAT_WaveFormatEx, sizeof(WAVEFORMATEX))) return 0;
    std::uint64_t rank = 0;
    const int streamType = StreamTypeOf(entry.pid);
    if (entry.mt.subtype == MEDIASUBTYPE_DVD_LPCM_AUDIO || entry.mt.subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO)
        rank = 12;
    else if (streamType == 0x83 || streamType == 0x86)
        rank = 12;
    else if (streamType == 0x85)
        rank = 11;
    else if (streamType == 0x84)
        rank = 10;
    else {
        switch (wfe->wFormatTag) {
        case 0xF521: rank = 12; break;
        case 0x2001: rank = 9; break;
        case 0x2000: rank = 8; break;
        case 0xFF: rank = 7; break;
        case 0x55: rank = 6; break;
        case 0x50: rank = 5; break;
        case 0xF522: rank = 4; break;
        default: rank = 0; break;
        }
    }
    return rank * 100000000000000000ull + wfe->nChannels * 1000000000000000ull + wfe->nSamplesPerSec * 10000000000ull +
           wfe->wBitsPerSample * 10000000ull + wfe->nAvgBytesPerSec;
}

bool CMpegSplitterFile::Precedes(const StreamEntry& a, const StreamEntry& b)
{
    if (a.mt.majortype == MEDIATYPE_Audio && b.mt.majortype == MEDIATYPE_Audio) {
        const bool aWave = a.mt.formattype == FORMAT_WaveFormatEx;
        const bool bWave = b.mt.formattype == FORMAT_WaveFormatEx;
        if (aWave && !bWave) return true;
        if (!aWave && bWave) return false;
        if (aWave && bWave) {
            const std::uint64_t sa = AudioScore(a);
            const std::uint64_t sb = AudioScore(b);
            if (sa != sb) return sa > sb;
        }
    }
    return a.Id() < b.Id();
}

void CMpegSplitterFile::Insert(int streamClass, const StreamEntry& entry)
{
    auto& list = m_streams[streamClass];
    auto it = std::find_if(list.begin(), list.end(), [&](const StreamEntry& e) { return Precedes(entry, e); });
    list.insert(it, entry);
}

template <class Parse>
void CMpegSplitterFile::Attempt(Classification& c, int streamClass, Parse&& parse)
{
    if (c.found >= 0 || InList(streamClass, c.entry)) return;
    const std::int64_t position = Position();
    CMediaType mt;
    if (parse(mt)) {
        c.found = streamClass;
        c.entry.mt = mt;
    }
    SeekTo(position);
}

void CMpegSplitterFile::ClassifyPrivateStream(Classification& c, std::int64_t budget)
{
    StreamEntry& s = c.entry;
    const auto b = static_cast<BYTE>(ReadBits(8, true));
    const auto w = static_cast<std::uint16_t>(ReadBits(16, true));
    const auto d = static_cast<std::uint32_t>(ReadBits(32, true));
    if ((b >= 0x80 && b < 0x88) || w == 0x0B77) {
        s.subId = (b >= 0x80 && b < 0x88) ? b : 0x80;
        if (b >= 0x80 && b < 0x88) ReadBits(32);
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { Ac3Header h; return ReadAc3Header(h, budget, &mt); });
    } else if ((b >= 0x88 && b < 0x90) || d == 0x7FFE8001) {
        s.subId = (b >= 0x88 && b < 0x90) ? b : 0x88;
        if (b >= 0x88 && b < 0x90) ReadBits(32);
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { DtsHeader h; return ReadDtsHeader(h, budget, &mt); });
    } else if (b >= 0xA0 && b <= 0xA7) {
        s.subId = b;
        ReadBits(32);
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { LpcmHeader h; return ReadLpcmHeader(h, &mt); });
    } else if (b >= 0x20 && b < 0x40) {
        s.subId = b;
        ReadBits(8);
        Attempt(c, kSubpictureStreams, [&](CMediaType& mt) { SubpictureHeader h; return ReadDvdSubpictureHeader(h, &mt); });
    } else if (b >= 0x70 && b < 0x80) {
        s.subId = b;
        ReadBits(8);
        Attempt(c, kSubpictureStreams, [&](CMediaType& mt) { SubpictureHeader h; return ReadSvcdSubpictureHeader(h, &mt); });
    } else if (b <= 0x0F) {
        s.subId = b;
        ReadBits(8);
        Attempt(c, kSubpictureStreams, [&](CMediaType& mt) { SubpictureHeader h; return ReadCvdSubpictureHeader(h, &mt); });
    } else if (w == 0xFFA0 || w == 0xFFA1 || w == 0xFF90) {
        ClassifyPs2Stream(c, w, budget);
    }
}

void CMpegSplitterFile::ClassifyPs2Stream(Classification& c, std::uint16_t kind, std::int64_t budget)
{
    StreamEntry& s = c.entry;
    s.subId = 0xFF;
    ReadBits(8);
    const std::uint64_t next = ReadBits(24, true);
    s.pid = static_cast<std::uint16_t>(((next >> 16) << 8) | (next & 0xFFFF));
    if (kind != 0xFF90) {
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { Ps2AudioHeader h; return ReadPs2AudioHeader(h, &mt); });
        return;
    }
    const std::int64_t position = Position();
    ReadBits(24);
    const auto payload = static_cast<std::uint16_t>(ReadBits(16, true));
    SeekTo(position);
    if (payload == 0x0B77)
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { Ac3Header h; return ReadAc3Header(h, budget, &mt); });
    else if (payload == 0x0000)
        Attempt(c, kSubpictureStreams, [&](CMediaType& mt) { SubpictureHeader h; return ReadPs2SubtitleHeader(h, &mt); });
}

void CMpegSplitterFile::ClassifyTransportPrivateStream(Classification& c, std::int64_t budget)
{
    const std::uint16_t pid = c.entry.pid;
    if (!InList(kVideoStreams, c.entry) && !InList(kAudioStreams, c.entry)) {
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { Ac3Header h; return ReadAc3Header(h, budget, &mt); });
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { DtsHeader h; return ReadDtsHeader(h, budget, &mt); });
        Attempt(c, kVideoStreams, [&](CMediaType& mt) { Vc1Header h; return ReadVc1Header(h, budget, &mt); });
    }
    if (c.found >= 0) return;
    const int type = StreamTypeOf(pid);
    if (type == 0x80) {
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { HdmvLpcmHeader h; return ReadHdmvLpcmHeader(h, &mt); });
    } else if (type == 0x90) {
        const ClipStreamInfo* clip = ClipInfoOf(pid);
        Attempt(c, kSubpictureStreams, [&](CMediaType& mt) {
            SubpictureHeader h;
            return ReadHdmvSubtitleHeader(h, &mt, clip ? clip->language : nullptr);
        });
        if (c.found == kSubpictureStreams) m_blurayText = true;
    }
}

DWORD CMpegSplitterFile::ClassifyStream(std::uint16_t pid, BYTE pesId, DWORD length)
{
    if (pid) {
        if (pesId)
            m_pidToPes[pid] = pesId;
        else if (auto it = m_pidToPes.find(pid); it != m_pidToPes.end())
            pesId = it->second;
    }
    Classification c;
    c.entry.owner = this;
    c.entry.pid = pid;
    c.entry.pesId = pesId;
    const auto budget = static_cast<std::int64_t>(length);

    if (pesId >= 0xE0 && pesId <= 0xEF) {
        Attempt(c, kVideoStreams, [&](CMediaType& mt) { VideoSequenceHeader h; return ReadVideoSequenceHeader(h, budget, &mt); });
        Attempt(c, kVideoStreams, [&](CMediaType& mt) { return ReadAvcHeader(m_avc, budget, &mt); });
    } else if (pesId >= 0xC0 && pesId <= 0xDF) {
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { MpegAudioHeader h; return ReadMpegAudioHeader(h, budget, false, &mt); });
        Attempt(c, kAudioStreams, [&](CMediaType& mt) { AacHeader h; return ReadAacHeader(h, budget, &mt); });
    } else if (pesId == 0xBD || pesId == 0xFD) {
        if (pid == 0)
            ClassifyPrivateStream(c, budget);
        else
            ClassifyTransportPrivateStream(c, budget);
    }

    const StreamEntry& s = c.entry;
    if (c.found >= 0 && !InList(c.found, s)) {
        const bool listed = InList(kVideoStreams, s) || InList(kAudioStreams, s) || InList(kSubpictureStreams, s);
        if (!(m_container == kTransportStream && listed)) Insert(c.found, s);
    }
    return s.Id();
}

REFERENCE_TIME CMpegSplitterFile::ReadNavPackCellStart(std::int64_t length)
{
    // Presentation control information: sub-stream 0, the block number (4), the unit's
    // category (2), reserved (2), the user-operation mask (4), the unit's start time (90 kHz),
    // its end time and its sequence end time (4 each), then the cell's elapsed time (BCD hours,
    // minutes, seconds, and frames with the rate in their top two bits).
    constexpr std::int64_t kElapsedEnd = 1 + 4 + 2 + 2 + 4 + 4 + 4 + 4 + 4;
    if (length < kElapsedEnd || ReadBits(8) != 0) return kInvalidTime;
    ReadBits(32);
    ReadBits(32);
    ReadBits(32);
    const auto start = static_cast<std::int64_t>(ReadBits(32));
    ReadBits(32);
    ReadBits(32);
    auto bcd = [](std::uint64_t v) { return static_cast<std::int64_t>((v >> 4) * 10 + (v & 0x0F)); };
    const std::int64_t hours = bcd(ReadBits(8)), minutes = bcd(ReadBits(8)), seconds = bcd(ReadBits(8));
    const std::uint64_t frameByte = ReadBits(8);
    const std::int64_t frames = bcd(frameByte & 0x3F);
    const bool ntsc = (frameByte >> 6) == 3;
    // NTSC frames last 1001/30 ms and are counted at a nominal 30 per second.
    const std::int64_t elapsedFrames = ((hours * 60 + minutes) * 60 + seconds) * (ntsc ? 30 : 25) + frames;
    const REFERENCE_TIME elapsed = ntsc ? elapsedFrames * 10010000 / 30 : elapsedFrames * 400000;
    return start * 10000 / 90 + TimeOffset() - m_firstTimestamp - elapsed;
}

REFERENCE_TIME CMpegSplitterFile::FindNavPackCellStart(std::int64_t limit)
{
    const std::int64_t origin = Position();
    REFERENCE_TIME found = kInvalidTime;
    if (m_container == kProgramStream || m_container == kPesStream) {
        BYTE code = 0;
        while (found == kInvalidTime && Position() < limit && FindNextStartCode(code, 65536)) {
            if (Position() - 4 >= limit) break;
            if (code < 0xBD || code > 0xEF) continue;
            PesHeader h;
            if (!ReadPesHeader(h, code) || h.length == 0) continue;
            const std::int64_t payload = Position();
            if (code == 0xBF) found = ReadNavPackCellStart(h.length);
            SeekTo(payload + h.length);
        }
    }
    SeekTo(origin);
    return found;
}

REFERENCE_TIME CMpegSplitterFile::FindNextTimestamp(DWORD id)
{
    std::int64_t packetStart = Position();
    REFERENCE_TIME found = -1;
    while (found < 0 && Remaining() > 0) {
        if (m_container == kProgramStream || m_container == kPesStream) {
            BYTE code = 0;
            if (!FindNextStartCode(code, 65536)) break;
            packetStart = Position() - 4;
            if (code < 0xBD || code > 0xEF) continue;
            PesHeader h;
            if (!ReadPesHeader(h, code) || h.length == 0) continue;
            const std::int64_t payload = Position();
            if (h.hasPts && ClassifyStream(0, code, h.length) == id) found = h.pts;
            SeekTo(payload + h.length);
        } else if (m_container == kTransportStream) {
            TsPacketHeader h;
            if (!ReadTsPacketHeader(h, true)) break;
            packetStart = Position() - 4;
            if (h.payloadUnitStart && h.pid >= 16 && h.pid < 8191) {
                BYTE code = 0;
                PesHeader pes;
                if (FindNextStartCode(code, 4) && ReadPesHeader(pes, code) && pes.hasPts) {
                    const auto left = static_cast<DWORD>(std::max<std::int64_t>(0, h.packetEnd - Position()));
                    if (ClassifyStream(h.pid, code, left) == id) found = pes.pts;
                }
            }
            SeekTo(h.nextPacket);
        } else if (m_container == kPva) {
            PvaHeader h;
            if (!ReadPvaHeader(h, true)) break;
            packetStart = Position();
            if (h.hasPts) found = h.pts;
            SeekTo(Position() + h.length);
        } else {
            break;
        }
    }
    SeekTo(packetStart);
    return found < 0 ? -1 : found - m_firstTimestamp;
}

void CMpegSplitterFile::UpdateProgramTable(const TsPacketHeader& h)
{
    std::lock_guard lock(m_programLock);
    const std::int64_t start = Position();
    if (h.pid != 0 && m_programs.count(h.pid)) {
        PsiSectionHeader section;
        if (ReadPsiSectionHeader(section) && section.tableId == 2) {
            Program& program = m_programs[h.pid];
            for (auto& e : program.entries) e = {};
            int remaining = section.sectionLength - 9;
            ReadBits(3);
            ReadBits(13);
            ReadBits(4);
            const int infoLength = static_cast<int>(ReadBits(12));
            for (int i = 0; i < infoLength; ++i) ReadBits(8);
            remaining -= infoLength + 4;
            for (int i = 0; i < 64 && remaining > 4; ++i) {
                program.entries[i].type = static_cast<std::uint8_t>(ReadBits(8));
                ReadBits(3);
                program.entries[i].pid = static_cast<std::uint16_t>(ReadBits(13));
                ReadBits(4);
                const int esLength = static_cast<int>(ReadBits(12));
                // The descriptors: an ISO 639 language descriptor (tag 10) names the stream's language.
                int j = 0;
                while (j + 2 <= esLength) {
                    const auto tag = static_cast<int>(ReadBits(8));
                    const int length = std::min(static_cast<int>(ReadBits(8)), esLength - j - 2);
                    std::string code;
                    for (int k = 0; k < length; ++k) {
                        const auto c = static_cast<char>(ReadBits(8));
                        if (tag == 10 && k < 3) code += c;
                    }
                    if (tag == 10 && code.size() == 3 &&
                        std::all_of(code.begin(), code.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }))
                        m_languages[program.entries[i].pid] = code;
                    j += 2 + length;
                }
                for (; j < esLength; ++j) ReadBits(8);
                remaining -= esLength + 5;
            }
        }
    } else if (h.pid == 0) {
        PsiSectionHeader section;
        if (ReadPsiSectionHeader(section) && section.tableId == 0) {
            std::vector<std::uint16_t> numbers;
            for (int i = 0; i < (section.sectionLength - 9) / 4; ++i) {
                const auto number = static_cast<std::uint16_t>(ReadBits(16));
                ReadBits(3);
                const auto pmt = static_cast<std::uint16_t>(ReadBits(13));
                if (number) {
                    m_programs[pmt].number = number;
                    numbers.push_back(number);
                }
            }
            std::erase_if(m_programs, [&](const auto& item) {
                return std::find(numbers.begin(), numbers.end(), item.second.number) == numbers.end();
            });
        }
    }
    SeekTo(start);
}

std::string CMpegSplitterFile::LanguageOf(std::uint16_t pid)
{
    std::lock_guard lock(m_programLock);
    const auto it = m_languages.find(pid);
    return it == m_languages.end() ? std::string() : it->second;
}

const StreamList* CMpegSplitterFile::PrimaryStreamList() const
{
    for (const auto& list : m_streams)
        if (!list.empty()) return &list;
    return nullptr;
}

void CMpegSplitterFile::AddBlurayTextStream(std::uint16_t pid, const char* language)
{
    StreamEntry s;
    s.owner = this;
    s.pid = pid;
    s.pesId = 0xBD;
    if (InList(kSubpictureStreams, s)) return;
    SubpictureHeader h;
    ReadHdmvSubtitleHeader(h, &s.mt, language);
    Insert(kSubpictureStreams, s);
}

void CMpegSplitterFile::OnSourceComplete()
{
    const std::int64_t position = Position();
    const std::int64_t length = Length(false);
    if (SUCCEEDED(ScanForStreams(std::max<std::int64_t>(0, length - 512000), length)) &&
        m_lastTimestamp > m_firstTimestamp && m_lastPosition > m_firstPosition)
        ApplyByteRate(static_cast<std::int32_t>((m_lastPosition - m_firstPosition) * 10000000 /
                                                (m_lastTimestamp - m_firstTimestamp)));
    SeekTo(position);
}

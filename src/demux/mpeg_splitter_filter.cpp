#include "demux/mpeg_splitter_filter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "demux/hdmv_clip_info.h"
#include "demux/mpeg_splitter_output_pin.h"
#include "demux/stream_description.h"
#include "pipeline/event_codes.h"
#include "com/task_memory.h"

namespace {
constexpr REFERENCE_TIME kPreroll = 10000000;
// Reading goes on this far past the end of a play range: pictures that show before the end may
// be stored after a later one (B pictures follow the picture they refer to).
constexpr REFERENCE_TIME kEndMargin = 5000000;
// How far the other streams may run past the end of the play range while one has not reached it.
constexpr REFERENCE_TIME kEndSlack = 30000000;
constexpr std::int64_t kSector = 2048;
} // namespace

CMpegSplitterFilter::CMpegSplitterFilter(IUnknown* outer, HRESULT* phr)
    : CBaseSplitterFilter("CMpegSplitterFilter", outer, phr, CLSID_MpegSplitter)
{
    SplitterTitleInfo::Clear();
}

CMpegSplitterFilter::~CMpegSplitterFilter()
{
    // The demultiplexing thread reads the scanner: end it first.
    EndDemuxThread();
}

HRESULT CMpegSplitterFilter::Create(IBaseFilter** filter)
{
    return CreateComObjectAs(IBaseFilter::iid, reinterpret_cast<void**>(filter),
                             [](HRESULT* hr) { return new (std::nothrow) CMpegSplitterFilter(nullptr, hr); });
}

HRESULT CMpegSplitterFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IAMStreamSelect::iid) return GetInterface(static_cast<IAMStreamSelect*>(this), ppv);
    if (riid == IMyMpegSplitter::iid) return GetInterface(static_cast<IMyMpegSplitter*>(this), ppv);
    return CBaseSplitterFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMpegSplitterFilter::SetTitleInfo(const TitleInfo* title)
{
    if (title) SplitterTitleInfo::Set(*title);
    return S_OK;
}

HRESULT CMpegSplitterFilter::SetPlayRange(LONGLONG startMs, LONGLONG lengthMs, LONGLONG durationMs)
{
    CAutoLock lock(&m_csFilter);
    m_playStart = startMs * 10000;
    m_playLength = lengthMs * 10000;
    m_durationOverride = durationMs * 10000;
    m_playLengthGiven = m_playLength > 0;
    return S_OK;
}

HRESULT CMpegSplitterFilter::SetTimeMap(const SplitterTimeMark* marks, int count)
{
    CAutoLock lock(&m_csFilter);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    m_timeMap.clear();
    if (marks && count > 0) m_timeMap.assign(marks, marks + count);
    // Times that come from the map are kept as they are: a jump is a gap in the data.
    for (auto& pin : m_outputPins)
        static_cast<CMpegSplitterOutputPin*>(pin.get())->SetMaxJump(m_timeMap.empty() && pin->Name() != std::string("Subtitle") ? 50000000 : INT64_MAX);
    return S_OK;
}

bool CMpegSplitterFilter::UsesTimeMap() const
{
    return !m_timeMap.empty() && m_file && m_file->Container() == CMpegSplitterFile::kProgramStream &&
           !m_file->IsStreaming();
}

void CMpegSplitterFilter::EnterPartAt(std::int64_t position)
{
    std::size_t part = m_part < m_timeMap.size() ? m_part : 0;
    while (part + 1 < m_timeMap.size() && m_timeMap[part + 1].position <= position) ++part;
    while (part > 0 && m_timeMap[part].position > position) --part;
    if (part != m_part) {
        m_part = part;
        m_partAnchored = false;
    }
}

void CMpegSplitterFilter::NoteNavPack(std::int64_t start, std::int64_t length)
{
    EnterPartAt(start);
    m_navPackSeen = true;
    if (m_partAnchored) return;
    // Any of the cell's navigation packs says where the cell started (its own start time less the
    // cell's time played so far), so a cell whose first pack is lost still keeps its times.
    const REFERENCE_TIME time = m_file->ReadNavPackCellStart(length);
    if (time == kInvalidTime) return;
    m_partAnchor = time;
    m_partAnchored = true;
}

REFERENCE_TIME CMpegSplitterFilter::PacketTime(DWORD id, REFERENCE_TIME t, std::int64_t position)
{
    const REFERENCE_TIME continuous = ContinuousTime(id, t);
    if (!UsesTimeMap()) return continuous;
    EnterPartAt(position);
    if (m_partAnchored) return t - m_partAnchor + m_timeMap[m_part].time;
    // A part entered without its navigation pack: what is read before the next one follows damage
    // (the pack was lost) and has no place on the time line. A stream without navigation packs
    // keeps the continuous time line.
    return m_navPackSeen ? kInvalidTime : continuous;
}

void CMpegSplitterFilter::SeekByTimeMap(REFERENCE_TIME t)
{
    CMpegSplitterFile* file = m_file.get();
    m_timeBase = 0; // the time map's times count from the first time stamp
    const REFERENCE_TIME target = t - kPreroll;
    if (target <= 0) {
        file->SeekTo(0);
        m_part = 0;
        m_partAnchored = false;
        return;
    }
    auto next = std::upper_bound(m_timeMap.begin(), m_timeMap.end(), target,
                                 [](REFERENCE_TIME time, const SplitterTimeMark& mark) { return time < mark.time; });
    const auto part = static_cast<std::size_t>(std::max<std::ptrdiff_t>(next - m_timeMap.begin() - 1, 0));
    const std::int64_t begin = m_timeMap[part].position;
    const std::int64_t end = part + 1 < m_timeMap.size() ? m_timeMap[part + 1].position : file->Length(false);
    file->SeekTo(begin);
    m_part = part;
    m_partAnchored = false;
    const REFERENCE_TIME anchor = file->FindNavPackCellStart(std::min(end, begin + 1048576));
    if (anchor == kInvalidTime) return; // the part's start; its times follow the continuous time line
    m_partAnchored = true;
    m_partAnchor = anchor;

    // The last sector of the part whose next picture is not after the target.
    const REFERENCE_TIME wanted = anchor + (target - m_timeMap[part].time);
    const StreamList* primary = file->PrimaryStreamList();
    const DWORD id = primary->front().Id();
    std::int64_t low = begin, high = end;
    while (high - low > kSector) {
        const std::int64_t middle = low + (high - low) / 2 / kSector * kSector;
        if (middle <= low) break;
        file->SeekTo(middle);
        const REFERENCE_TIME found = file->FindNextTimestamp(id);
        if (found >= 0 && file->Position() < end && found <= wanted)
            low = middle;
        else
            high = middle;
    }
    file->SeekTo(low);
}

HRESULT CMpegSplitterFilter::ReleaseOutputPins()
{
    const HRESULT hr = CBaseSplitterFilter::ReleaseOutputPins();
    if (SUCCEEDED(hr)) {
        CAutoLock lock(&m_csFilter);
        m_soundPins.clear();
    }
    return hr;
}

int CMpegSplitterFilter::AddSoundPin(LONG index) { return AddStreamPin(index, kAudioStreams); }

int CMpegSplitterFilter::AddSubtitlePin(LONG index) { return AddStreamPin(index, kSubpictureStreams); }

int CMpegSplitterFilter::AddStreamPin(LONG index, int group)
{
    CAutoLock lock(&m_csFilter);
    int g = 0;
    std::size_t position = 0;
    if (!IsStopped() || !LocateStream(index, &g, &position) || g != group) return -1;
    const StreamEntry& stream = m_file->m_streams[g][position];
    DWORD id = stream.Id();
    if (GetOutputPin(id)) {
        // Sound streams have one pin each; a subpicture stream may be burned in and kept too.
        if (group == kAudioStreams || GetOutputPin(id | kMirrorId)) return -1;
        id |= kMirrorId;
    }
    const std::string name = (group == kAudioStreams ? "Audio " : "Subtitle ") + std::to_string(m_soundPins.size() + 2);
    const REFERENCE_TIME maxJump = group == kSubpictureStreams || !m_timeMap.empty() ? INT64_MAX : 50000000;
    HRESULT hr = S_OK;
    auto pin = std::make_unique<CMpegSplitterOutputPin>(std::vector<CMediaType>{stream.mt}, name.c_str(), this, &m_csFilter,
                                                        &hr, maxJump);
    if (FAILED(hr)) return -1;
    m_soundPins.push_back(pin.get());
    AddOutputPin(id, std::move(pin));
    return static_cast<int>(m_outputPins.size()) - 1;
}

HRESULT CMpegSplitterFilter::BuildOutputPins(IAsyncReader* reader)
{
    m_file.reset();
    // A Blu-ray clip (BDMV/STREAM/NNNNN.M2TS) has its streams described in BDMV/CLIPINF/NNNNN.clpi.
    m_clip.clear();
    bool bluray = false;
    ComPtr<IFileHandle> named;
    if (SUCCEEDED(QueryInterfaceTo(reader, named)) && named->GetFileName() && *named->GetFileName()) {
        CHdmvClipInfo clipInfo;
        if (clipInfo.ReadClipInfo(CHdmvClipInfo::ClipInfoPathOf(named->GetFileName())) == S_OK) {
            m_clip = clipInfo.Streams();
            bluray = clipInfo.IsBluray();
        }
    }
    HRESULT hr = S_OK;
    auto file = std::unique_ptr<CMpegSplitterFile>(new (std::nothrow) CMpegSplitterFile(reader, hr, bluray, &m_clip));
    if (!file) return E_OUTOFMEMORY;
    if (FAILED(hr)) return hr;
    m_file = std::move(file);
    m_file->SetBeforeSourceRead([this] { WakeDeliveries(); });
    for (const auto& clip : m_clip)
        if (clip.streamType == 0x90) m_file->AddBlurayTextStream(clip.pid, clip.language);

    m_current = 0;
    m_newStart = 0;
    m_duration = 0;
    m_stop = 0;
    m_newStop = 0;

    CAutoLock lock(&m_csFilter);
    for (int group = 0; group < 3; ++group) {
        const StreamList& list = m_file->m_streams[group];
        if (list.empty()) continue;
        const StreamEntry& first = list.front();
        const REFERENCE_TIME maxJump = group == kSubpictureStreams || !m_timeMap.empty() ? INT64_MAX : 50000000;
        HRESULT pinResult = S_OK;
        auto pin = std::make_unique<CMpegSplitterOutputPin>(std::vector<CMediaType>{first.mt}, kStreamClassNames[group],
                                                            this, &m_csFilter, &pinResult, maxJump);
        if (FAILED(pinResult)) return pinResult;
        AddOutputPin(first.Id(), std::move(pin));
    }
    if (m_file->PrimaryStreamList() && m_file->ByteRate() > 0) {
        const REFERENCE_TIME duration = m_file->Length(false) * 10000000 / m_file->ByteRate();
        m_duration = duration;
        m_stop = duration;
        m_newStop = duration;
    }
    return m_outputPins.empty() ? E_FAIL : S_OK;
}

HRESULT CMpegSplitterFilter::PrepareDemux()
{
    if (!m_file) return E_FAIL;
    m_timeBase = 0;
    if (m_durationOverride.load())
        m_duration = m_durationOverride.load();
    else
        m_durationOverride = m_duration.load();
    if (m_playLength.load() == 0) m_playLength = m_duration.load();
    return S_OK;
}

HRESULT CMpegSplitterFilter::GetDuration(LONGLONG* duration)
{
    if (!duration) return E_POINTER;
    const REFERENCE_TIME playLength = m_playLength.load();
    *duration = playLength ? playLength : m_duration.load();
    return S_OK;
}

void CMpegSplitterFilter::SeekDemux(REFERENCE_TIME t)
{
    CMpegSplitterFile* file = m_file.get();
    const StreamList* primary = file ? file->PrimaryStreamList() : nullptr;
    if (!primary) return;
    const std::int64_t length = file->Length(false);
    if (file->IsStreaming()) {
        file->SeekTo(std::max<std::int64_t>(0, length - 102400));
        m_timeBase = file->FirstTimestamp() + file->FindNextTimestamp(primary->front().Id());
        return;
    }
    if (UsesTimeMap()) {
        SeekByTimeMap(t);
        return;
    }
    // The stream's own times start after its unreadable opening.
    t -= file->OpeningLoss();
    const REFERENCE_TIME duration = m_duration.load();
    if (t <= kPreroll || duration <= 0) {
        file->SeekTo(0);
        return;
    }
    const auto target = static_cast<std::int64_t>(static_cast<double>(t) / duration * length);
    const REFERENCE_TIME latest = t - kPreroll;
    const REFERENCE_TIME earliest = latest - 5000000;
    std::int64_t best = INT64_MAX;

    if (m_timeBase == 0) {
        for (int group : {kVideoStreams, kAudioStreams}) {
            for (const StreamEntry& stream : file->m_streams[group]) {
                CBaseSplitterOutputPin* pin = GetOutputPin(stream.Id());
                if (!pin || !pin->IsConnected()) continue;
                file->SeekTo(target);
                REFERENCE_TIME previous = 0;
                for (int i = 0; i < 10; ++i) {
                    const REFERENCE_TIME r = file->FindNextTimestamp(stream.Id());
                    if (r < 0) break;
                    REFERENCE_TIME d = r - latest;
                    if (d > 0 && d == previous) d = 10000000;
                    if ((earliest <= r && r <= latest) || (previous > 0 && d < 0)) {
                        best = std::min(best, file->Position());
                        break;
                    }
                    file->SeekTo(file->Position() - static_cast<std::int64_t>(static_cast<double>(d) / duration * length));
                    previous = d;
                }
            }
        }
    }
    if (best == INT64_MAX) {
        t -= kPreroll;
        best = static_cast<std::int64_t>(static_cast<double>(t) / duration * length);
        file->SeekTo(best);
        m_timeBase = file->FirstTimestamp() + file->FindNextTimestamp(primary->front().Id()) - t;
    }
    file->SeekTo(best);
}

void CMpegSplitterFilter::RunDemux()
{
    CMpegSplitterFile* file = m_file.get();
    if (!file) return;
    m_clocks.clear();
    m_sharedShift = 0;
    m_latestEnd = kInvalidTime;
    m_navPackSeen = false;
    m_scrambledInARow = 0;
    m_openSkip = kInvalidTime;
    {
        std::lock_guard lock(m_skippedLock);
        m_skipped.clear();
    }
    if (m_playStart) SeekDemux(m_playStart);
    // After the seek: seeking may set the time base. A stream whose opening could not be read
    // keeps its place on the title's time line (a disc's cells are placed by their navigation
    // instead), and the opening is reported as a stretch that could not be read.
    const REFERENCE_TIME opening = UsesTimeMap() ? 0 : file->OpeningLoss();
    const REFERENCE_TIME offset = (m_timeBase ? m_timeBase : file->FirstTimestamp()) - opening;
    if (opening > 0 && m_playStart < opening) {
        std::lock_guard lock(m_skippedLock);
        m_skipped.emplace_back(m_playStart, opening);
    }
    const REFERENCE_TIME end = m_playStart + m_playLength + kEndMargin;
    HRESULT hr = S_OK;
    while (SUCCEEDED(hr) && !CommandPending()) {
        // A given play range ends the stream at its end (once every stream got there: sound lies
        // later in the data than the pictures of its moment); without one, the data does.
        if (m_playLengthGiven && ActivePinsReached(end, kEndSlack)) break;
        // A file that is still being written is looked at again after a while: nothing tells when
        // it grows. A command (a stop, a seek) ends the wait at once.
        constexpr DWORD kGrowthWaitMs = 200;
        const HRESULT data = file->HasData(512000);
        if (data == S_OK) {
            hr = ReadNextPacket(offset);
            if (hr == S_FALSE) {
                if (file->Remaining() <= 0) break;
                if (file->IsStreaming()) {
                    WakeDeliveries();
                    m_commandEvent.Wait(kGrowthWaitMs);
                }
                hr = S_OK;
            }
        } else if (data == S_FALSE) {
            WakeDeliveries();
            m_commandEvent.Wait(kGrowthWaitMs);
        } else {
            break;
        }
    }
    // A command (a seek or the end) flushes what is still being collected; the end of the data
    // completes it.
    FinishTsPayloads(SUCCEEDED(hr) && !CommandPending());
    // An encrypted stretch ends the reading: the graph must know why.
    if (hr == ZZ_E_SCRAMBLED) NotifyEvent(EC_ERRORABORT, ZZ_E_SCRAMBLED, 0);
}

void CMpegSplitterFilter::CloseSkip(REFERENCE_TIME at)
{
    if (m_openSkip == kInvalidTime) return;
    // The streams' times interleave: the stretch runs from the earlier of the two to the later.
    std::lock_guard lock(m_skippedLock);
    m_skipped.emplace_back(std::min(m_openSkip, at), std::max(m_openSkip, at));
    m_openSkip = kInvalidTime;
}

HRESULT CMpegSplitterFilter::PassScrambled()
{
    // A stray scrambled packet is damage: passed over and noted from the last time delivered. A
    // long run of them is an encrypted stretch that cannot be read without the disc's keys.
    constexpr int kEncrypted = 64;
    if (++m_scrambledInARow >= kEncrypted) return ZZ_E_SCRAMBLED;
    if (m_openSkip == kInvalidTime) m_openSkip = m_current.load();
    return S_OK;
}

std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> CMpegSplitterFilter::SkippedStretches()
{
    std::lock_guard lock(m_skippedLock);
    return m_skipped;
}

REFERENCE_TIME CMpegSplitterFilter::ContinuousTime(DWORD id, REFERENCE_TIME t)
{
    constexpr REFERENCE_TIME kForwardJump = 50000000; // 5 s
    constexpr REFERENCE_TIME kBackwardJump = 10000000; // 1 s: more than any picture reordering
    t += m_sharedShift;
    // Subpictures may lie minutes apart: they only follow the other streams' shift.
    bool subpicture = false;
    for (const StreamEntry& s : m_file->m_streams[kSubpictureStreams]) subpicture = subpicture || s.Id() == id;
    if (subpicture) return t;
    StreamClock& clock = m_clocks[id];
    if (clock.last != kInvalidTime && m_latestEnd != kInvalidTime &&
        (t > clock.last + kForwardJump || t < clock.last - kBackwardJump)) {
        // The time stamps start again (a cell of its own time line): every stream moves by the
        // same amount, so that the new part follows on where the old one ended and sound and
        // pictures keep their places against each other.
        const REFERENCE_TIME shift = m_latestEnd - t;
        m_sharedShift += shift;
        t += shift;
        for (auto& [other, c] : m_clocks) c.last = kInvalidTime;
    }
    if (clock.last != kInvalidTime && t > clock.last) clock.step = std::min<REFERENCE_TIME>(t - clock.last, 10000000);
    clock.last = t;
    if (m_latestEnd == kInvalidTime || t + clock.step > m_latestEnd) m_latestEnd = t + clock.step;
    return t;
}

HRESULT CMpegSplitterFilter::CollectTsPayload(DWORD id, bool unitStart, bool hasPts, REFERENCE_TIME pts,
                                              std::int64_t pesLength, REFERENCE_TIME offset, std::int64_t bytes)
{
    HRESULT hr = S_OK;
    auto found = m_openPes.find(id);
    if (unitStart) {
        if (found != m_openPes.end() && found->second.packet) hr = DeliverPacket(std::move(found->second.packet));
        if (FAILED(hr)) return hr;
        if (found == m_openPes.end()) found = m_openPes.emplace(id, OpenPes{}).first;
        PacketPtr packet = m_pool.Take();
        packet->streamId = id;
        packet->syncPoint = hasPts;
        if (hasPts) {
            packet->start = ContinuousTime(id, pts - offset);
            packet->stop = packet->start + 1;
            CloseSkip(packet->start);
        }
        found->second.packet = std::move(packet);
        found->second.expected = pesLength;
    } else if (found == m_openPes.end() || !found->second.packet) {
        // A continuation whose start was not seen (the first packets after a seek).
        return DeliverPayload(id, false, 0, offset, bytes, m_file->Position());
    }
    Packet& packet = *found->second.packet;
    if (bytes > 0) {
        const std::size_t before = packet.data.size();
        packet.data.resize(before + static_cast<std::size_t>(bytes));
        if (m_file->ReadAlignedBytes(packet.data.data() + before, bytes) != S_OK) {
            packet.data.resize(before);
            return S_OK;
        }
    }
    if (found->second.expected > 0 && static_cast<std::int64_t>(packet.data.size()) >= found->second.expected)
        hr = DeliverPacket(std::move(found->second.packet));
    return hr;
}

HRESULT CMpegSplitterFilter::FinishTsPayloads(bool deliver)
{
    HRESULT hr = S_OK;
    for (auto& [id, open] : m_openPes) {
        if (!open.packet) continue;
        if (deliver && SUCCEEDED(hr))
            hr = DeliverPacket(std::move(open.packet));
        else
            m_pool.Give(std::move(open.packet));
    }
    return hr;
}

HRESULT CMpegSplitterFilter::DeliverPayload(DWORD id, bool hasPts, REFERENCE_TIME pts, REFERENCE_TIME offset,
                                            std::int64_t bytes, std::int64_t position)
{
    if (bytes <= 0) return S_OK;
    if (!hasPts && UsesTimeMap() && m_navPackSeen) {
        EnterPartAt(position);
        if (!m_partAnchored) return S_OK; // as for timed packets (PacketTime): after damage, no place yet
    }
    PacketPtr packet = m_pool.Take();
    packet->streamId = id;
    packet->syncPoint = hasPts;
    // DVD LPCM repeats its header in every packet, so its packets must stay apart.
    const bool ownHeader = (id >> 8) == 0xBD && (id & 0xF8) == 0xA0;
    packet->appendable = !hasPts && !ownHeader;
    if (hasPts) {
        packet->start = PacketTime(id, pts - offset, position);
        if (packet->start == kInvalidTime) { // read after damage, before the data found its place again
            m_pool.Give(std::move(packet));
            return S_OK;
        }
        packet->stop = packet->start + 1;
        CloseSkip(packet->start);
    }
    packet->data.resize(static_cast<std::size_t>(bytes));
    if (m_file->ReadAlignedBytes(packet->data.data(), bytes) != S_OK) {
        m_pool.Give(std::move(packet));
        return S_FALSE;
    }
    return DeliverPacket(std::move(packet));
}

HRESULT CMpegSplitterFilter::ReadNextPacket(REFERENCE_TIME offset)
{
    HRESULT hr = S_FALSE;
    switch (m_file->Container()) {
    case CMpegSplitterFile::kProgramStream:
    case CMpegSplitterFile::kPesStream: hr = ReadProgramStreamPacket(offset); break;
    case CMpegSplitterFile::kTransportStream: hr = ReadTransportPacket(offset); break;
    case CMpegSplitterFile::kPva: hr = ReadPvaPacket(offset); break;
    default: return S_FALSE;
    }
    return hr;
}

HRESULT CMpegSplitterFilter::ReadProgramStreamPacket(REFERENCE_TIME offset)
{
    CMpegSplitterFile* file = m_file.get();
    BYTE code = 0;
    if (!file->FindNextStartCode(code, 65536)) return S_FALSE;
    const std::int64_t start = file->Position() - 4;
    if (code == 0xBA) {
        PackHeader h;
        return file->ReadPackHeader(h) ? S_OK : S_FALSE;
    }
    if (code == 0xBB) {
        SystemHeader h;
        return file->ReadSystemHeader(h) ? S_OK : S_FALSE;
    }
    if (code < 0xBD || code > 0xEF) return S_OK;
    PesHeader h;
    if (!file->ReadPesHeader(h, code) || h.length == 0) return S_FALSE;
    const std::int64_t payload = file->Position();
    if (h.kind == 2 && h.scrambling) {
        file->SeekTo(payload + h.length);
        return PassScrambled();
    }
    m_scrambledInARow = 0;
    HRESULT hr = S_OK;
    if (code == 0xBF) {
        if (UsesTimeMap()) NoteNavPack(start, h.length);
    } else {
        const DWORD id = file->ClassifyStream(0, code, h.length);
        if (GetOutputPin(id)) {
            const std::int64_t left = h.length - (file->Position() - payload);
            hr = DeliverPayload(id, h.hasPts, h.pts, offset, left, start);
        }
    }
    file->SeekTo(payload + h.length);
    return hr == S_FALSE ? S_OK : hr;
}

HRESULT CMpegSplitterFilter::ReadTransportPacket(REFERENCE_TIME offset)
{
    CMpegSplitterFile* file = m_file.get();
    TsPacketHeader h;
    if (!file->ReadTsPacketHeader(h, true)) return S_FALSE;
    if (h.payload && h.payloadUnitStart) file->UpdateProgramTable(h);
    const bool elementary = h.payload && h.pid >= 16 && h.pid < 8191;
    if (elementary && h.scrambling != 0 && GetOutputPin(h.pid)) {
        // A packet of a stream being played, scrambled in its transport header.
        file->SeekTo(h.nextPacket);
        return PassScrambled();
    }
    HRESULT hr = S_OK;
    if (elementary && h.scrambling == 0) {
        DWORD id = h.pid;
        bool hasPts = false, pesStart = false;
        REFERENCE_TIME pts = 0;
        std::int64_t pesLength = 0;
        if (h.payloadUnitStart) {
            const std::int64_t before = file->Position();
            BYTE code = 0;
            PesHeader pes;
            if (file->FindNextStartCode(code, 4) && file->ReadPesHeader(pes, code)) {
                if (pes.kind == 2 && pes.scrambling) {
                    file->SeekTo(h.nextPacket);
                    return PassScrambled();
                }
                m_scrambledInARow = 0;
                const auto left = static_cast<DWORD>(std::max<std::int64_t>(0, h.packetEnd - file->Position()));
                id = file->ClassifyStream(h.pid, code, left);
                hasPts = pes.hasPts;
                pts = pes.pts;
                pesLength = pes.length;
                pesStart = true;
            } else {
                file->SeekTo(before);
            }
        }
        if (GetOutputPin(id)) hr = CollectTsPayload(id, pesStart, hasPts, pts, pesLength, offset, h.packetEnd - file->Position());
    }
    file->SeekTo(h.nextPacket);
    return hr == S_FALSE ? S_OK : hr;
}

HRESULT CMpegSplitterFilter::ReadPvaPacket(REFERENCE_TIME offset)
{
    CMpegSplitterFile* file = m_file.get();
    PvaHeader h;
    if (!file->ReadPvaHeader(h, true)) return S_FALSE;
    const std::int64_t payload = file->Position();
    const DWORD id = h.streamId;
    const HRESULT hr = GetOutputPin(id) ? DeliverPayload(id, h.hasPts, h.pts, offset, h.length, payload) : S_OK;
    file->SeekTo(payload + h.length);
    return hr == S_FALSE ? S_OK : hr;
}

bool CMpegSplitterFilter::LocateStream(LONG index, int* group, std::size_t* position)
{
    if (!m_file || index < 0) return false;
    auto i = static_cast<std::size_t>(index);
    for (int g = 0; g < 3; ++g) {
        const std::size_t count = m_file->m_streams[g].size();
        if (i < count) {
            *group = g;
            *position = i;
            return true;
        }
        i -= count;
    }
    return false;
}

HRESULT CMpegSplitterFilter::Count(DWORD* streams)
{
    if (!streams) return E_POINTER;
    *streams = 0;
    if (m_file)
        for (const auto& list : m_file->m_streams) *streams += static_cast<DWORD>(list.size());
    return S_OK;
}

HRESULT CMpegSplitterFilter::Info(LONG index, AM_MEDIA_TYPE** type, DWORD* flags, LCID* locale, DWORD* group,
                                  char** name, IUnknown** object, IUnknown** unknown)
{
    int g = 0;
    std::size_t position = 0;
    if (!LocateStream(index, &g, &position)) return S_OK; // beyond all streams: nothing filled
    const StreamList& list = m_file->m_streams[g];
    if (position >= list.size()) return E_UNEXPECTED;
    const StreamEntry& stream = list[position];
    if (type) *type = CreateMediaType(&stream.mt);
    if (flags) *flags = GetOutputPin(stream.Id()) ? (AMSTREAMSELECTINFO_ENABLED | AMSTREAMSELECTINFO_EXCLUSIVE) : 0;
    const ClipStreamInfo* clip = m_file->ClipInfoOf(stream.pid);
    if (locale) *locale = clip ? clip->locale : 0;
    if (group) *group = static_cast<DWORD>(g);
    if (object) *object = nullptr;
    if (unknown) *unknown = nullptr;
    if (name) {
        std::string text;
        if (g == kSubpictureStreams && stream.pid == 1) {
            text = "No subtitles";
            if (locale) *locale = static_cast<LCID>(-1);
        } else {
            text = StreamName(g, stream.mt, clip, m_file->StreamTypeOf(stream.pid), stream.pid, stream.pesId, stream.subId);
        }
        if (FAILED(CopyTextToTaskMemory(text.c_str(), name))) return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CMpegSplitterFilter::Enable(LONG index, DWORD flags)
{
    if (!(flags & AMSTREAMSELECTENABLE_ENABLE)) return E_NOTIMPL;
    int g = 0;
    std::size_t position = 0;
    if (!LocateStream(index, &g, &position)) return S_FALSE;
    const StreamList& list = m_file->m_streams[g];
    if (position >= list.size()) return E_UNEXPECTED;
    const StreamEntry& chosen = list[position];
    const auto isSoundPin = [this](const CBaseSplitterOutputPin* pin) {
        return std::find(m_soundPins.begin(), m_soundPins.end(), pin) != m_soundPins.end();
    };
    // A stream that a pin of its own carries already stays there.
    if (isSoundPin(GetOutputPin(chosen.Id()))) return VFW_E_ALREADY_CONNECTED;

    for (const StreamEntry& other : list) {
        const CBaseSplitterOutputPin* pin = GetOutputPin(other.Id());
        if (!pin || isSoundPin(pin)) continue;
        const HRESULT hr = RetargetOutputPin(other.Id(), chosen.Id(), chosen.mt);
        if (FAILED(hr)) return hr;
    }
    // In a transport stream the other classes follow to the chosen stream's program.
    if (m_file->Container() == CMpegSplitterFile::kTransportStream && !m_file->IsBluray()) {
        const std::vector<std::uint16_t> program = m_file->ProgramPidsOf(chosen.pid);
        if (!program.empty()) {
            for (int other = 0; other < 3; ++other) {
                if (other == g) continue;
                const StreamList& streams = m_file->m_streams[other];
                auto target = std::find_if(streams.begin(), streams.end(), [&](const StreamEntry& s) {
                    return std::find(program.begin(), program.end(), s.pid) != program.end();
                });
                if (target == streams.end()) continue;
                for (const StreamEntry& s : streams) {
                    if (GetOutputPin(s.Id()) && s.Id() != target->Id()) RetargetOutputPin(s.Id(), target->Id(), target->mt);
                }
            }
        }
    }
    return S_OK;
}

#include "demux/mpeg_splitter_output_pin.h"

#include <cstdlib>
#include <cstring>

#include "demux/base_splitter_filter.h"
#include "demux/nal_unit_scanner.h"
#include "pipeline/media_guids.h"

namespace {

// Index of the first 00 00 00 01 at or after `from`, or `size`.
std::size_t FindLongStartCode(const BYTE* data, std::size_t size, std::size_t from)
{
    for (std::size_t i = from; i + 4 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0 && data[i + 3] == 1) return i;
    return size;
}

// Index of the first 00 00 01 at or after `from` with a following byte, or `size`.
std::size_t FindStartCode(const BYTE* data, std::size_t size, std::size_t from)
{
    for (std::size_t i = from; i + 4 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
    return size;
}

void EraseFront(PacketBytes& data, std::size_t count)
{
    if (count >= data.size())
        data.clear();
    else
        data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
}

} // namespace

CMpegSplitterOutputPin::CMpegSplitterOutputPin(std::vector<CMediaType> types, const char* name,
                                               CBaseSplitterFilter* filter, CCritSec* lock, HRESULT* phr,
                                               REFERENCE_TIME maxJump)
    : CBaseSplitterOutputPin(std::move(types), name, filter, lock, phr), m_maxJump(maxJump)
{
}

void CMpegSplitterOutputPin::DropPending()
{
    // A type change among the dropped packets still goes downstream with the next sample.
    for (auto& unit : m_accessUnits) Discard(std::move(unit));
    m_accessUnits.clear();
    Discard(std::move(m_pending));
}

HRESULT CMpegSplitterOutputPin::DeliverEndFlush()
{
    // Called with the filter lock held, which the delivery thread may be waiting for while it
    // holds the pin lock: the delivery thread drops what it holds before its next packet.
    m_dropPending = true;
    return CBaseSplitterOutputPin::DeliverEndFlush();
}

HRESULT CMpegSplitterOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    m_resetTiming = true;
    return CBaseSplitterOutputPin::DeliverNewSegment(start, stop, rate);
}

void CMpegSplitterOutputPin::ApplyResets()
{
    if (m_dropPending.exchange(false)) DropPending();
    if (m_resetTiming.exchange(false)) {
        m_previousStart = kInvalidTime;
        m_timeOffset = 0;
    }
}

HRESULT CMpegSplitterOutputPin::DeliverPacket(PacketPtr packet)
{
    std::lock_guard lock(m_pinLock);
    ApplyResets();
    // A type change a flush dropped comes with this packet: it is of the new stream.
    if (!packet->mediaType) packet->mediaType = TakeUndeliveredType();
    // Time continuity: a jump beyond the allowance is folded into an offset.
    if (packet->HasStart()) {
        const REFERENCE_TIME t = packet->start + m_timeOffset;
        if (m_previousStart != kInvalidTime && std::llabs(t - m_previousStart) > m_maxJump)
            m_timeOffset += m_previousStart - t;
        packet->start += m_timeOffset;
        packet->stop += m_timeOffset;
        m_previousStart = packet->start;
    }
    GUID subtype = m_mt.subtype;
    if (packet->mediaType && *packet->mediaType != m_mt) subtype = packet->mediaType->subtype;

    if (subtype == MEDIASUBTYPE_AAC) return ReshapeAac(std::move(packet));
    if (subtype == MEDIASUBTYPE_AVC1 || subtype == MEDIASUBTYPE_avc1) return ReshapeAvc(std::move(packet));
    if (subtype == MEDIASUBTYPE_WVC1 || subtype == MEDIASUBTYPE_wvc1) return ReshapeVc1(std::move(packet));
    if (subtype == MEDIASUBTYPE_DTS || subtype == MEDIASUBTYPE_WAVE_DTS)
        return CBaseSplitterOutputPin::DeliverPacket(std::move(packet));
    if (subtype == MEDIASUBTYPE_HDMV_LPCM_AUDIO) {
        EraseFront(packet->data, 4);
        return CBaseSplitterOutputPin::DeliverPacket(std::move(packet));
    }
    DropPending();
    return CBaseSplitterOutputPin::DeliverPacket(std::move(packet));
}

PacketPtr CMpegSplitterOutputPin::TakePendingHead()
{
    PacketPtr out = Pool().Take();
    out->streamId = m_pending->streamId;
    out->discontinuity = m_pending->discontinuity;
    out->syncPoint = m_pending->syncPoint;
    out->start = m_pending->start;
    out->stop = m_pending->stop;
    out->mediaType = std::move(m_pending->mediaType);
    m_pending->discontinuity = false;
    m_pending->syncPoint = false;
    m_pending->start = m_pending->stop = kInvalidTime;
    return out;
}

void CMpegSplitterOutputPin::MoveAttributesToPending(Packet& packet)
{
    if (packet.HasStart()) {
        m_pending->start = packet.start;
        m_pending->stop = packet.stop;
        packet.start = packet.stop = kInvalidTime;
    }
    if (packet.discontinuity) m_pending->discontinuity = true;
    if (packet.syncPoint) m_pending->syncPoint = true;
    packet.discontinuity = packet.syncPoint = false;
    if (packet.mediaType) m_pending->mediaType = std::move(packet.mediaType);
}

void CMpegSplitterOutputPin::AppendPending(Packet& packet)
{
    // Data that never shows a frame boundary is not kept without bound.
    constexpr std::size_t kMaxPending = 32u << 20;
    if (m_pending && m_pending->data.size() > kMaxPending) DropPending();
    if (!m_pending) {
        m_pending = Pool().Take();
        m_pending->streamId = packet.streamId;
        m_pending->discontinuity = packet.discontinuity;
        m_pending->syncPoint = packet.syncPoint;
        m_pending->start = packet.start;
        m_pending->stop = packet.stop;
        packet.start = packet.stop = kInvalidTime;
        packet.discontinuity = packet.syncPoint = false;
        if (packet.mediaType) m_pending->mediaType = std::move(packet.mediaType);
    }
    m_pending->Append(packet.data.data(), packet.data.size());
}

HRESULT CMpegSplitterOutputPin::ReshapeAac(PacketPtr packet)
{
    auto isSync = [](BYTE second) { return (second & 0xF6) == 0xF0; };
    if (m_pending && m_pending->data.size() == 1 && m_pending->data[0] == 0xFF &&
        !(packet->data.size() >= 1 && isSync(packet->data[0])))
        DropPending();

    bool packetIsPending = false;
    if (m_pending) {
        // The packet's time is that of the first frame that starts in it: after what is pending
        // (the rest of a frame begun in the packet before).
        if (packet->HasStart()) {
            m_pending->start = packet->start;
            m_pending->stop = packet->stop;
            m_aacTimedAt = m_pending->data.size();
        }
        m_pending->Append(packet->data.data(), packet->data.size());
    } else {
        const auto& d = packet->data;
        std::size_t i = 0;
        while (i < d.size() && !(d[i] == 0xFF && (i + 1 == d.size() || isSync(d[i + 1])))) ++i;
        if (i == d.size()) {
            Pool().Give(std::move(packet));
            return S_OK;
        }
        EraseFront(packet->data, i);
        m_pending = std::move(packet);
        m_aacTimedAt = 0;
        packetIsPending = true;
    }

    HRESULT hr = S_OK;
    while (m_pending && m_pending->data.size() >= 10) {
        const BYTE* d = m_pending->data.data();
        const std::size_t frameLength = ((d[3] & 3u) << 11) | (static_cast<std::size_t>(d[4]) << 3) | (d[5] >> 5);
        const std::size_t header = (d[1] & 1) ? 7 : 9;
        if (frameLength <= header) {
            DropPending();
            break;
        }
        const std::size_t payload = frameLength - header;
        const std::size_t available = m_pending->data.size() - header;
        if (available < payload) break;
        if (available >= payload + 2 && !(d[header + payload] == 0xFF && isSync(d[header + payload + 1]))) {
            DropPending();
            break;
        }
        // Only the frame where the timed data begins (or the first after it) takes the time.
        const bool timed = m_pending->HasStart() && m_aacTimedAt == 0;
        PacketPtr frame = Pool().Take();
        frame->streamId = m_pending->streamId;
        frame->discontinuity = m_pending->discontinuity;
        frame->syncPoint = timed;
        frame->start = timed ? m_pending->start : kInvalidTime;
        frame->stop = timed ? m_pending->stop : kInvalidTime;
        frame->mediaType = std::move(m_pending->mediaType);
        frame->Append(d + header, payload);
        m_pending->discontinuity = false;
        if (timed) m_pending->start = m_pending->stop = kInvalidTime;
        m_aacTimedAt = m_aacTimedAt > header + payload ? m_aacTimedAt - (header + payload) : 0;
        EraseFront(m_pending->data, header + payload);
        hr = CBaseSplitterOutputPin::DeliverPacket(std::move(frame));
        if (hr != S_OK) break;
    }
    if (m_pending && !packetIsPending && packet) {
        if (!m_pending->discontinuity) m_pending->discontinuity = packet->discontinuity;
        if (!m_pending->syncPoint) m_pending->syncPoint = packet->syncPoint;
        if (packet->mediaType) m_pending->mediaType = std::move(packet->mediaType);
    }
    if (packet) Pool().Give(std::move(packet));
    return hr;
}

HRESULT CMpegSplitterOutputPin::ReshapeAvc(PacketPtr packet)
{
    AppendPending(*packet);
    PacketBytes& data = m_pending->data;
    std::size_t start = FindLongStartCode(data.data(), data.size(), 0);
    for (;;) {
        if (start >= data.size()) break;
        const std::size_t next = FindLongStartCode(data.data(), data.size(), start + 4);
        if (next >= data.size()) break; // a span is taken only when another start code follows
        PacketPtr part = TakePendingHead();
        AppendLengthPrefixed(*part, data.data() + start, next - start);
        m_accessUnits.push_back(std::move(part));
        MoveAttributesToPending(*packet);
        start = next;
    }
    EraseFront(data, start >= data.size() ? 0 : start);
    Pool().Give(std::move(packet));

    return DeliverAccessUnits(false);
}

void CMpegSplitterOutputPin::AppendLengthPrefixed(Packet& part, const BYTE* data, std::size_t size)
{
    NalUnitScanner nal(data, size);
    while (nal.ReadNext()) {
        const std::size_t length = nal.PayloadLength();
        const BYTE prefix[4] = {static_cast<BYTE>(length >> 24), static_cast<BYTE>(length >> 16),
                                static_cast<BYTE>(length >> 8), static_cast<BYTE>(length)};
        part.Append(prefix, 4);
        part.Append(nal.Payload(), length);
    }
}

HRESULT CMpegSplitterOutputPin::DeliverAccessUnits(bool endOfStream)
{
    // Join the parts of each access unit: a delimiter starts one, and without delimiters a part
    // with a time stamp does.
    for (std::size_t i = 1; i <= m_accessUnits.size();) {
        bool startsUnit = i == m_accessUnits.size() && endOfStream;
        if (i < m_accessUnits.size()) {
            const Packet& entry = *m_accessUnits[i];
            const bool delimiter = entry.data.size() > 4 && (entry.data[4] & 0x1F) == 9;
            if (delimiter) m_delimitersSeen = true;
            startsUnit = delimiter || (!m_delimitersSeen && entry.HasStart());
        }
        if (!startsUnit) {
            ++i;
            continue;
        }
        PacketPtr unit = std::move(m_accessUnits[0]);
        for (std::size_t j = 1; j < i; ++j) {
            unit->Append(m_accessUnits[j]->data.data(), m_accessUnits[j]->data.size());
            Pool().Give(std::move(m_accessUnits[j]));
        }
        m_accessUnits.erase(m_accessUnits.begin(), m_accessUnits.begin() + static_cast<std::ptrdiff_t>(i));
        const HRESULT hr = CBaseSplitterOutputPin::DeliverPacket(std::move(unit));
        if (hr != S_OK) return hr;
        i = 1;
    }
    return S_OK;
}

HRESULT CMpegSplitterOutputPin::DeliverEos()
{
    HRESULT hr = S_OK;
    {
        std::lock_guard lock(m_pinLock);
        ApplyResets();
        const GUID& subtype = m_mt.subtype;
        if (m_pending && (subtype == MEDIASUBTYPE_AVC1 || subtype == MEDIASUBTYPE_avc1)) {
            // The last access unit has no start code after it.
            PacketBytes& data = m_pending->data;
            const std::size_t start = FindLongStartCode(data.data(), data.size(), 0);
            if (start < data.size()) {
                PacketPtr part = TakePendingHead();
                AppendLengthPrefixed(*part, data.data() + start, data.size() - start);
                m_accessUnits.push_back(std::move(part));
            }
            hr = DeliverAccessUnits(true);
        } else if (m_pending && (subtype == MEDIASUBTYPE_WVC1 || subtype == MEDIASUBTYPE_wvc1)) {
            const PacketBytes& data = m_pending->data;
            if (data.size() > 4 && data[0] == 0 && data[1] == 0 && data[2] == 1 && (data[3] == 0x0D || data[3] == 0x0F)) {
                PacketPtr frame = TakePendingHead();
                frame->Append(data.data(), data.size());
                hr = CBaseSplitterOutputPin::DeliverPacket(std::move(frame));
            }
        }
        DropPending();
    }
    if (FAILED(hr)) return hr;
    return CBaseSplitterOutputPin::DeliverEos();
}

HRESULT CMpegSplitterOutputPin::ReshapeVc1(PacketPtr packet)
{
    AppendPending(*packet);
    PacketBytes& data = m_pending->data;
    std::size_t begin = data.size();
    for (std::size_t i = FindStartCode(data.data(), data.size(), 0); i < data.size();
         i = FindStartCode(data.data(), data.size(), i + 3)) {
        if (data[i + 3] == 0x0D || data[i + 3] == 0x0F) {
            begin = i;
            break;
        }
    }
    HRESULT hr = S_OK;
    if (begin < data.size()) {
        bool frameSeen = data[begin + 3] == 0x0D;
        std::size_t i = begin + 4;
        for (;;) {
            const std::size_t k = FindStartCode(data.data(), data.size(), i);
            if (k >= data.size()) break;
            const BYTE code = data[k + 3];
            if (code == 0x0F || (code == 0x0D && frameSeen)) {
                PacketPtr frame = TakePendingHead();
                frame->Append(data.data() + begin, k - begin);
                MoveAttributesToPending(*packet);
                hr = CBaseSplitterOutputPin::DeliverPacket(std::move(frame));
                begin = k;
                frameSeen = code == 0x0D;
                if (hr != S_OK) break;
            } else if (code == 0x0D) {
                frameSeen = true;
            }
            i = k + 4;
        }
        EraseFront(data, begin);
    }
    Pool().Give(std::move(packet));
    return hr;
}

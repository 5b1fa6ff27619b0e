#pragma once
// CMpegSplitterOutputPin: the splitter's output pin for MPEG data. Before delivery it repairs
// time-stamp jumps and reshapes some streams into whole frames: AAC (ADTS headers removed, one
// frame per sample), H.264 (Annex B into length-prefixed access units), VC-1 (one frame per
// sample) and Blu-ray LPCM (its header removed). Reshaping runs on the delivery thread under the
// pin's own lock.

#include <atomic>
#include <mutex>
#include <vector>

#include "demux/base_splitter_output_pin.h"

class CMpegSplitterOutputPin : public CBaseSplitterOutputPin {
public:
    // `maxJump`: the largest time-stamp jump kept as it is (5 s; unlimited for subtitles).
    CMpegSplitterOutputPin(std::vector<CMediaType> types, const char* name, CBaseSplitterFilter* filter, CCritSec* lock,
                           HRESULT* phr, REFERENCE_TIME maxJump = 50000000);

    HRESULT DeliverEndFlush() override;
    // Sets the jump allowance (the filter lifts it when its times come from a time map, where a
    // jump is a gap in the data, not a new time line). Any thread.
    void SetMaxJump(REFERENCE_TIME maxJump) { m_maxJump = maxJump; }
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    HRESULT DeliverPacket(PacketPtr packet) override;
    // Delivers the frame the reshaping still holds, then the end of stream.
    HRESULT DeliverEos() override;

private:
    HRESULT ReshapeAac(PacketPtr packet);
    HRESULT ReshapeAvc(PacketPtr packet);
    HRESULT ReshapeVc1(PacketPtr packet);
    // Appends the NAL units of data[begin, end) to `part`, each with a 4-byte length.
    static void AppendLengthPrefixed(Packet& part, const BYTE* data, std::size_t size);
    // Joins the access-unit list up to the last entry that starts a unit and delivers the
    // units; at the end of the stream everything left is the last unit.
    HRESULT DeliverAccessUnits(bool endOfStream);
    // Starts or extends the pending packet (H.264 and VC-1).
    void AppendPending(Packet& packet);
    // A new packet carrying the pending packet's identity and, once, its flags and times.
    PacketPtr TakePendingHead();
    void MoveAttributesToPending(Packet& packet);
    void DropPending();
    // Carries out the end flush's and the new segment's resets (delivery thread, pin lock held).
    void ApplyResets();

    std::mutex m_pinLock;
    PacketPtr m_pending;                  // guarded by m_pinLock
    std::size_t m_aacTimedAt = 0;         // where in m_pending's ADTS bytes its time's data begins; m_pinLock
    std::vector<PacketPtr> m_accessUnits; // guarded by m_pinLock
    REFERENCE_TIME m_previousStart = kInvalidTime;
    REFERENCE_TIME m_timeOffset = 0;
    std::atomic<REFERENCE_TIME> m_maxJump;
    bool m_delimitersSeen = false;
    std::atomic<bool> m_dropPending{false};
    std::atomic<bool> m_resetTiming{false};
};

#pragma once
// What a decoder lost or could only conceal in its last run, for the run's damage report.

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include <new>

#include "com/guid.h"
#include "com/unknown.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"

struct IDecoderDamage : IUnknown {
    static constexpr GUID iid = MakeGuid("{5C2E7A41-93D8-4F0B-A6E2-1D84B7C9F305}");
    // The stretches (start, stop, in the stream's times) whose pictures or sound were decoded
    // from damaged data or could not be decoded at all, joined where they follow each other.
    // Any thread.
    virtual std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> DamagedStretches() = 0;
    // The errors libav reported while decoding (damaged data the decoder concealed is no error).
    virtual int DecodeErrors() = 0;
};

// Makes a decoder of class Decoder (constructed from its outer unknown) and answers `riid` on it:
// the class factory's way to make either decoder.
template <class Decoder>
HRESULT CreateDecoder(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateComObjectAs(riid, ppv, [outer](HRESULT*) { return new (std::nothrow) Decoder(outer); });
}

// The damaged stretches of one decoder, written by its streaming thread and read by any.
class DamageLog {
public:
    // Notes [start, stop); a stretch that begins within `join` of the last one's end extends it.
    void Add(REFERENCE_TIME start, REFERENCE_TIME stop, REFERENCE_TIME join)
    {
        std::lock_guard lock(m_lock);
        if (!m_stretches.empty() && start <= m_stretches.back().second + join && start >= m_stretches.back().first)
            m_stretches.back().second = std::max(m_stretches.back().second, stop);
        else
            m_stretches.emplace_back(start, stop);
    }
    void Clear()
    {
        std::lock_guard lock(m_lock);
        m_stretches.clear();
    }
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> Stretches()
    {
        std::lock_guard lock(m_lock);
        return m_stretches;
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> m_stretches; // guarded by m_lock
};

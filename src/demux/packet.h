#pragma once
// Packet: one demultiplexed unit with its stream, times and flags; PacketQueue: the queue between
// the demultiplexing thread and an output pin's delivery thread.
//
// Packets are recycled through a PacketPool so that the streaming path allocates nothing once the
// pool and the packets' buffers have grown to their working sizes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "pipeline/crit_sec.h"
#include "pipeline/interfaces.h"
#include "pipeline/media_type.h"

constexpr REFERENCE_TIME kInvalidTime = INT64_MIN; // 8000000000000000h

// An allocator whose resize leaves new bytes as they are: a packet's bytes are read into place
// right after it grows, so filling them with zeros first would write every byte twice.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};
using PacketBytes = std::vector<BYTE, UninitializedAllocator<BYTE>>;

class Packet {
public:
    virtual ~Packet() = default;

    PacketBytes data;
    DWORD streamId = 0;
    bool discontinuity = false;
    bool syncPoint = false;
    bool appendable = false;
    REFERENCE_TIME start = kInvalidTime;
    REFERENCE_TIME stop = kInvalidTime;
    std::unique_ptr<CMediaType> mediaType; // a type to switch to, or none

    virtual std::size_t Size() const { return data.size(); }
    bool HasStart() const { return start != kInvalidTime; }
    // Clears everything but keeps the data buffer's memory.
    void Reset();
    // Appends bytes, growing the buffer by at least 1024 bytes or half the new size.
    void Append(const BYTE* bytes, std::size_t count);
};

using PacketPtr = std::unique_ptr<Packet>;

// Recycled packets, shared by the demultiplexing thread (takes) and the delivery threads (give
// back). Any thread.
class PacketPool {
public:
    PacketPtr Take();
    void Give(PacketPtr packet);

private:
    static constexpr std::size_t kMaxKept = 4096;
    static constexpr std::size_t kMostKeptBytes = 262144;
    ShortLock m_lock;
    std::vector<PacketPtr> m_free; // guarded by m_lock
};

class PacketQueue {
public:
    // Takes the packet; an appendable continuation may be merged into the last one (the packet
    // then goes back to `pool`).
    void Add(PacketPtr packet, PacketPool* pool);
    // Takes the head into `packet` (a null entry is an end of stream); false when empty.
    bool Remove(PacketPtr& packet);
    // Empties the queue; packets go back to `pool` (when given). The latest type change among
    // them goes to `lastType` (when given), so that it is not lost with its packet.
    void RemoveAll(PacketPool* pool, std::unique_ptr<CMediaType>* lastType = nullptr);
    std::size_t Count();
    std::size_t Size();

private:
    void Grow(); // m_lock held

    ShortLock m_lock;
    std::vector<PacketPtr> m_ring; // guarded by m_lock
    std::size_t m_head = 0;        // guarded by m_lock
    std::size_t m_count = 0;       // guarded by m_lock
    std::size_t m_bytes = 0;       // guarded by m_lock
};

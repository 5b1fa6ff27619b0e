#include "demux/packet.h"

#include <algorithm>
#include <cstring>

void Packet::Reset()
{
    data.clear();
    streamId = 0;
    discontinuity = false;
    syncPoint = false;
    appendable = false;
    start = kInvalidTime;
    stop = kInvalidTime;
    mediaType.reset();
}

void Packet::Append(const BYTE* bytes, std::size_t count)
{
    const std::size_t old = data.size();
    if (old + count > data.capacity()) data.reserve(old + count + std::max<std::size_t>(1024, (old + count) / 2));
    data.resize(old + count);
    if (count) std::memcpy(data.data() + old, bytes, count);
}

PacketPtr PacketPool::Take()
{
    {
        std::lock_guard lock(m_lock);
        if (!m_free.empty()) {
            PacketPtr packet = std::move(m_free.back());
            m_free.pop_back();
            return packet;
        }
    }
    return std::make_unique<Packet>();
}

void PacketPool::Give(PacketPtr packet)
{
    if (!packet) return;
    packet->Reset();
    // A buffer a large picture grew stays out of the pool: kept, every packet would soon carry
    // one.
    if (packet->data.capacity() > kMostKeptBytes) PacketBytes().swap(packet->data);
    std::lock_guard lock(m_lock);
    if (m_free.size() < kMaxKept) m_free.push_back(std::move(packet));
}

void PacketQueue::Grow()
{
    std::vector<PacketPtr> bigger(std::max<std::size_t>(64, m_ring.size() * 2));
    for (std::size_t i = 0; i < m_count; ++i) bigger[i] = std::move(m_ring[(m_head + i) % m_ring.size()]);
    m_ring.swap(bigger);
    m_head = 0;
}

void PacketQueue::Add(PacketPtr packet, PacketPool* pool)
{
    std::lock_guard lock(m_lock);
    const std::size_t size = packet ? packet->Size() : 0;
    m_bytes += size;
    if (packet && packet->appendable && !packet->discontinuity && !packet->mediaType && !packet->HasStart() &&
        m_count > 0) {
        PacketPtr& last = m_ring[(m_head + m_count - 1) % m_ring.size()];
        if (last && last->HasStart()) {
            last->Append(packet->data.data(), packet->data.size());
            if (pool) pool->Give(std::move(packet));
            return;
        }
    }
    if (m_count == m_ring.size()) Grow();
    m_ring[(m_head + m_count) % m_ring.size()] = std::move(packet);
    ++m_count;
}

bool PacketQueue::Remove(PacketPtr& packet)
{
    std::lock_guard lock(m_lock);
    if (m_count == 0) return false;
    packet = std::move(m_ring[m_head]);
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    if (packet) m_bytes -= std::min(m_bytes, packet->Size());
    return true;
}

void PacketQueue::RemoveAll(PacketPool* pool, std::unique_ptr<CMediaType>* lastType)
{
    std::lock_guard lock(m_lock);
    while (m_count > 0) {
        PacketPtr packet = std::move(m_ring[m_head]);
        m_head = (m_head + 1) % m_ring.size();
        --m_count;
        if (lastType && packet && packet->mediaType) *lastType = std::move(packet->mediaType);
        if (pool && packet) pool->Give(std::move(packet));
    }
    m_bytes = 0;
}

std::size_t PacketQueue::Count()
{
    std::lock_guard lock(m_lock);
    return m_count;
}

std::size_t PacketQueue::Size()
{
    std::lock_guard lock(m_lock);
    return m_bytes;
}

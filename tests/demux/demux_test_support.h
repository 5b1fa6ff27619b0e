#pragma once
// Helpers of the demultiplexer tests: byte sources in memory and a bit writer.

#include <cstdint>
#include <memory>
#include <vector>

#include "demux/base_splitter_file_ex.h"
#include "support/memory_source.h"

namespace demux_testing {

// A memory source and its IAsyncReader.
struct Source {
    ComPtr<testing_filters::MemorySourceFilter> filter;
    ComPtr<IAsyncReader> reader;
};

inline Source MakeSource(std::vector<std::uint8_t> bytes)
{
    Source source;
    source.filter = testing_filters::MemorySourceFilter::Create(std::move(bytes));
    QueryInterfaceTo(source.filter->GetPin(0), source.reader);
    return source;
}

// A header-parsing reader over bytes, with a cache of `cache` bytes.
struct ParsingFile {
    Source source;
    std::unique_ptr<CBaseSplitterFileEx> file;
};

inline ParsingFile MakeParsingFile(std::vector<std::uint8_t> bytes, std::int64_t cache = 65536)
{
    ParsingFile p;
    p.source = MakeSource(std::move(bytes));
    HRESULT hr = S_OK;
    p.file = std::make_unique<CBaseSplitterFileEx>(p.source.reader.Get(), hr, cache, false, true);
    return p;
}

// Appends bits, most significant first.
class BitWriter {
public:
    BitWriter& Bits(std::uint64_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_current = static_cast<std::uint8_t>((m_current << 1) | ((value >> i) & 1));
            if (++m_used == 8) {
                m_bytes.push_back(m_current);
                m_current = 0;
                m_used = 0;
            }
        }
        return *this;
    }
    BitWriter& Bytes(std::initializer_list<std::uint8_t> bytes)
    {
        for (auto b : bytes) Bits(b, 8);
        return *this;
    }
    // The bytes written, the last one padded with zeros.
    std::vector<std::uint8_t> Done()
    {
        std::vector<std::uint8_t> out = m_bytes;
        if (m_used) out.push_back(static_cast<std::uint8_t>(m_current << (8 - m_used)));
        return out;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint8_t m_current = 0;
    int m_used = 0;
};

} // namespace demux_testing

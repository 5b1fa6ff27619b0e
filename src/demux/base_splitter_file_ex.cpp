#include "demux/base_splitter_file_ex.h"

// Container parsers: start codes, pack, system and PES headers, transport packets, PSI sections
// and PVA packets. The elementary-stream parsers live in video_header_parsers.cpp and
// audio_header_parsers.cpp.

CBaseSplitterFileEx::CBaseSplitterFileEx(IAsyncReader* reader, HRESULT& hr, std::int64_t cacheSize,
                                         bool requireRandomAccess, bool allowStreaming)
    : CBaseSplitterFile(reader, hr, cacheSize, requireRandomAccess, allowStreaming)
{
}

bool CBaseSplitterFileEx::FindNextStartCode(BYTE& code, std::int64_t budget)
{
    AlignToByte();
    std::uint32_t window = 0xFFFFFFFF;
    // The remaining byte count is asked for again only when the known remainder runs out.
    std::int64_t remaining = Remaining();
    for (;;) {
        if (budget-- <= 0) return false;
        if (remaining <= 0) {
            remaining = Remaining();
            if (remaining <= 0) return false;
        }
        window = (window << 8) | static_cast<std::uint32_t>(ReadBits(8));
        --remaining;
        if ((window & 0xFFFFFF00) == 0x00000100) {
            code = static_cast<BYTE>(window & 0xFF);
            return true;
        }
    }
}

bool CBaseSplitterFileEx::ReadTimeStamp(std::int64_t& value)
{
    std::int64_t v = static_cast<std::int64_t>(ReadBits(3)) << 30;
    if (!ReadBits(1)) return false;
    v |= static_cast<std::int64_t>(ReadBits(15)) << 15;
    if (!ReadBits(1)) return false;
    v |= static_cast<std::int64_t>(ReadBits(15));
    if (!ReadBits(1)) return false;
    value = v;
    return true;
}

bool CBaseSplitterFileEx::ReadPackHeader(PackHeader& h)
{
    h = PackHeader{};
    const auto b = static_cast<std::uint8_t>(ReadBits(8, true));
    std::int64_t mux = 0;
    if ((b & 0xF1) == 0x21) {
        h.kind = 1;
        ReadBits(4);
        std::int64_t scr = 0;
        if (!ReadTimeStamp(scr)) return false;
        h.scr = scr; // stays in 90 kHz units
        if (!ReadBits(1)) return false;
        mux = static_cast<std::int64_t>(ReadBits(22));
        if (!ReadBits(1)) return false;
    } else if ((b & 0xC4) == 0x44) {
        h.kind = 2;
        ReadBits(2);
        std::int64_t base = 0;
        if (!ReadTimeStamp(base)) return false;
        const auto extension = static_cast<std::int64_t>(ReadBits(9));
        h.scr = (base * 300 + extension) * 10 / 27;
        if (!ReadBits(1)) return false;
        mux = static_cast<std::int64_t>(ReadBits(22));
        if (!ReadBits(1) || !ReadBits(1)) return false;
        ReadBits(5);
        const int stuffing = static_cast<int>(ReadBits(3));
        for (int i = 0; i < stuffing; ++i) ReadBits(8);
    } else {
        return false;
    }
    h.bitRate = mux * 400;
    return true;
}

bool CBaseSplitterFileEx::ReadSystemHeader(SystemHeader& h)
{
    h = SystemHeader{};
    const auto length = static_cast<std::int64_t>(ReadBits(16));
    const std::int64_t end = Position() + length;
    if (!ReadBits(1)) return false;
    h.rateBound = static_cast<std::uint32_t>(ReadBits(22));
    if (!ReadBits(1)) return false;
    h.audioBound = static_cast<std::uint8_t>(ReadBits(6));
    h.fixed = ReadBits(1);
    h.constrained = ReadBits(1);
    h.audioLock = ReadBits(1);
    h.videoLock = ReadBits(1);
    if (!ReadBits(1)) return false;
    h.videoBound = static_cast<std::uint8_t>(ReadBits(5));
    ReadBits(8);
    // The per-stream buffer entries are not needed.
    SeekTo(end);
    return true;
}

bool CBaseSplitterFileEx::ReadPesHeader(PesHeader& h, BYTE id)
{
    h = PesHeader{};
    if (!((id >= 0xBD && id <= 0xEF) || id == 0xFD)) return false;
    h.length = static_cast<std::uint16_t>(ReadBits(16));
    if (id == 0xBE || id == 0xBF) return true; // padding, private stream 2

    for (int i = 0; i < 16 && ReadBits(8, true) == 0xFF; ++i) {
        ReadBits(8);
        if (h.length) --h.length;
    }
    if (ReadBits(2, true) == 2) {
        h.kind = 2;
        ReadBits(2);
        h.scrambling = static_cast<int>(ReadBits(2));
        h.priority = ReadBits(1);
        h.alignment = ReadBits(1);
        h.copyright = ReadBits(1);
        h.original = ReadBits(1);
        h.hasPts = ReadBits(1);
        h.hasDts = ReadBits(1);
        h.escr = ReadBits(1);
        h.esRate = ReadBits(1);
        h.trickMode = ReadBits(1);
        h.additionalCopyInfo = ReadBits(1);
        h.crc = ReadBits(1);
        h.extension = ReadBits(1);
        h.headerDataLength = static_cast<std::uint8_t>(ReadBits(8));
    } else {
        h.kind = 1;
        std::uint64_t bits = ReadBits(2);
        if (bits == 1) {
            const bool scale = ReadBits(1);
            const auto size = static_cast<std::int64_t>(ReadBits(13));
            h.stdBufferSize = size * (scale ? 1024 : 128);
            if (h.length >= 2) h.length -= 2;
            bits = ReadBits(2);
        }
        if (bits == 0) {
            h.hasPts = ReadBits(1);
            h.hasDts = ReadBits(1);
        }
    }

    std::int64_t value = 0;
    if (h.hasPts) {
        if (h.kind == 2 && ReadBits(4) != (h.hasDts ? 3u : 2u)) return false;
        if (!ReadTimeStamp(value)) return false;
        h.pts = value * 10000 / 90 + m_timeOffset;
    }
    if (h.hasDts) {
        if (ReadBits(4) != 1) return false;
        if (!ReadTimeStamp(value)) return false;
        h.dts = value * 10000 / 90 + m_timeOffset;
    }

    if (h.kind == 1) {
        if (!h.hasPts && !h.hasDts && ReadBits(4) != 15) return false;
        if (h.length) {
            int used = h.hasPts ? 5 : 1;
            if (h.hasDts) used += 5;
            h.length = static_cast<std::uint16_t>(h.length >= used ? h.length - used : 0);
        }
        return true;
    }
    if (h.length) {
        const int used = h.headerDataLength + 3;
        h.length = static_cast<std::uint16_t>(h.length >= used ? h.length - used : 0);
    }
    int rest = h.headerDataLength;
    if (h.hasPts) rest -= 5;
    if (h.hasDts) rest -= 5;
    for (int i = 0; i < rest; ++i) ReadBits(8);
    return true;
}

bool CBaseSplitterFileEx::ReadTsPacketHeader(TsPacketHeader& h, bool resync)
{
    h = TsPacketHeader{};
    AlignToByte();
    const std::int64_t start = Position();

    if (m_tsPacketSize == 0) {
        for (int i = 0; i < 192 && m_tsPacketSize == 0 && Remaining() > 0; ++i) {
            const std::int64_t here = Position();
            if (ReadBits(8, true) == 0x47) {
                SeekTo(here + 188);
                if (ReadBits(8, true) == 0x47) {
                    m_tsPacketSize = 188;
                    break;
                }
                SeekTo(here + 192);
                if (ReadBits(8, true) == 0x47) {
                    m_tsPacketSize = 192;
                    break;
                }
                // A miss costs a byte at the last probe position.
                ReadBits(8);
                continue;
            }
            ReadBits(8);
        }
        SeekTo(start);
        if (m_tsPacketSize == 0) return false;
    }

    if (resync) {
        bool found = false;
        for (int i = 0; i < m_tsPacketSize && Remaining() > 0; ++i) {
            const std::int64_t here = Position();
            if (ReadBits(8, true) == 0x47) {
                if (i == 0) {
                    found = true;
                    break;
                }
                SeekTo(here + m_tsPacketSize);
                const bool next = ReadBits(8, true) == 0x47;
                SeekTo(here);
                if (next) {
                    found = true;
                    break;
                }
            }
            ReadBits(8);
        }
        if (!found) return false;
    }

    if (ReadBits(8, true) != 0x47) return false;
    h.nextPacket = Position() + m_tsPacketSize;
    h.packetEnd = Position() + 188;
    h.sync = static_cast<std::uint8_t>(ReadBits(8));
    h.transportError = ReadBits(1);
    h.payloadUnitStart = ReadBits(1);
    h.transportPriority = ReadBits(1);
    h.pid = static_cast<std::uint16_t>(ReadBits(13));
    h.scrambling = static_cast<std::uint8_t>(ReadBits(2));
    h.adaptationField = ReadBits(1);
    h.payload = ReadBits(1);
    h.counter = static_cast<std::uint8_t>(ReadBits(4));
    h.payloadBytes = 184;

    if (h.adaptationField) {
        h.adaptationLength = static_cast<std::uint8_t>(ReadBits(8));
        if (h.adaptationLength > 0) {
            const std::int64_t fieldEnd = Position() + h.adaptationLength;
            h.discontinuity = ReadBits(1);
            h.randomAccess = ReadBits(1);
            h.esPriority = ReadBits(1);
            h.pcrFlag = ReadBits(1);
            h.opcrFlag = ReadBits(1);
            h.splicingPoint = ReadBits(1);
            h.privateData = ReadBits(1);
            h.adaptationExtension = ReadBits(1);
            if (h.pcrFlag) {
                const auto base = static_cast<std::int64_t>(ReadBits(33));
                ReadBits(6);
                const auto extension = static_cast<std::int64_t>(ReadBits(9));
                h.pcr = (base * 300 + extension) * 10 / 27;
            }
            SeekTo(fieldEnd);
        }
        h.payloadBytes -= h.adaptationLength + 1;
        if (h.payloadBytes < 0) return false;
    }
    return true;
}

bool CBaseSplitterFileEx::ReadPsiSectionHeader(PsiSectionHeader& h)
{
    h = PsiSectionHeader{};
    const int pointer = static_cast<int>(ReadBits(8));
    for (int i = 0; i < pointer; ++i) ReadBits(8);
    h.tableId = static_cast<std::uint8_t>(ReadBits(8));
    h.syntaxIndicator = ReadBits(1);
    h.zero = ReadBits(1);
    h.reserved1 = static_cast<std::uint8_t>(ReadBits(2));
    h.sectionLength = static_cast<std::uint16_t>(ReadBits(12));
    h.transportStreamId = static_cast<std::uint16_t>(ReadBits(16));
    h.reserved2 = static_cast<std::uint8_t>(ReadBits(2));
    h.version = static_cast<std::uint8_t>(ReadBits(5));
    h.currentNext = ReadBits(1);
    h.sectionNumber = static_cast<std::uint8_t>(ReadBits(8));
    h.lastSectionNumber = static_cast<std::uint8_t>(ReadBits(8));
    return h.syntaxIndicator && !h.zero;
}

bool CBaseSplitterFileEx::ReadPvaHeader(PvaHeader& h, bool resync)
{
    h = PvaHeader{};
    AlignToByte();
    auto looksLikePva = [&] {
        const std::uint64_t v = ReadBits(64, true);
        const auto byte = [&](int i) { return static_cast<std::uint8_t>(v >> (56 - 8 * i)); };
        return byte(0) == 'A' && byte(1) == 'V' && byte(2) <= 3 && byte(4) == 0x55 && byte(5) < 0x20;
    };
    if (resync) {
        for (int i = 0; i < 65536 && !looksLikePva(); ++i) {
            if (Remaining() <= 0) return false;
            ReadBits(8);
        }
    }
    if (!looksLikePva()) return false;

    h.sync = static_cast<std::uint16_t>(ReadBits(16));
    h.streamId = static_cast<std::uint8_t>(ReadBits(8));
    h.counter = static_cast<std::uint8_t>(ReadBits(8));
    h.reservedByte = static_cast<std::uint8_t>(ReadBits(8));
    h.reserved = static_cast<std::uint8_t>(ReadBits(3));
    h.hasPts = ReadBits(1);
    h.postBytes = static_cast<std::uint8_t>(ReadBits(2));
    h.preBytes = static_cast<std::uint8_t>(ReadBits(2));
    h.length = static_cast<std::uint16_t>(ReadBits(16));
    if (h.length > 6136) return false;
    const std::int64_t afterFixed = Position();

    if (h.streamId == 1 && h.hasPts) {
        h.pts = static_cast<std::int64_t>(ReadBits(32)) * 10000 / 90 + m_timeOffset;
    } else if (h.streamId == 2 && (h.hasPts || (ReadBits(32, true) >= 0x000001C0 && ReadBits(32, true) <= 0x000001DF))) {
        BYTE code = 0;
        if (!FindNextStartCode(code, 4)) return false;
        PesHeader pes;
        if (!ReadPesHeader(pes, code)) return false;
        h.hasPts = pes.hasPts;
        h.pts = pes.pts;
    }
    for (int i = 0; i < h.preBytes; ++i) ReadBits(8);
    const std::int64_t consumed = Position() - afterFixed;
    h.length = static_cast<std::uint16_t>(h.length > consumed ? h.length - consumed : 0);
    return true;
}

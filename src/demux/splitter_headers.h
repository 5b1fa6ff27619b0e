#pragma once
// Records filled by the header parsers of CBaseSplitterFileEx. Times are in 100 ns units unless
// stated. Every parser clears its record first.

#include <cstdint>

struct PackHeader {
    int kind = 0; // 1 MPEG-1, 2 MPEG-2
    std::int64_t scr = 0;
    std::int64_t bitRate = 0; // bits per second
};

struct SystemHeader {
    std::uint32_t rateBound = 0;
    std::uint8_t videoBound = 0;
    std::uint8_t audioBound = 0;
    bool fixed = false;
    bool constrained = false;
    bool videoLock = false;
    bool audioLock = false;
};

struct PesHeader {
    std::uint16_t length = 0; // reduced to the payload length
    int kind = 0;             // 1 MPEG-1, 2 MPEG-2
    bool hasPts = false;
    bool hasDts = false;
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t stdBufferSize = 0;
    int scrambling = 0;
    bool priority = false;
    bool alignment = false;
    bool copyright = false;
    bool original = false;
    bool escr = false;
    bool esRate = false;
    bool trickMode = false;
    bool additionalCopyInfo = false;
    bool crc = false;
    bool extension = false;
    std::uint8_t headerDataLength = 0;
};

struct VideoSequenceHeader {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t aspectCode = 0;
    std::uint32_t timePerFrame = 0; // 100 ns on return
    std::uint32_t bitRate = 0;
    std::uint32_t vbvSize = 0;
    bool constrained = false;
    bool loadIntraMatrix = false;
    std::uint8_t intraMatrix[64] = {};
    bool loadNonIntraMatrix = false;
    std::uint8_t nonIntraMatrix[64] = {};
    std::uint8_t extensionId = 0;
    bool profileLevelEscape = false;
    std::uint8_t profile = 0;
    std::uint8_t level = 0;
    bool progressive = false;
    std::uint8_t chromaFormat = 0;
    bool lowDelay = false;
    std::uint32_t aspectX = 0;
    std::uint32_t aspectY = 0;
};

struct MpegAudioHeader {
    std::uint16_t sync = 0;
    std::uint8_t version = 0; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    std::uint8_t layer = 0;   // 1, 2 or 3 after parsing
    bool crcAbsent = false;
    std::uint8_t bitRateIndex = 0;
    std::uint8_t sampleRateIndex = 0;
    bool padding = false;
    bool privateBit = false;
    std::uint8_t channelMode = 0; // 3 single channel
    std::uint8_t modeExtension = 0;
    bool copyright = false;
    bool original = false;
    std::uint8_t emphasis = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t frameSize = 0;
    std::uint32_t bytesPerSecond = 0;
    std::int64_t frameDuration = 0;
};

struct AacHeader {
    std::uint16_t sync = 0;
    bool version = false;
    std::uint8_t layer = 0;
    bool crcAbsent = false;
    std::uint8_t profile = 0;
    std::uint8_t sampleRateIndex = 0;
    bool privateBit = false;
    std::uint8_t channelConfig = 0;
    bool original = false;
    bool home = false;
    bool copyrightIdBit = false;
    bool copyrightIdStart = false;
    std::uint16_t frameLength = 0;
    std::uint16_t bufferFullness = 0;
    std::uint8_t rawBlocks = 0;
    std::uint16_t crc = 0;
    std::uint32_t payloadSize = 0;
    std::uint32_t bytesPerSecond = 0;
    std::int64_t frameDuration = 0;
};

struct Ac3Header {
    std::uint16_t sync = 0;
    std::uint16_t crc = 0;
    std::uint8_t sampleRateCode = 0;
    std::uint8_t frameSizeCode = 0;
    std::uint8_t bsid = 0;
    std::uint8_t bsmod = 0;
    std::uint8_t acmod = 0;
    std::uint8_t centreMixLevel = 0;
    std::uint8_t surroundMixLevel = 0;
    std::uint8_t surroundMode = 0;
    std::uint8_t lfeOn = 0;
};

struct DtsHeader {
    std::uint32_t sync = 0;
    bool frameType = false;
    std::uint8_t deficitSamples = 0;
    bool crcFlag = false;
    std::uint8_t blocks = 0;
    std::uint16_t frameBytes = 0; // stored value + 1
    std::uint8_t arrangement = 0;
    std::uint8_t sampleRateCode = 0;
    std::uint8_t bitRateCode = 0;
    bool downMix = false;
    bool dynamicRange = false;
    bool timeStamp = false;
    bool auxData = false;
    bool hdcd = false;
    std::uint8_t extensionDescriptor = 0;
    bool extendedCoding = false;
    bool syncWordInsertion = false;
    std::uint8_t lfe = 0;
    bool predictorHistory = false;
};

struct LpcmHeader {
    bool emphasis = false;
    bool mute = false;
    bool reserved1 = false;
    std::uint8_t frameNumber = 0;
    std::uint8_t quantisation = 0;
    std::uint8_t sampleRateCode = 0;
    bool reserved2 = false;
    std::uint8_t channelsMinusOne = 0;
    std::uint8_t dynamicRange = 0;
};

struct HdmvLpcmHeader {
    std::uint16_t payloadSize = 0;
    std::uint8_t channelAssignment = 0;
    std::uint8_t sampleRateCode = 0;
    std::uint8_t bitsCode = 0;
};

struct Ps2AudioHeader {
    std::uint32_t format = 0; // 1 PCM, 16 ADPCM
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::uint32_t interleave = 0;
};

struct TsPacketHeader {
    std::uint8_t sync = 0;
    bool transportError = false;
    bool payloadUnitStart = false;
    bool transportPriority = false;
    std::uint16_t pid = 0;
    std::uint8_t scrambling = 0;
    bool adaptationField = false;
    bool payload = false;
    std::uint8_t counter = 0;
    std::uint8_t adaptationLength = 0;
    bool discontinuity = false;
    bool randomAccess = false;
    bool esPriority = false;
    bool pcrFlag = false;
    bool opcrFlag = false;
    bool splicingPoint = false;
    bool privateData = false;
    bool adaptationExtension = false;
    std::int64_t pcr = 0;
    std::int32_t payloadBytes = 0;
    std::int64_t nextPacket = 0; // the next packet's sync byte
    std::int64_t packetEnd = 0;  // the end of this packet's 188 bytes (an M2TS packet's next time code follows)
};

struct PsiSectionHeader {
    std::uint8_t tableId = 0;
    bool syntaxIndicator = false;
    bool zero = false;
    std::uint8_t reserved1 = 0;
    std::uint16_t sectionLength = 0;
    std::uint16_t transportStreamId = 0;
    std::uint8_t reserved2 = 0;
    std::uint8_t version = 0;
    bool currentNext = false;
    std::uint8_t sectionNumber = 0;
    std::uint8_t lastSectionNumber = 0;
};

struct PvaHeader {
    std::uint16_t sync = 0;
    std::uint8_t streamId = 0; // 1 video, 2 audio
    std::uint8_t counter = 0;
    std::uint8_t reservedByte = 0;
    std::uint8_t reserved = 0;
    bool hasPts = false;
    std::uint8_t postBytes = 0;
    std::uint8_t preBytes = 0;
    std::uint16_t length = 0;
    std::int64_t pts = 0;
};

struct AvcHeader {
    std::uint8_t profile = 0;
    std::uint8_t level = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int64_t spsPosition = 0;
    std::int64_t spsLength = 0;
    std::int64_t ppsPosition = 0;
    std::int64_t ppsLength = 0;
    std::int64_t timePerFrame = 0;
};

struct Vc1Header {
    std::uint8_t profile = 0;
    std::uint8_t level = 0;
    std::uint8_t chromaFormat = 0;
    std::uint8_t frameRateQuantiser = 0;
    std::uint8_t bitRateQuantiser = 0;
    std::uint8_t postProcessing = 0;
    std::uint8_t pullDown = 0;
    std::uint8_t interlace = 0;
    std::uint8_t frameCounter = 0;
    std::uint8_t interpolation = 0;
    std::uint8_t progressiveSegmented = 0;
    std::uint32_t displayWidth = 0;
    std::uint32_t displayHeight = 0;
    std::uint32_t codedWidth = 0;
    std::uint32_t codedHeight = 0;
};

// The subpicture and subtitle kinds carry no header of their own.
struct SubpictureHeader {
    std::uint8_t unused = 0;
};

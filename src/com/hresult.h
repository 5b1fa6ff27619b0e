#pragma once
// Result codes of every interface in the engine, with the published numeric values so that
// codes read in logs and tests mean what they mean everywhere else.

#include <cstdint>

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Builds a code from its parts: severity (0 success, 1 failure), facility and code.
constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code)
{
    return static_cast<HRESULT>((static_cast<std::uint32_t>(severity) << 31) |
                                (static_cast<std::uint32_t>(facility) << 16) | code);
}

constexpr HRESULT hr(std::uint32_t value) { return static_cast<HRESULT>(value); }

// General codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_ABORT = hr(0x80004004);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hr(0x80070005);
constexpr HRESULT E_HANDLE = hr(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hr(0x80040154);

// Media-streaming codes (facility 4, codes 0x200 and up).
constexpr HRESULT VFW_S_NO_MORE_ITEMS = hr(0x00040103);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = hr(0x80040200);
constexpr HRESULT VFW_E_INVALIDSUBTYPE = hr(0x80040201);
constexpr HRESULT VFW_E_NEED_OWNER = hr(0x80040202);
constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = hr(0x80040203);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = hr(0x80040204);
constexpr HRESULT VFW_E_FILTER_ACTIVE = hr(0x80040205);
constexpr HRESULT VFW_E_NO_TYPES = hr(0x80040206);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = hr(0x80040207);
constexpr HRESULT VFW_E_INVALID_DIRECTION = hr(0x80040208);
constexpr HRESULT VFW_E_NOT_CONNECTED = hr(0x80040209);
constexpr HRESULT VFW_E_NO_ALLOCATOR = hr(0x8004020A);
constexpr HRESULT VFW_E_RUNTIME_ERROR = hr(0x8004020B);
constexpr HRESULT VFW_E_BUFFER_NOTSET = hr(0x8004020C);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = hr(0x8004020D);
constexpr HRESULT VFW_E_BADALIGN = hr(0x8004020E);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = hr(0x8004020F);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = hr(0x80040210);
constexpr HRESULT VFW_E_NOT_COMMITTED = hr(0x80040211);
constexpr HRESULT VFW_E_SIZENOTSET = hr(0x80040212);
constexpr HRESULT VFW_E_NO_CLOCK = hr(0x80040213);
constexpr HRESULT VFW_E_NO_SINK = hr(0x80040214);
constexpr HRESULT VFW_E_NO_INTERFACE = hr(0x80040215);
constexpr HRESULT VFW_E_NOT_FOUND = hr(0x80040216);
constexpr HRESULT VFW_E_CANNOT_CONNECT = hr(0x80040217);
constexpr HRESULT VFW_E_CANNOT_RENDER = hr(0x80040218);
constexpr HRESULT VFW_E_CHANGING_FORMAT = hr(0x80040219);
constexpr HRESULT VFW_E_STATE_CHANGED = hr(0x80040223);
constexpr HRESULT VFW_E_NOT_STOPPED = hr(0x80040224);
constexpr HRESULT VFW_E_NOT_PAUSED = hr(0x80040225);
constexpr HRESULT VFW_E_NOT_RUNNING = hr(0x80040226);
constexpr HRESULT VFW_E_WRONG_STATE = hr(0x80040227);
constexpr HRESULT VFW_E_START_TIME_AFTER_END = hr(0x80040228);
constexpr HRESULT VFW_E_INVALID_RECT = hr(0x80040229);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = hr(0x8004022A);
constexpr HRESULT VFW_E_SAMPLE_REJECTED = hr(0x8004022B);
constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = hr(0x8004022C);
constexpr HRESULT VFW_E_DUPLICATE_NAME = hr(0x8004022D);
constexpr HRESULT VFW_S_DUPLICATE_NAME = hr(0x0004022D);
constexpr HRESULT VFW_E_TIMEOUT = hr(0x8004022E);
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = hr(0x8004022F);
constexpr HRESULT VFW_E_ENUM_OUT_OF_RANGE = hr(0x80040230);
constexpr HRESULT VFW_E_CIRCULAR_GRAPH = hr(0x80040231);
constexpr HRESULT VFW_E_TIME_ALREADY_PASSED = hr(0x80040233);
constexpr HRESULT VFW_E_ALREADY_CANCELLED = hr(0x80040234);
constexpr HRESULT VFW_E_ADVISE_ALREADY_SET = hr(0x80040236);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = hr(0x00040237);
constexpr HRESULT VFW_E_NO_ADVISE_SET = hr(0x80040239);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = hr(0x80040240);
constexpr HRESULT VFW_E_CANNOT_LOAD_SOURCE_FILTER = hr(0x80040241);
constexpr HRESULT VFW_S_PARTIAL_RENDER = hr(0x00040242);
constexpr HRESULT VFW_E_FILE_TOO_SHORT = hr(0x80040243);
constexpr HRESULT VFW_E_INVALID_FILE_VERSION = hr(0x80040244);
constexpr HRESULT VFW_S_SOME_DATA_IGNORED = hr(0x00040245);
constexpr HRESULT VFW_S_CONNECTIONS_DEFERRED = hr(0x00040246);
constexpr HRESULT VFW_E_INVALID_CLSID = hr(0x80040247);
constexpr HRESULT VFW_E_INVALID_MEDIA_TYPE = hr(0x80040248);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = hr(0x80040249);
constexpr HRESULT VFW_S_RESOURCE_NOT_NEEDED = hr(0x00040250);
constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = hr(0x80040251);
constexpr HRESULT VFW_E_NO_TIME_FORMAT_SET = hr(0x80040252);
constexpr HRESULT VFW_E_MONO_AUDIO_HW = hr(0x80040253);
constexpr HRESULT VFW_S_MEDIA_TYPE_IGNORED = hr(0x00040254);
constexpr HRESULT VFW_E_NO_DECOMPRESSOR = hr(0x80040255);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = hr(0x80040256);
constexpr HRESULT VFW_S_VIDEO_NOT_RENDERED = hr(0x00040257);
constexpr HRESULT VFW_S_AUDIO_NOT_RENDERED = hr(0x00040258);
constexpr HRESULT VFW_E_UNSUPPORTED_AUDIO = hr(0x8004025C);
constexpr HRESULT VFW_E_UNSUPPORTED_VIDEO = hr(0x8004025D);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = hr(0x8004025F);
constexpr HRESULT VFW_S_ESTIMATED = hr(0x00040260);
constexpr HRESULT VFW_E_NO_TIME_FORMAT = hr(0x80040261);
constexpr HRESULT VFW_E_READ_ONLY = hr(0x80040262);
constexpr HRESULT VFW_E_BUFFER_UNDERFLOW = hr(0x80040264);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = hr(0x80040265);
constexpr HRESULT VFW_E_NO_TRANSPORT = hr(0x80040266);
constexpr HRESULT VFW_S_STREAM_OFF = hr(0x00040267);
constexpr HRESULT VFW_S_CANT_CUE = hr(0x00040268);
constexpr HRESULT VFW_S_NO_STOP_TIME = hr(0x00040270);

// Our own codes.
// The data is scrambled: an encrypted disc read without decryption.
constexpr HRESULT ZZ_E_SCRAMBLED = hr(0x80047A01);
// The output file could not be written (a full disk, a vanished folder): the writer says why.
constexpr HRESULT ZZ_E_WRITE_FAILED = hr(0x80047A02);

// Short name of a code for logs and test messages ("VFW_E_TIMEOUT", or the hex value).
const char* HResultName(HRESULT hr);

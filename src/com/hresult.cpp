#include "com/hresult.h"

#include <cstdio>

const char* HResultName(HRESULT code)
{
    switch (code) {
#define ZZ_NAME(x) \
    case x:        \
        return #x;
        ZZ_NAME(S_OK)
        ZZ_NAME(S_FALSE)
        ZZ_NAME(E_NOTIMPL)
        ZZ_NAME(E_NOINTERFACE)
        ZZ_NAME(E_POINTER)
        ZZ_NAME(E_ABORT)
        ZZ_NAME(E_FAIL)
        ZZ_NAME(E_UNEXPECTED)
        ZZ_NAME(E_OUTOFMEMORY)
        ZZ_NAME(E_INVALIDARG)
        ZZ_NAME(VFW_S_NO_MORE_ITEMS)
        ZZ_NAME(VFW_E_INVALIDMEDIATYPE)
        ZZ_NAME(VFW_E_ENUM_OUT_OF_SYNC)
        ZZ_NAME(VFW_E_ALREADY_CONNECTED)
        ZZ_NAME(VFW_E_NO_ACCEPTABLE_TYPES)
        ZZ_NAME(VFW_E_INVALID_DIRECTION)
        ZZ_NAME(VFW_E_NOT_CONNECTED)
        ZZ_NAME(VFW_E_NO_ALLOCATOR)
        ZZ_NAME(VFW_E_RUNTIME_ERROR)
        ZZ_NAME(VFW_E_BUFFER_OVERFLOW)
        ZZ_NAME(VFW_E_BADALIGN)
        ZZ_NAME(VFW_E_ALREADY_COMMITTED)
        ZZ_NAME(VFW_E_BUFFERS_OUTSTANDING)
        ZZ_NAME(VFW_E_NOT_COMMITTED)
        ZZ_NAME(VFW_E_SIZENOTSET)
        ZZ_NAME(VFW_E_NOT_FOUND)
        ZZ_NAME(VFW_E_CANNOT_CONNECT)
        ZZ_NAME(VFW_E_CANNOT_RENDER)
        ZZ_NAME(VFW_E_NOT_STOPPED)
        ZZ_NAME(ZZ_E_SCRAMBLED)
        ZZ_NAME(ZZ_E_WRITE_FAILED)
        ZZ_NAME(VFW_E_WRONG_STATE)
        ZZ_NAME(VFW_E_TYPE_NOT_ACCEPTED)
        ZZ_NAME(VFW_E_DUPLICATE_NAME)
        ZZ_NAME(VFW_S_DUPLICATE_NAME)
        ZZ_NAME(VFW_E_TIMEOUT)
        ZZ_NAME(VFW_S_STATE_INTERMEDIATE)
        ZZ_NAME(VFW_E_NOT_IN_GRAPH)
        ZZ_NAME(VFW_E_NO_TIME_FORMAT)
        ZZ_NAME(VFW_S_CANT_CUE)
        ZZ_NAME(REGDB_E_CLASSNOTREG)
        ZZ_NAME(CLASS_E_NOAGGREGATION)
#undef ZZ_NAME
    default:
        break;
    }
    thread_local char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

#include "pipeline/media_type.h"

#include <cstring>

#include "com/task_memory.h"

void FreeMediaType(MediaTypeRecord& type)
{
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(MediaTypeRecord* type)
{
    if (!type) return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(MediaTypeRecord* target, const MediaTypeRecord* source)
{
    if (!target || !source) return E_POINTER;
    *target = *source;
    target->pbFormat = nullptr;
    target->cbFormat = 0;
    if (source->cbFormat != 0 && source->pbFormat) {
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!block) return E_OUTOFMEMORY;
        std::memcpy(block, source->pbFormat, source->cbFormat);
        target->pbFormat = block;
        target->cbFormat = source->cbFormat;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

MediaTypeRecord* CreateMediaType(const MediaTypeRecord* source)
{
    auto* type = static_cast<MediaTypeRecord*>(CoTaskMemAlloc(sizeof(MediaTypeRecord)));
    if (!type) return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType() : MediaTypeRecord{} { InitMediaType(); }

CMediaType::CMediaType(const GUID* majorType) : CMediaType() { majortype = *majorType; }

CMediaType::CMediaType(const MediaTypeRecord& record) : MediaTypeRecord{} { CopyMediaType(this, &record); }

CMediaType::CMediaType(const CMediaType& other) : MediaTypeRecord{} { CopyMediaType(this, &other); }

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const MediaTypeRecord& record)
{
    if (&record != this) {
        FreeMediaType(*this);
        CopyMediaType(this, &record);
    }
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other)
{
    return *this = static_cast<const MediaTypeRecord&>(other);
}

bool CMediaType::operator==(const CMediaType& other) const
{
    if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype) return false;
    if (cbFormat != other.cbFormat) return false;
    return cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

bool CMediaType::IsValid() const { return majortype != GUID_NULL; }

bool CMediaType::IsPartiallySpecified() const { return majortype == GUID_NULL || formattype == GUID_NULL; }

bool CMediaType::MatchesPartial(const MediaTypeRecord* partial) const
{
    if (!partial) return true;
    if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
    if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
    if (partial->formattype != GUID_NULL) {
        if (partial->formattype != formattype) return false;
        if (partial->cbFormat != cbFormat) return false;
        if (cbFormat != 0 && std::memcmp(pbFormat, partial->pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

void CMediaType::SetSampleSize(ULONG size)
{
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length)
{
    if (length == 0) {
        FreeMediaType(*this);
        return true;
    }
    BYTE* block = AllocFormatBuffer(length);
    if (!block) return false;
    std::memcpy(block, format, length);
    return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    if (length == 0) return nullptr;
    if (cbFormat == length && pbFormat) {
        std::memset(pbFormat, 0, length);
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
    std::memset(block, 0, length);
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length)
{
    if (length == 0) return nullptr;
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
    std::memset(block, 0, length);
    if (pbFormat) std::memcpy(block, pbFormat, cbFormat < length ? cbFormat : length);
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

void CMediaType::ResetFormatBuffer()
{
    FreeMediaType(*this);
    InitMediaType();
}

void CMediaType::InitMediaType()
{
    static_cast<MediaTypeRecord&>(*this) = MediaTypeRecord{};
    bFixedSizeSamples = TRUE;
    lSampleSize = 1;
}

bool HasFormatBlock(const MediaTypeRecord& type, const GUID& format, std::size_t size)
{
    return type.formattype == format && type.pbFormat && type.cbFormat >= size;
}

#pragma once
// CMediaType wraps a MediaTypeRecord and owns its format block (task memory). The free
// functions handle records handed across interfaces, which live in task memory too.

#include <cstddef>

#include "pipeline/interfaces.h"

// Frees the format block of a record and clears the pointer and length (the record stays).
void FreeMediaType(MediaTypeRecord& type);
// Frees a task-memory record and its format block, as returned by enumerators and samples.
void DeleteMediaType(MediaTypeRecord* type);
// Deep copy into `target` (whose old block is not freed). A zero-length source block gives no
// block. E_OUTOFMEMORY leaves the target without a block.
HRESULT CopyMediaType(MediaTypeRecord* target, const MediaTypeRecord* source);
// A task-memory deep copy, or null when out of memory. The caller deletes it.
MediaTypeRecord* CreateMediaType(const MediaTypeRecord* source);

class CMediaType : public MediaTypeRecord {
public:
    CMediaType();
    explicit CMediaType(const GUID* majorType);
    CMediaType(const MediaTypeRecord& record);
    CMediaType(const CMediaType& other);
    ~CMediaType();

    CMediaType& operator=(const MediaTypeRecord& record);
    CMediaType& operator=(const CMediaType& other);

    // Major type, subtype, format type and format bytes all equal.
    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    // A valid type has a major type.
    bool IsValid() const;
    // Major type and format type are both given.
    bool IsPartiallySpecified() const;
    bool IsFullySpecified() const { return !IsPartiallySpecified(); }
    // Matches a partially given type: its null GUIDs match anything; a format type it gives
    // also requires an equal format block.
    bool MatchesPartial(const MediaTypeRecord* partial) const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* type) { majortype = *type; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    void SetSampleSize(ULONG size);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetTemporalCompression(bool compressed) { bTemporalCompression = compressed ? TRUE : FALSE; }
    ULONG GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Replaces the format block with a copy of `length` bytes; false when out of memory.
    bool SetFormat(const BYTE* format, ULONG length);
    // A zeroed format block of `length` bytes (existing bytes kept when growing); null when out
    // of memory.
    BYTE* AllocFormatBuffer(ULONG length);
    BYTE* ReallocFormatBuffer(ULONG length);
    // Frees the format block and clears the whole record.
    void ResetFormatBuffer();
    void InitMediaType();
};

// True when the record's format block is at least `size` bytes of format type `format`.
bool HasFormatBlock(const MediaTypeRecord& type, const GUID& format, std::size_t size);

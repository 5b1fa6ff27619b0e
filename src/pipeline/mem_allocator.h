#pragma once
// CMemAllocator: samples in one block of ordinary memory, count × (prefix + size) bytes.

#include "pipeline/base_allocator.h"

class CMemAllocator : public CBaseAllocator {
public:
    CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* phr);
    ~CMemAllocator() override;

    // Creates an allocator with one reference owned by the caller.
    static HRESULT Create(IMemAllocator** allocator);

protected:
    HRESULT Alloc() override;
    void Free() override;

private:
    BYTE* m_memory = nullptr; // guarded by m_lock
};

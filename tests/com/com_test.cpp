#include <gtest/gtest.h>

#include <atomic>

#include "com/com_ptr.h"
#include "com/guid.h"
#include "com/hresult.h"
#include "com/task_memory.h"

namespace {

TEST(Guid, ParsesAndFormatsTheBracedForm)
{
    const auto g = ParseGuid("{39F498AF-1A09-4275-B193-673B0BA3D478}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->Data1, 0x39F498AFu);
    EXPECT_EQ(g->Data2, 0x1A09u);
    EXPECT_EQ(g->Data3, 0x4275u);
    EXPECT_EQ(g->Data4[0], 0xB1);
    EXPECT_EQ(g->Data4[7], 0x78);
    EXPECT_EQ(GuidToString(*g), "{39F498AF-1A09-4275-B193-673B0BA3D478}");
}

TEST(Guid, AcceptsLowerCaseAndMissingBraces)
{
    const auto upper = ParseGuid("{3D446B6F-71DE-4437-BE15-8CE47174340F}");
    const auto lower = ParseGuid("3d446b6f-71de-4437-be15-8ce47174340f");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, *lower);
}

TEST(Guid, RejectsMalformedText)
{
    EXPECT_FALSE(ParseGuid(""));
    EXPECT_FALSE(ParseGuid("{3D446B6F-71DE-4437-BE15-8CE47174340F"));   // no closing brace
    EXPECT_FALSE(ParseGuid("{3D446B6F-71DE-4437-BE15-8CE47174340G}"));  // not hex
    EXPECT_FALSE(ParseGuid("{3D446B6F_71DE-4437-BE15-8CE47174340F}"));  // wrong separator
    EXPECT_FALSE(ParseGuid("{3D446B6F-71DE-4437-BE15-8CE47174340FF}")); // too long
    EXPECT_FALSE(ParseGuid("[3D446B6F-71DE-4437-BE15-8CE47174340F]"));
}

TEST(Guid, FourCharacterCodeSubtypes)
{
    // YV12 is the published {32315659-0000-0010-8000-00AA00389B71}.
    EXPECT_EQ(GuidToString(FourCCGuid(MakeFourCC('Y', 'V', '1', '2'))), "{32315659-0000-0010-8000-00AA00389B71}");
    constexpr GUID compileTime = MakeGuid("{32315659-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(compileTime, FourCCGuid(MakeFourCC('Y', 'V', '1', '2')));
}

TEST(HResult, PublishedValuesAndTests)
{
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
    EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_TIMEOUT), 0x8004022Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_NOT_COMMITTED), 0x80040211u);
    EXPECT_EQ(MAKE_HRESULT(1, 4, 0x22E), VFW_E_TIMEOUT);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_UNEXPECTED));
    EXPECT_STREQ(HResultName(VFW_E_WRONG_STATE), "VFW_E_WRONG_STATE");
    EXPECT_STREQ(HResultName(hr(0x80041234)), "0x80041234");
}

// A counted object for the smart pointer's tests.
struct ICounted : IUnknown {
    static constexpr GUID iid = MakeGuid("{0B5E1C2D-0000-4000-8000-000000000001}");
};

struct IOther : IUnknown {
    static constexpr GUID iid = MakeGuid("{0B5E1C2D-0000-4000-8000-000000000002}");
};

class Counted final : public ICounted, public IOther {
public:
    explicit Counted(std::atomic<int>& destroyed) : m_destroyed(destroyed) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == ICounted::iid || riid == IUnknown::iid) return GetInterface(static_cast<ICounted*>(this), ppv);
        if (riid == IOther::iid) return GetInterface(static_cast<IOther*>(this), ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0) {
            ++m_destroyed;
            delete this;
        }
        return left;
    }
    ULONG Refs() const { return m_refs; }

private:
    std::atomic<ULONG> m_refs{0};
    std::atomic<int>& m_destroyed;
};

TEST(ComPtr, CountsReferencesThroughCopiesMovesAndQueries)
{
    std::atomic<int> destroyed{0};
    {
        ComPtr<ICounted> a(new Counted(destroyed));
        auto* raw = static_cast<Counted*>(a.Get());
        EXPECT_EQ(raw->Refs(), 1u);
        {
            ComPtr<ICounted> b = a;
            EXPECT_EQ(raw->Refs(), 2u);
            ComPtr<ICounted> c = std::move(b);
            EXPECT_EQ(raw->Refs(), 2u);
            EXPECT_FALSE(b);
            ComPtr<IOther> other;
            EXPECT_EQ(a.As(other), S_OK);
            EXPECT_EQ(raw->Refs(), 3u);
        }
        EXPECT_EQ(raw->Refs(), 1u);
        ICounted* out = nullptr;
        EXPECT_EQ(a.CopyTo(&out), S_OK);
        EXPECT_EQ(raw->Refs(), 2u);
        ComPtr<ICounted> adopted = AdoptRef(out);
        EXPECT_EQ(raw->Refs(), 2u);
        EXPECT_EQ(destroyed.load(), 0);
    }
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(ComPtr, PutReleasesTheOldValue)
{
    std::atomic<int> destroyed{0};
    ComPtr<ICounted> p(new Counted(destroyed));
    ICounted** slot = p.Put();
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_EQ(*slot, nullptr);
    ComPtr<IOther> none;
    EXPECT_EQ(ComPtr<ICounted>().As(none), E_POINTER);
}

TEST(TaskMemory, AllocatesReallocatesAndFrees)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    block[0] = 'z';
    block = static_cast<char*>(CoTaskMemRealloc(block, 1024));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 'z');
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    CoTaskMemFree(empty);
}

} // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/media_sample.h"
#include "pipeline/media_type.h"
#include "pipeline/mem_allocator.h"
#include "support/harness.h"

namespace {

using testing_filters::LiveCounts;

class AllocatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_before = LiveCounts::Now();
        ASSERT_EQ(CMemAllocator::Create(m_allocator.Put()), S_OK);
    }
    void TearDown() override
    {
        m_allocator = nullptr;
        EXPECT_EQ(LiveCounts::Now(), m_before) << "an allocator or sample was left alive";
    }
    void Configure(LONG count, LONG size, LONG align = 1, LONG prefix = 0)
    {
        ALLOCATOR_PROPERTIES request{count, size, align, prefix};
        ALLOCATOR_PROPERTIES actual{};
        ASSERT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
    }
    ComPtr<IMediaSample> Get(DWORD flags = 0)
    {
        IMediaSample* sample = nullptr;
        m_lastResult = m_allocator->GetBuffer(&sample, nullptr, nullptr, flags);
        return AdoptRef(sample);
    }

    LiveCounts m_before{};
    ComPtr<IMemAllocator> m_allocator;
    HRESULT m_lastResult = S_OK;
};

TEST_F(AllocatorTest, NoWaitGetBufferTimesOutAtOnceWhenAllSamplesAreOut)
{
    Configure(2, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto a = Get();
    auto b = Get();
    ASSERT_TRUE(a && b);
    const auto started = std::chrono::steady_clock::now();
    auto c = Get(AM_GBF_NOWAIT);
    EXPECT_EQ(m_lastResult, VFW_E_TIMEOUT);
    EXPECT_FALSE(c);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    a = nullptr; // back on the free list
    EXPECT_TRUE(Get(AM_GBF_NOWAIT));
}

TEST_F(AllocatorTest, DecommitReleasesAWaitingThread)
{
    Configure(1, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto held = Get();
    ASSERT_TRUE(held);
    std::atomic<HRESULT> waiterResult{S_OK};
    std::thread waiter([&] {
        ComPtr<IMediaSample> sample;
        waiterResult = m_allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0);
    });
    // The thread waits in GetBuffer for the held sample.
    auto* pool = static_cast<CMemAllocator*>(m_allocator.Get());
    while (pool->Waiting() == 0) std::this_thread::yield();
    EXPECT_EQ(m_allocator->Decommit(), S_OK);
    waiter.join();
    EXPECT_EQ(waiterResult.load(), VFW_E_NOT_COMMITTED);
    // The held sample still works; its memory goes when it comes back.
    BYTE* data = nullptr;
    EXPECT_EQ(held->GetPointer(&data), S_OK);
    data[0] = 1;
    const long alive = CMediaSample::SamplesAlive();
    held = nullptr;
    EXPECT_EQ(CMediaSample::SamplesAlive(), alive - 1);
}

TEST_F(AllocatorTest, DataLengthAboveTheBufferFailsAndKeepsTheOldLength)
{
    Configure(1, 100);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Get();
    ASSERT_EQ(sample->SetActualDataLength(60), S_OK);
    EXPECT_EQ(sample->SetActualDataLength(sample->GetSize() + 1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->GetActualDataLength(), 60);
    EXPECT_EQ(sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
}

TEST_F(AllocatorTest, PropertiesRoundTheSizeToTheAlignment)
{
    ALLOCATOR_PROPERTIES request{3, 100, 16, 8};
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ((actual.cbBuffer + actual.cbPrefix) % 16, 0);
    EXPECT_GE(actual.cbBuffer, 100);
    EXPECT_LT(actual.cbBuffer, 116);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Get();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    EXPECT_EQ((reinterpret_cast<std::uintptr_t>(data) - 8) % 16, 0u);
}

TEST_F(AllocatorTest, BadAlignmentsAreRefused)
{
    ALLOCATOR_PROPERTIES actual{};
    ALLOCATOR_PROPERTIES zero{1, 64, 0, 0};
    EXPECT_EQ(m_allocator->SetProperties(&zero, &actual), VFW_E_BADALIGN);
    ALLOCATOR_PROPERTIES notPowerOfTwo{1, 64, 24, 0};
    EXPECT_EQ(m_allocator->SetProperties(&notPowerOfTwo, &actual), VFW_E_BADALIGN);
    ALLOCATOR_PROPERTIES tooLarge{1, 64, 1 << 20, 0};
    EXPECT_EQ(m_allocator->SetProperties(&tooLarge, &actual), VFW_E_BADALIGN);
}

TEST_F(AllocatorTest, PropertiesAreFixedWhileCommittedOrWhileSamplesAreOut)
{
    Configure(2, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    ALLOCATOR_PROPERTIES request{4, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    EXPECT_EQ(m_allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
    auto held = Get();
    m_allocator->Decommit();
    EXPECT_EQ(m_allocator->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    held = nullptr;
    EXPECT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
}

TEST_F(AllocatorTest, GetBufferBeforeCommitAndCommitWithoutSize)
{
    auto sample = Get();
    EXPECT_EQ(m_lastResult, VFW_E_NOT_COMMITTED);
    EXPECT_EQ(m_allocator->Commit(), VFW_E_SIZENOTSET);
}

TEST_F(AllocatorTest, SamplesAreReusedAndTheirPropertiesResetWhenHandedOut)
{
    Configure(1, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    IMediaSample* first = nullptr;
    {
        auto sample = Get();
        first = sample.Get();
        REFERENCE_TIME start = 5, stop = 10;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(TRUE);
        sample->SetPreroll(TRUE);
        CMediaType type = testing_filters::MakeYv12Type(16, 16);
        EXPECT_EQ(sample->SetMediaType(&type), S_OK);
    }
    auto again = Get();
    EXPECT_EQ(again.Get(), first);
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(again->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(again->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(again->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(again->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
}

TEST_F(AllocatorTest, SampleTimesAndMediaTypes)
{
    Configure(1, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Get();
    REFERENCE_TIME start = 100;
    REFERENCE_TIME stop = 200;
    ASSERT_EQ(sample->SetTime(&start, &stop), S_OK);
    REFERENCE_TIME a = 0, b = 0;
    EXPECT_EQ(sample->GetTime(&a, &b), S_OK);
    EXPECT_EQ(a, 100);
    EXPECT_EQ(b, 200);
    // Setting without a stop clears the stop.
    ASSERT_EQ(sample->SetTime(&start, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&a, &b), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(b, 101);
    ASSERT_EQ(sample->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&a, &b), VFW_E_SAMPLE_TIME_NOT_SET);

    LONGLONG m1 = 7, m2 = 8;
    EXPECT_EQ(sample->GetMediaTime(&m1, &m2), VFW_E_MEDIA_TIME_NOT_SET);
    ASSERT_EQ(sample->SetMediaTime(&m1, &m2), S_OK);
    LONGLONG r1 = 0, r2 = 0;
    EXPECT_EQ(sample->GetMediaTime(&r1, &r2), S_OK);
    EXPECT_EQ(r1, 7);
    EXPECT_EQ(r2, 8);

    CMediaType type = testing_filters::MakeYv12Type(16, 16);
    ASSERT_EQ(sample->SetMediaType(&type), S_OK);
    AM_MEDIA_TYPE* attached = nullptr;
    ASSERT_EQ(sample->GetMediaType(&attached), S_OK);
    EXPECT_TRUE(CMediaType(*attached) == type);
    DeleteMediaType(attached);
    ASSERT_EQ(sample->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(sample->GetMediaType(&attached), S_FALSE);
}

TEST_F(AllocatorTest, PropertyBlockReadsAndWritesEverythingAtOnce)
{
    Configure(1, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Get();
    ComPtr<IMediaSample2> sample2;
    ASSERT_EQ(sample.As(sample2), S_OK);
    CMediaType type = testing_filters::MakeYv12Type(16, 16);

    AM_SAMPLE2_PROPERTIES props{};
    props.cbData = sizeof props;
    props.dwSampleFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID | AM_SAMPLE_TYPECHANGED;
    props.lActual = 32;
    props.tStart = 1000;
    props.tStop = 2000;
    props.pMediaType = &type;
    ASSERT_EQ(sample2->SetProperties(sizeof props, reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 32);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);

    AM_SAMPLE2_PROPERTIES read{};
    ASSERT_EQ(sample2->GetProperties(sizeof read, reinterpret_cast<BYTE*>(&read)), S_OK);
    EXPECT_EQ(read.tStart, 1000);
    EXPECT_EQ(read.tStop, 2000);
    EXPECT_EQ(read.cbBuffer, sample->GetSize());
    ASSERT_NE(read.pMediaType, nullptr);
    EXPECT_NE(read.pMediaType, &type); // the sample's own copy
    EXPECT_TRUE(CMediaType(*read.pMediaType) == type);

    props.lActual = sample->GetSize() + 1;
    EXPECT_EQ(sample2->SetProperties(sizeof props, reinterpret_cast<BYTE*>(&props)), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample2->GetProperties(sizeof props + 1, reinterpret_cast<BYTE*>(&read)), E_INVALIDARG);
}

class CountingNotify final : public IMemAllocatorNotifyCallbackTemp {
public:
    HRESULT QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override { return --m_refs; }
    HRESULT NotifyRelease() override
    {
        ++m_notified;
        return S_OK;
    }
    std::atomic<int> m_refs{1};
    std::atomic<int> m_notified{0};
};

TEST_F(AllocatorTest, NotifyTargetHearsOfEveryReturnedSample)
{
    Configure(3, 64);
    ComPtr<IMemAllocatorCallbackTemp> callback;
    ASSERT_EQ(m_allocator.As(callback), S_OK);
    CountingNotify notify;
    ASSERT_EQ(callback->SetNotify(&notify), S_OK);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    LONG free = -1;
    callback->GetFreeCount(&free);
    EXPECT_EQ(free, 3);
    {
        auto a = Get();
        auto b = Get();
        callback->GetFreeCount(&free);
        EXPECT_EQ(free, 1);
    }
    EXPECT_EQ(notify.m_notified.load(), 2);
    callback->SetNotify(nullptr);
    callback = nullptr;
    EXPECT_EQ(notify.m_refs.load(), 1);
}

TEST_F(AllocatorTest, AnAllocatorOutlivesItsLastReleasedSample)
{
    Configure(2, 64);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Get();
    const LiveCounts held = LiveCounts::Now();
    m_allocator->Decommit();
    m_allocator = nullptr; // the sample still holds the allocator
    // Nothing went with the last outside reference: the allocator and the sample still live, and
    // the sample's memory is its own.
    EXPECT_EQ(LiveCounts::Now(), held);
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    EXPECT_EQ(sample->GetSize(), 64);
    data[63] = 0x5A;
    EXPECT_EQ(data[63], 0x5A);
    sample = nullptr; // frees the memory and the allocator (TearDown counts them gone)
    EXPECT_EQ(LiveCounts::Now(), m_before);
}

} // namespace

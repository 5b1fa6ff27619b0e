#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "pipeline/mem_allocator.h"
#include "pipeline/output_queue.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

class OutputQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_before = LiveCounts::Now();
        ASSERT_EQ(CMemAllocator::Create(m_allocator.Put()), S_OK);
        ALLOCATOR_PROPERTIES request{16, 64, 1, 0}, actual{};
        ASSERT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
        ASSERT_EQ(m_allocator->Commit(), S_OK);
    }
    void TearDown() override
    {
        m_allocator->Decommit();
        m_allocator = nullptr;
        m_sink = nullptr;
        EXPECT_EQ(LiveCounts::Now(), m_before);
    }
    void MakeSink(TestSink::Options options = {})
    {
        m_sink = TestSink::Create(options);
        ASSERT_EQ(m_sink->Pause(), S_OK);
    }
    // A sample whose reference goes to the caller (and on to the queue).
    ComPtr<IMediaSample> NewSample(std::int64_t index)
    {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(m_allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0), S_OK);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, &index, sizeof index);
        sample->SetActualDataLength(sizeof index);
        return sample;
    }
    static void WaitIdle(OutputQueue& queue) { queue.WaitUntilIdle(); }

    LiveCounts m_before{};
    ComPtr<IMemAllocator> m_allocator;
    ComPtr<TestSink> m_sink;
};

TEST_F(OutputQueueTest, DirectExactBatchesWaitForAFullBatchOrASendNow)
{
    MakeSink();
    HRESULT hr = S_OK;
    OutputQueue queue(m_sink->Pin(), &hr, /*autoQueue=*/false, /*queue=*/false, /*batchSize=*/3, /*batchExact=*/true);
    ASSERT_EQ(hr, S_OK);
    EXPECT_FALSE(queue.IsQueued());
    EXPECT_EQ(queue.Receive(NewSample(0)), S_OK);
    EXPECT_EQ(queue.Receive(NewSample(1)), S_OK);
    EXPECT_EQ(m_sink->Received(), 0);
    EXPECT_EQ(queue.Receive(NewSample(2)), S_OK);
    EXPECT_EQ(m_sink->Received(), 3);
    EXPECT_EQ(queue.Receive(NewSample(3)), S_OK);
    queue.SendAnyway();
    EXPECT_EQ(m_sink->Received(), 4);
    EXPECT_EQ(queue.Receive(NewSample(4)), S_OK);
    queue.EOS(); // the partial batch goes first
    EXPECT_EQ(m_sink->Received(), 5);
    EXPECT_EQ(m_sink->EndOfStreams(), 1);
    EXPECT_EQ(m_sink->SegmentIndices(), (std::vector<std::int64_t>{0, 1, 2, 3, 4}));
}

TEST_F(OutputQueueTest, QueuedDeliveryKeepsOrderWithControlPackets)
{
    MakeSink();
    HRESULT hr = S_OK;
    OutputQueue queue(m_sink->Pin(), &hr, false, true, 4, false, 8);
    ASSERT_EQ(hr, S_OK);
    EXPECT_TRUE(queue.IsQueued());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(queue.Receive(NewSample(i)), S_OK);
    queue.NewSegment(0, 1000, 1.0); // clears the sink's record after the first five
    for (int i = 5; i < 12; ++i) EXPECT_EQ(queue.Receive(NewSample(i)), S_OK);
    queue.EOS();
    WaitIdle(queue);
    EXPECT_EQ(m_sink->Received(), 12);
    EXPECT_EQ(m_sink->Segments(), 1);
    EXPECT_EQ(m_sink->SegmentIndices(), (std::vector<std::int64_t>{5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(m_sink->EndOfStreams(), 1);
}

TEST_F(OutputQueueTest, AutomaticModeQueuesForAPinThatMayBlock)
{
    MakeSink();
    HRESULT hr = S_OK;
    OutputQueue queue(m_sink->Pin(), &hr, /*autoQueue=*/true, /*queue=*/false);
    ASSERT_EQ(hr, S_OK);
    EXPECT_TRUE(queue.IsQueued()); // a sink's receive may block
}

TEST_F(OutputQueueTest, TheFirstFailureIsRememberedUntilEndFlush)
{
    MakeSink();
    HRESULT hr = S_OK;
    OutputQueue queue(m_sink->Pin(), &hr, false, false, 1, false);
    ASSERT_EQ(queue.Receive(NewSample(0)), S_OK);
    m_sink->Stop();
    EXPECT_EQ(queue.Receive(NewSample(1)), VFW_E_WRONG_STATE);
    m_sink->Pause();
    // Still refused: the failure is remembered, and the sample is not sent.
    EXPECT_EQ(queue.Receive(NewSample(2)), VFW_E_WRONG_STATE);
    EXPECT_EQ(m_sink->Received(), 1);
    queue.BeginFlush();
    EXPECT_EQ(queue.Receive(NewSample(3)), S_FALSE);
    queue.EndFlush();
    EXPECT_EQ(queue.Receive(NewSample(4)), S_OK);
    EXPECT_EQ(m_sink->Received(), 2);
}

TEST_F(OutputQueueTest, BeginFlushDiscardsQueuedSamplesAndReleasesAWaitingProducer)
{
    MakeSink({.delayEvery = 1, .delayMicroseconds = 20000});
    HRESULT hr = S_OK;
    OutputQueue queue(m_sink->Pin(), &hr, false, true, 1, false, /*listSize=*/2);
    ASSERT_EQ(hr, S_OK);
    std::thread producer([&] {
        for (int i = 0; i < 8; ++i) queue.Receive(NewSample(i));
    });
    // The slow sink holds the queue's thread; the producer waits with the list full.
    while (queue.WaitingProducers() == 0) std::this_thread::yield();
    queue.BeginFlush();
    producer.join(); // released by the flush even with the list full
    queue.EndFlush();
    WaitIdle(queue);
    EXPECT_LT(m_sink->Received(), 8);
    LONG free = 0;
    ComPtr<IMemAllocatorCallbackTemp> callback;
    m_allocator.As(callback);
    callback->GetFreeCount(&free);
    EXPECT_EQ(free, 16) << "every sample came back to its allocator";
}

} // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "dvd/dvd_reader.h"
#include "dvd/my_dvd.h"
#include "dvd/shared_disc_info.h"
#include "pipeline/media_guids.h"
#include "com/debug_log.h"
#include "com/task_memory.h"
#include "support/graph_fixture.h"
#include "support/reference_reader.h"
#include "support/test_discs.h"

namespace {

using namespace testing_filters;

class PullSink;

// An input pin that pulls, as the splitter does: it asks its peer for IAsyncReader.
class PullPin : public CBasePin {
public:
    PullPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr) : CBasePin("Pull pin", filter, lock, phr, "Input", PINDIR_INPUT) {}
    HRESULT CheckMediaType(const CMediaType* type) override { return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE; }
    HRESULT CheckConnect(IPin* pin) override
    {
        const HRESULT hr = CBasePin::CheckConnect(pin);
        if (FAILED(hr)) return hr;
        return QueryInterfaceTo(pin, m_reader);
    }
    HRESULT BreakConnect() override
    {
        m_reader = nullptr;
        return S_OK;
    }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }
    ComPtr<IAsyncReader> m_reader;
};

class PullSink : public CBaseFilter {
public:
    PullSink() : CBaseFilter("PullSink", nullptr, &m_lock, GUID_NULL)
    {
        HRESULT hr = S_OK;
        m_pin = std::make_unique<PullPin>(this, &m_lock, &hr);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }
    PullPin* Pin() { return m_pin.get(); }

private:
    CCritSec m_lock;
    std::unique_ptr<PullPin> m_pin;
};

class DvdReaderTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        m_path = TestDisc("ntsc_4x3");
        m_disc = OpenDisc(m_path);
        m_handle = m_disc.Get();
        ASSERT_NE(m_handle, 0u);
        IBaseFilter* reader = nullptr;
        ASSERT_EQ(CDVDReader::Create(&reader), S_OK);
        m_reader = AdoptRef(static_cast<CDVDReader*>(reader));
        ASSERT_EQ(m_graph->AddFilter(m_reader.Get(), "Reader"), S_OK);
        m_sink = ComPtr<PullSink>(new PullSink);
        ASSERT_EQ(m_graph->AddFilter(m_sink.Get(), "Splitter"), S_OK);
        ASSERT_EQ(m_reader->SetDvdReader(m_handle), S_OK);
    }
    void TearDown() override
    {
        m_async = nullptr;
        m_sink = nullptr;
        m_reader = nullptr;
        GraphFixture::TearDown();
    }
    IAsyncReader* Connect()
    {
        EXPECT_EQ(m_graph->ConnectDirect(m_reader->GetPin(0), m_sink->Pin(), nullptr), S_OK);
        m_async = m_sink->Pin()->m_reader;
        return m_async.Get();
    }
    // Reads the whole stream with SyncRead in chunks of `chunk`; stops at the first short read.
    std::vector<std::uint8_t> SyncReadAll(IAsyncReader* reader, LONG chunk)
    {
        std::vector<std::uint8_t> all;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(chunk));
        for (LONGLONG position = 0;; position += chunk) {
            LONGLONG total = 0, available = 0;
            reader->Length(&total, &available);
            const LONG wanted = static_cast<LONG>(std::min<LONGLONG>(chunk, total - position));
            if (wanted <= 0) break;
            const HRESULT hr = reader->SyncRead(position, wanted, buffer.data());
            if (FAILED(hr)) break;
            LONGLONG after = 0;
            reader->Length(&after, &available);
            const LONG got = static_cast<LONG>(std::min<LONGLONG>(wanted, after - position));
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
            if (hr == S_FALSE) break;
        }
        return all;
    }

    std::string m_path;
    OwnedDisc m_disc; // outlives the graph, which borrows it
    DiscHandle m_handle = 0;
    ComPtr<CDVDReader> m_reader;
    ComPtr<PullSink> m_sink;
    ComPtr<IAsyncReader> m_async;
};

TEST_F(DvdReaderTest, OffersAByteStreamToPinsThatPull)
{
    EXPECT_EQ(m_reader->GetPin(0)->Name(), "Output");
    CMediaType offered;
    ASSERT_EQ(m_reader->GetPin(0)->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(offered.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(offered.subtype, GUID_NULL);
    CMediaType program(&MEDIATYPE_Stream);
    program.subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
    EXPECT_EQ(m_reader->GetPin(0)->CheckMediaType(&program), S_OK);
    CMediaType video(&MEDIATYPE_Video);
    EXPECT_EQ(m_reader->GetPin(0)->CheckMediaType(&video), S_FALSE);

    // A pushing input pin never asks for IAsyncReader and cannot connect.
    auto pushing = TestSink::Create();
    m_graph->AddFilter(pushing.Get(), "Pushing");
    EXPECT_TRUE(FAILED(m_graph->ConnectDirect(m_reader->GetPin(0), pushing->Pin(), nullptr)));
    EXPECT_FALSE(pushing->Pin()->IsConnected());
    EXPECT_NE(Connect(), nullptr);
}

TEST_F(DvdReaderTest, AWholeTitleReadsByteForByteAsItsCells)
{
    IAsyncReader* reader = Connect();
    ASSERT_NE(reader, nullptr);
    const auto reference = ReadTitleWithLibdvdread(m_path, 0).bytes;
    LONGLONG total = 0, available = 0;
    ASSERT_EQ(reader->Length(&total, &available), S_OK);
    EXPECT_EQ(total, static_cast<LONGLONG>(reference.size()));
    // Chunks that do not divide the 10240-byte blocks.
    EXPECT_TRUE(SyncReadAll(reader, 7000) == reference);
    EXPECT_TRUE(SyncReadAll(reader, 65536) == reference);
}

TEST_F(DvdReaderTest, RequestsCompleteAsynchronouslyAndInOrder)
{
    IAsyncReader* reader = Connect();
    const auto reference = ReadTitleWithLibdvdread(m_path, 1).bytes;
    m_reader->SetArea(1, -1);
    ALLOCATOR_PROPERTIES props{4, 65536, 1, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(reader->RequestAllocator(nullptr, &props, allocator.Put()), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);

    std::vector<std::uint8_t> all;
    LONGLONG total = 0, available = 0;
    reader->Length(&total, &available);
    LONGLONG next = 0;
    int inFlight = 0;
    auto request = [&] {
        ComPtr<IMediaSample> sample;
        ASSERT_EQ(allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0), S_OK);
        REFERENCE_TIME start = next * kUnitsPerSecond;
        REFERENCE_TIME stop = (next + 65536) * kUnitsPerSecond;
        sample->SetTime(&start, &stop);
        // The reference travels with the request and comes back from WaitForNext.
        ASSERT_EQ(reader->Request(sample.Detach(), static_cast<DWORD_PTR>(next)), S_OK);
        next += 65536;
        ++inFlight;
    };
    while (next < total && inFlight < 4) request();
    while (inFlight > 0) {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user = 0;
        ASSERT_EQ(reader->WaitForNext(5000, sample.Put(), &user), S_OK); // the last one ends at the end
        --inFlight;
        ASSERT_NE(sample, nullptr);
        EXPECT_EQ(static_cast<std::size_t>(user), all.size());
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        all.insert(all.end(), data, data + sample->GetActualDataLength());
        REFERENCE_TIME start = 0, stop = 0;
        sample->GetTime(&start, &stop);
        EXPECT_LE(stop, total * kUnitsPerSecond); // a request past the end was shortened
        sample = nullptr; // its buffer goes back for the next request
        if (next < total) request();
    }
    EXPECT_TRUE(all == reference);
    allocator->Decommit();
}

TEST_F(DvdReaderTest, AChapterReportsTheWholeTitleUntilItsEndIsMet)
{
    IAsyncReader* reader = Connect();
    const auto info = SharedDiscInfo::Copy();
    m_reader->SetArea(0, 2);
    LONGLONG total = 0, available = 0;
    reader->Length(&total, &available);
    EXPECT_EQ(total, TitleByteLength(info.titles[0]));

    std::vector<std::string> log;
    auto previous = SetDebugLogSink([&](const std::string& line) { log.push_back(line); });
    const auto chapter = SyncReadAll(reader, 32768);
    SetDebugLogSink(previous);
    EXPECT_TRUE(chapter == ReadTitleWithLibdvdread(m_path, 0, 2, 3).bytes);
    reader->Length(&total, &available);
    EXPECT_EQ(total, static_cast<LONGLONG>(chapter.size()));
    EXPECT_EQ(total, info.titles[0].chapterSectors[2] * 2048ll);
    EXPECT_NE(std::find(log.begin(), log.end(), "MyDVDRead error\n"), log.end());

    // A new selection restores the whole title's length.
    m_reader->SetArea(0, -1);
    reader->Length(&total, &available);
    EXPECT_EQ(total, TitleByteLength(info.titles[0]));
}

TEST_F(DvdReaderTest, ASeekInsideTheBufferedBlockCallsNoLibrary)
{
    IAsyncReader* reader = Connect();
    std::atomic<int> sectorReads{0};
    MyDVDSetReadFaultHook(m_handle, [&](int, std::uint32_t) {
        ++sectorReads;
        return ReadFault::None;
    });
    const auto reference = ReadTitleWithLibdvdread(m_path, 0).bytes;
    BYTE buffer[200];
    ASSERT_EQ(reader->SyncRead(5000, 100, buffer), S_OK);
    const int afterFirst = sectorReads.load();
    EXPECT_GT(afterFirst, 0);
    ASSERT_EQ(reader->SyncRead(4990, 150, buffer), S_OK); // back a few bytes, same block
    EXPECT_EQ(std::memcmp(buffer, reference.data() + 4990, 150), 0);
    ASSERT_EQ(reader->SyncRead(9000, 100, buffer), S_OK); // forward, same block
    EXPECT_EQ(sectorReads.load(), afterFirst);
    ASSERT_EQ(reader->SyncRead(200000, 100, buffer), S_OK); // elsewhere: the library reads
    EXPECT_GT(sectorReads.load(), afterFirst);
    EXPECT_EQ(std::memcmp(buffer, reference.data() + 200000, 100), 0);
    MyDVDSetReadFaultHook(m_handle, nullptr);
}

TEST_F(DvdReaderTest, AReadAtTheEndOfTheRangeCopiesNothingAndFails)
{
    CDVDStream& stream = m_reader->Stream();
    m_reader->SetArea(2, -1);
    const LONGLONG length = stream.Size();
    BYTE buffer[64];
    DWORD got = 99;
    stream.Lock();
    ASSERT_EQ(stream.SetPointer(length), S_OK);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer, FALSE, &got), E_FAIL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(stream.SetPointer(length + 4096), E_FAIL); // past the end
    stream.Unlock();
    IAsyncReader* reader = Connect();
    EXPECT_EQ(reader->SyncRead(length, 64, buffer), E_FAIL);
    // Across the end: what there is, and S_FALSE.
    EXPECT_EQ(reader->SyncRead(length - 10, 64, buffer), S_FALSE);
}

TEST_F(DvdReaderTest, FlushingFailsRequestsAndReleasesWaiters)
{
    IAsyncReader* reader = Connect();
    ALLOCATOR_PROPERTIES props{2, 4096, 1, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(reader->RequestAllocator(nullptr, &props, allocator.Put()), S_OK);
    allocator->Commit();
    ComPtr<IMediaSample> none;
    DWORD_PTR user = 0;
    EXPECT_EQ(reader->WaitForNext(10, none.Put(), &user), VFW_E_TIMEOUT);
    ASSERT_EQ(reader->BeginFlush(), S_OK);
    EXPECT_EQ(reader->WaitForNext(INFINITE, none.Put(), &user), VFW_E_WRONG_STATE);
    ComPtr<IMediaSample> sample;
    allocator->GetBuffer(sample.Put(), nullptr, nullptr, 0);
    REFERENCE_TIME start = 0, stop = 4096 * kUnitsPerSecond;
    sample->SetTime(&start, &stop);
    EXPECT_EQ(reader->Request(sample.Get(), 0), VFW_E_WRONG_STATE); // refused: the reference stays here
    ASSERT_EQ(reader->EndFlush(), S_OK);
    IMediaSample* const requested = sample.Get();
    // The reference travels with the request and comes back from WaitForNext.
    ASSERT_EQ(reader->Request(sample.Detach(), 7), S_OK);
    ComPtr<IMediaSample> done;
    ASSERT_EQ(reader->WaitForNext(5000, done.Put(), &user), S_OK);
    EXPECT_EQ(done.Get(), requested);
    EXPECT_EQ(user, 7u);
    EXPECT_EQ(done->GetActualDataLength(), 4096);
    done = nullptr;
    allocator->Decommit();
}

TEST_F(DvdReaderTest, DurationAndFileNames)
{
    LONGLONG duration = 0;
    m_reader->SetArea(0, -1);
    ASSERT_EQ(m_reader->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 8008); // 240 NTSC frames, truncated
    m_reader->SetArea(1, 0);
    m_reader->GetDuration(&duration);
    EXPECT_EQ(duration, 4004); // the whole title's, whichever chapter
    char* name = nullptr;
    ASSERT_EQ(m_reader->GetCurFile(&name, nullptr), S_OK);
    EXPECT_STREQ(name, "DVD");
    CoTaskMemFree(name);

    // A reader that opens its own disc.
    IBaseFilter* raw = nullptr;
    ASSERT_EQ(CDVDReader::Create(&raw), S_OK);
    auto own = AdoptRef(static_cast<CDVDReader*>(raw));
    EXPECT_EQ(own->Load(TestDisc("no-such-disc").c_str(), nullptr), E_FAIL);
    const std::string pal = TestDisc("pal_16x9.iso");
    ASSERT_EQ(own->Load(pal.c_str(), nullptr), S_OK);
    ASSERT_EQ(own->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, pal);
    CoTaskMemFree(name);
    own->GetDuration(&duration);
    EXPECT_EQ(duration, 6000);
    ComPtr<IMyDVDReader> myReader;
    EXPECT_EQ(QueryInterfaceTo(own.Get(), myReader), S_OK);
}

} // namespace

#include <gtest/gtest.h>

#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/my_tee_filter.h"
#include "support/graph_fixture.h"

namespace {

using namespace testing_filters;

class TeeTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        IBaseFilter* tee = nullptr;
        ASSERT_EQ(CMyTeeFilter::Create(&tee), S_OK);
        m_tee = AdoptRef(static_cast<CMyTeeFilter*>(tee));
        ASSERT_EQ(m_graph->AddFilter(m_tee.Get(), "Tee"), S_OK);
    }
    void TearDown() override
    {
        m_tee = nullptr;
        GraphFixture::TearDown();
    }
    IPin* Pin(const char* name)
    {
        ComPtr<IPin> pin;
        EXPECT_EQ(m_tee->FindPin(name, pin.Put()), S_OK);
        return pin.Get(); // owned by the tee
    }

    ComPtr<CMyTeeFilter> m_tee;
};

TEST_F(TeeTest, HasItsThreePinsInOrder)
{
    ASSERT_EQ(m_tee->GetPinCount(), 3);
    EXPECT_EQ(m_tee->GetPin(0)->Name(), "Input");
    EXPECT_EQ(m_tee->GetPin(1)->Name(), "Output0");
    EXPECT_EQ(m_tee->GetPin(2)->Name(), "Output1");
    CLSID clsid{};
    m_tee->GetClassID(&clsid);
    EXPECT_EQ(GuidToString(clsid), "{116A8145-0946-11CF-ACB1-444553540000}");
}

TEST_F(TeeTest, InputRefusesWhatIsNotYv12VideoInfoWithAHeight)
{
    CMediaType type = MakeYv12Type(16, 16);
    EXPECT_EQ(m_tee->GetPin(0)->CheckMediaType(&type), S_OK);

    CMediaType info2 = type;
    info2.formattype = FORMAT_VideoInfo2;
    info2.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER2));
    reinterpret_cast<VIDEOINFOHEADER2*>(info2.pbFormat)->bmiHeader.biHeight = 16;
    EXPECT_EQ(m_tee->GetPin(0)->CheckMediaType(&info2), S_FALSE);

    CMediaType flat = type;
    reinterpret_cast<VIDEOINFOHEADER*>(flat.pbFormat)->bmiHeader.biHeight = 0;
    EXPECT_EQ(m_tee->GetPin(0)->CheckMediaType(&flat), S_FALSE);

    CMediaType i420 = type;
    i420.subtype = MEDIASUBTYPE_I420;
    EXPECT_EQ(m_tee->GetPin(0)->CheckMediaType(&i420), S_FALSE);
}

TEST_F(TeeTest, OutputsOfferOnlyTheInputTypeAndRefuseOthers)
{
    auto source = TestSource::Create({.sampleCount = 1});
    auto sink = TestSink::Create();
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), Pin("Input"), nullptr), S_OK);
    EXPECT_TRUE(m_tee->InputType() == MakeYv12Type(16, 16));

    CMediaType other = MakeYv12Type(32, 32);
    EXPECT_EQ(m_tee->GetPin(1)->CheckMediaType(&other), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(Pin("Output0")->Connect(sink->Pin(), &other), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType offered;
    EXPECT_EQ(m_tee->GetPin(1)->GetMediaType(0, &offered), S_OK);
    EXPECT_TRUE(offered == MakeYv12Type(16, 16));
    EXPECT_EQ(m_tee->GetPin(1)->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
    ASSERT_EQ(m_graph->ConnectDirect(Pin("Output0"), sink->Pin(), nullptr), S_OK);
}

TEST_F(TeeTest, WithOnlyOutput0ConnectedOutput1DropsItsShare)
{
    auto source = TestSource::Create({.sampleCount = 200});
    auto sink = TestSink::Create();
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(sink.Get(), "Sink");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), Pin("Input"), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(Pin("Output0"), sink->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(sink->Received(), 200);
    EXPECT_EQ(source->Delivered(), 200);
    EXPECT_EQ(sink->EndOfStreams(), 1);
}

TEST_F(TeeTest, BothOutputsCarryTheSameSampleObjects)
{
    auto source = TestSource::Create({.sampleCount = 100});
    auto a = TestSink::Create();
    auto b = TestSink::Create();
    m_graph->AddFilter(source.Get(), "Source");
    m_graph->AddFilter(a.Get(), "A");
    m_graph->AddFilter(b.Get(), "B");
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), Pin("Input"), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(Pin("Output0"), a->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_graph->ConnectDirect(Pin("Output1"), b->Pin(), nullptr), S_OK);
    ASSERT_EQ(m_control->Run(), S_OK);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    // One completion for the graph, after both branches ended.
    EXPECT_EQ(a->EndOfStreams(), 1);
    EXPECT_EQ(b->EndOfStreams(), 1);
    EXPECT_EQ(a->SegmentIndices(), b->SegmentIndices());
    EXPECT_EQ(a->Received(), 100);
}

TEST_F(TeeTest, SeekingIsNotOfferedOnTheOutputs)
{
    ComPtr<IMediaSeeking> seeking;
    EXPECT_EQ(QueryInterfaceTo(Pin("Output0"), seeking), E_NOINTERFACE);
    ComPtr<IMediaPosition> position;
    EXPECT_EQ(QueryInterfaceTo(Pin("Output1"), position), E_NOINTERFACE);
    ComPtr<IQualityControl> quality;
    ASSERT_EQ(QueryInterfaceTo(Pin("Output0"), quality), S_OK);
    EXPECT_EQ(quality->Notify(m_tee.Get(), Quality{Famine, 500, 0, 0}), S_OK);
}

} // namespace

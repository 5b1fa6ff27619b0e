#pragma once
// A graph with a source, the MPEG splitter behind it and a capture sink on every output pin, for
// the splitter's tests.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "demux/mpeg_splitter_filter.h"
#include "pipeline/event_codes.h"
#include "com/task_memory.h"
#include "support/harness.h"
#include "support/graph_fixture.h"
#include "support/memory_source.h"

namespace testing_filters {

// Holds a sink's samples on its streaming thread until opened, as a busy filter downstream would,
// so that packets pile up in the splitter behind the held one.
class SampleGate {
public:
    // Becomes the sink's present callback (set before the graph runs).
    void Hold(TestSink& sink)
    {
        sink.SetPresentCallback([this](IMediaSample*) {
            std::unique_lock lock(m_lock);
            m_held = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        });
    }
    // Waits until a sample is held; false after a minute without (a hang, not a measure).
    bool WaitUntilHeld()
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_held; });
    }
    void Open()
    {
        {
            std::lock_guard lock(m_lock);
            m_open = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false; // guarded by m_lock
    bool m_open = false; // guarded by m_lock
};

class SplitterFixture : public GraphFixture {
protected:
    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_sinks.clear();
        m_splitter = nullptr;
        m_source = nullptr;
        GraphFixture::TearDown();
    }

    // Adds `source` and a new splitter (with the title record when given) and connects them;
    // returns the connection's result.
    HRESULT ConnectSplitter(IBaseFilter* source, const TitleInfo* title = nullptr)
    {
        m_source = ComPtr<IBaseFilter>(source);
        IBaseFilter* raw = nullptr;
        EXPECT_EQ(CMpegSplitterFilter::Create(&raw), S_OK);
        m_splitter = AdoptRef(static_cast<CMpegSplitterFilter*>(raw));
        if (title) m_splitter->SetTitleInfo(title);
        m_graph->AddFilter(source, "Source");
        m_graph->AddFilter(m_splitter.Get(), "Splitter");
        ComPtr<IPin> output;
        ComPtr<IEnumPins> pins;
        source->EnumPins(pins.Put());
        pins->Next(1, output.Put(), nullptr);
        return m_graph->ConnectDirect(output.Get(), m_splitter->GetPin(m_splitter->GetPinCount() - 1), nullptr);
    }
    HRESULT ConnectSplitter(std::vector<std::uint8_t> bytes, const TitleInfo* title = nullptr)
    {
        auto source = MemorySourceFilter::Create(std::move(bytes));
        return ConnectSplitter(source.Get(), title);
    }
    // A capture sink on every output pin, by pin name.
    void ConnectSinks()
    {
        for (int i = 0; i + 1 < m_splitter->GetPinCount(); ++i) {
            auto sink = TestSink::Capture();
            m_graph->AddFilter(sink.Get(), nullptr);
            ASSERT_EQ(m_graph->ConnectDirect(m_splitter->GetPin(i), sink->Pin(), nullptr), S_OK);
            m_sinks[m_splitter->GetPin(i)->Name()] = sink;
        }
    }
    void RunToCompletion()
    {
        ASSERT_EQ(m_control->Run(), S_OK);
        LONG code = 0;
        ASSERT_EQ(m_events->WaitForCompletion(60000, &code), S_OK);
        ASSERT_EQ(code, EC_COMPLETE);
        ASSERT_EQ(m_control->Stop(), S_OK);
    }
    // The names IAMStreamSelect gives, in index order.
    std::vector<std::string> StreamNames()
    {
        std::vector<std::string> names;
        DWORD count = 0;
        m_splitter->Count(&count);
        for (DWORD i = 0; i < count; ++i) {
            char* name = nullptr;
            m_splitter->Info(static_cast<LONG>(i), nullptr, nullptr, nullptr, nullptr, &name, nullptr, nullptr);
            names.emplace_back(name ? name : "");
            CoTaskMemFree(name);
        }
        return names;
    }

    ComPtr<IBaseFilter> m_source;
    ComPtr<CMpegSplitterFilter> m_splitter;
    std::map<std::string, ComPtr<TestSink>> m_sinks;
};

} // namespace testing_filters

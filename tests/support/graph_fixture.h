#pragma once
// A test fixture holding a graph manager; at the end it stops the graph, drops it and checks
// that no framework object, sample or thread was left alive.

#include <gtest/gtest.h>

#include "graph/class_factory.h"
#include "graph/graph_interfaces.h"
#include "support/harness.h"

namespace testing_filters {

class GraphFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_before = LiveCounts::Now();
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid,
                                   m_graph.PutVoid()),
                  S_OK);
        ASSERT_EQ(m_graph.As(m_control), S_OK);
        ASSERT_EQ(m_graph.As(m_events), S_OK);
        ASSERT_EQ(m_graph.As(m_seeking), S_OK);
    }
    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_seeking = nullptr;
        m_events = nullptr;
        m_control = nullptr;
        m_graph = nullptr;
        EXPECT_EQ(LiveCounts::Now(), m_before) << "a filter, pin, sample or thread was left alive";
    }

    LiveCounts m_before{};
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IMediaSeeking> m_seeking;
};

} // namespace testing_filters

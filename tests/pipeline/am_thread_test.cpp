#include <gtest/gtest.h>

#include <atomic>

#include "pipeline/am_thread.h"

namespace {

// Answers each request with its double; 0 ends the thread.
class Doubler : public CAMThread {
public:
    ~Doubler() override { Close(); }
    std::atomic<int> polled{0};

protected:
    DWORD ThreadProc() override
    {
        for (;;) {
            DWORD request = GetRequest();
            if (request == 0) {
                Reply(0);
                return 0;
            }
            if (request == 99) {
                // Poll until the next request arrives, as a streaming loop does.
                Reply(1);
                DWORD next = 0;
                while (!CheckRequest(&next)) ++polled;
                EXPECT_EQ(GetRequest(), next); // a checked request stays pending until taken
                Reply(next * 2);
                if (next == 0) return 0;
                continue;
            }
            Reply(request * 2);
        }
    }
};

TEST(AMThread, MailboxCarriesRequestsAndReplies)
{
    const long before = CAMThread::ThreadsAlive();
    {
        Doubler worker;
        EXPECT_EQ(worker.CallWorker(5), static_cast<DWORD>(E_UNEXPECTED)); // no thread yet
        ASSERT_TRUE(worker.Create());
        EXPECT_FALSE(worker.Create());
        EXPECT_EQ(CAMThread::ThreadsAlive(), before + 1);
        EXPECT_EQ(worker.CallWorker(21), 42u);
        EXPECT_EQ(worker.CallWorker(99), 1u);
        EXPECT_EQ(worker.CallWorker(4), 8u); // picked up by CheckRequest
        EXPECT_EQ(worker.CallWorker(0), 0u);
        worker.Close();
        EXPECT_EQ(CAMThread::ThreadsAlive(), before);
    }
    EXPECT_EQ(CAMThread::ThreadsAlive(), before);
}

} // namespace

// Reentrancy: every export runs in several threads at once, each thread on
// inputs of its own, and every observed output must equal, bit for bit, that
// of a serial run of the same calls.  The calls are those of the determinism
// digest (tests/digest/calls.cpp): all 60 exports, the solver with its trace
// and the memory-service users included.  Meant to run under
// ThreadSanitizer too.
#include <latch>
#include <thread>

#include "calls.hpp"
#include "support.hpp"

namespace {

// The outputs of every call of a stream, by export in table order; the calls
// start with export `start` and wrap round, so that the threads are in
// different routines at a time.
std::vector<std::vector<unsigned char>> run_stream(std::uint64_t stream, std::size_t start) {
    const std::vector<zc::Call>& calls = zc::calls();
    std::vector<std::vector<unsigned char>> out(calls.size());
    for (std::size_t j = 0; j < calls.size(); ++j)
        for (int rep = 0, e = static_cast<int>((start + j) % calls.size()); rep < calls[e].reps; ++rep) {
            zc::Draw d(zc::seed(calls[e], rep, stream));
            zc::run(calls[e], d);
            EXPECT_EQ(d.failed, "") << calls[e].name << " " << rep;
            out[e].insert(out[e].end(), d.sink.begin(), d.sink.end());
        }
    return out;
}

TEST(Concurrency, EveryExportInSeveralThreadsGivesTheSerialResults) {
    constexpr int kThreads = 4;
    memsvc_set_logging(0);  // the log would only grow; the live blocks stay tracked
    std::vector<std::vector<std::vector<unsigned char>>> serial, threaded(kThreads);
    for (int t = 0; t < kThreads; ++t) serial.push_back(run_stream(t + 1, 0));
    EXPECT_NE(serial[0], serial[1]) << "distinct streams give distinct inputs";
    std::latch start(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            threaded[t] = run_stream(t + 1, 15 * t);
        });
    for (std::thread& th : pool) th.join();
    memsvc_set_logging(1);
    for (int t = 0; t < kThreads; ++t)
        for (std::size_t e = 0; e < serial[t].size(); ++e)
            EXPECT_TRUE(threaded[t][e] == serial[t][e]) << zc::calls()[e].name;
}

}  // namespace

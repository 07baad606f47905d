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

constexpr int kThreads = 4;

using Outputs = std::vector<std::vector<unsigned char>>;  // per call, in table order

// Every call of one stream, starting with export `start` and wrapping round,
// so that the threads are in different routines at a time.
Outputs run_stream(std::uint64_t stream, std::size_t start) {
    const std::vector<zc::Call>& calls = zc::calls();
    std::vector<Outputs> per_export(calls.size());
    for (std::size_t j = 0; j < calls.size(); ++j) {
        const std::size_t e = (start + j) % calls.size();
        for (int rep = 0; rep < calls[e].reps; ++rep) {
            zc::Draw d(zc::seed(calls[e], rep, stream));
            zc::run(calls[e], d);
            EXPECT_EQ(d.failures, 0) << calls[e].name << " " << rep << ": " << d.failed;
            per_export[e].push_back(d.sink);
        }
    }
    Outputs all;
    for (const Outputs& o : per_export) all.insert(all.end(), o.begin(), o.end());
    return all;
}

TEST(Concurrency, EveryExportInSeveralThreadsGivesTheSerialResults) {
    // The log of the memory service would only grow; its live-block table
    // and the leak check at exit stay.
    memsvc_set_logging(0);
    std::vector<Outputs> serial, threaded(kThreads);
    for (int t = 0; t < kThreads; ++t) serial.push_back(run_stream(static_cast<std::uint64_t>(t + 1), 0));
    EXPECT_NE(serial[0], serial[1]) << "distinct streams give distinct inputs";
    std::latch start(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            threaded[t] = run_stream(static_cast<std::uint64_t>(t + 1), static_cast<std::size_t>(t) * 15);
        });
    for (std::thread& th : pool) th.join();
    memsvc_set_logging(1);
    for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(threaded[t] == serial[t]) << "thread " << t;
    EXPECT_EQ(memsvc_live_count(), 0u);
}

}  // namespace

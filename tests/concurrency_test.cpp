// Reentrancy: every export runs in several threads at once, each thread on
// inputs of its own, and every observed output must equal, bit for bit, that
// of a serial run of the same calls.  The calls are those of the
// determinism digest (tests/digest/corpus.cpp): all 60 routines, the solver
// with its trace and the memory-service users included.  Meant to run under
// ThreadSanitizer too.
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "corpus.hpp"
#include "support.hpp"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 2;

using Outputs = std::vector<std::vector<unsigned char>>;  // one entry per (case, repetition)

// Index of the first repetition of each case in Outputs.
std::vector<std::size_t> first_index() {
    std::vector<std::size_t> first;
    std::size_t k = 0;
    for (const zc::Case& c : zc::corpus()) {
        first.push_back(k);
        k += static_cast<std::size_t>(c.reps);
    }
    first.push_back(k);
    return first;
}

// Runs every call of one stream, starting with case `start` and wrapping
// round, so that different threads are in different routines at a time.
Outputs run_stream(std::uint64_t stream, std::size_t start) {
    const auto& cases = zc::corpus();
    const std::vector<std::size_t> first = first_index();
    Outputs out(first.back());
    for (std::size_t j = 0; j < cases.size(); ++j) {
        const std::size_t ci = (start + j) % cases.size();
        for (int rep = 0; rep < cases[ci].reps; ++rep) {
            zc::Sink s;
            zc::run_case(cases[ci], rep, stream, s);
            out[first[ci] + static_cast<std::size_t>(rep)] = s.bytes();
        }
    }
    return out;
}

TEST(Concurrency, EveryExportInSeveralThreadsGivesTheSerialResults) {
    const auto& cases = zc::corpus();
    const std::vector<std::size_t> first = first_index();
    // The log of the memory service would only grow; its live-block table
    // and the leak check at exit stay.
    memsvc_set_logging(0);

    std::vector<Outputs> serial;
    for (int t = 0; t < kThreads; ++t) serial.push_back(run_stream(static_cast<std::uint64_t>(t + 1), 0));
    // Distinct streams give distinct inputs: no two threads compute the same.
    EXPECT_NE(serial[0], serial[1]);

    std::vector<std::vector<Outputs>> threaded(kThreads, std::vector<Outputs>(kRounds));
    std::latch start(kThreads);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int r = 0; r < kRounds; ++r)
                threaded[t][r] = run_stream(static_cast<std::uint64_t>(t + 1),
                                            (static_cast<std::size_t>(t) * cases.size() / kThreads + r * 7) %
                                                cases.size());
        });
    for (std::thread& th : pool) th.join();
    memsvc_set_logging(1);

    for (int t = 0; t < kThreads; ++t)
        for (int r = 0; r < kRounds; ++r)
            for (std::size_t ci = 0; ci < cases.size(); ++ci)
                for (int rep = 0; rep < cases[ci].reps; ++rep) {
                    const std::size_t k = first[ci] + static_cast<std::size_t>(rep);
                    EXPECT_TRUE(threaded[t][r][k] == serial[t][k])
                        << cases[ci].routine << " repetition " << rep << ", thread " << t << ", round " << r;
                }
    EXPECT_EQ(memsvc_live_count(), 0u);
}

}  // namespace

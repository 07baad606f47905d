// The stand-in memory service and the library's scoped scratch helper.
#include <thread>
#include <vector>

#include "frame/scratch.hpp"
#include "support.hpp"

namespace {

class MemsvcTest : public zt::ServiceTest {};

TEST_F(MemsvcTest, LogsRequestsAndReleasesWithTheirTags) {
    void* p = f_malloc(24, "febew", 113);
    void* q = f_malloc(0, "lgloes", 78);  // zero bytes: a block of its own
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_NE(p, q);
    EXPECT_EQ(memsvc_live_count(), 2u);
    f_free(q, "lgloes", 89);
    f_free(p, "febew", 137);
    EXPECT_EQ(memsvc_live_count(), 0u);
    EXPECT_EQ(zt::log_lines(),
              (std::vector<std::string>{"+febew:113:24", "+lgloes:78:0", "-lgloes:89", "-febew:137"}));
    MemsvcEvent e = zt::log_entry(2);
    EXPECT_EQ(e.block, q);
}

TEST_F(MemsvcTest, NegativeSizeIsLoggedAndRefused) {
    EXPECT_EQ(f_malloc(-8, "lminv", 87), nullptr);
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+!lminv:87:-8"}));
    EXPECT_EQ(memsvc_live_count(), 0u);
}

TEST_F(MemsvcTest, FailsTheKthRequestOnly) {
    memsvc_fail_nth_request(2);
    void* a = f_malloc(8, "t", 1);
    void* b = f_malloc(8, "t", 2);
    void* c = f_malloc(8, "t", 3);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr);
    f_free(a, "t", 10);
    f_free(c, "t", 11);
    EXPECT_EQ(memsvc_request_count(), 3);
}

TEST_F(MemsvcTest, FailsEveryRequestOfASite) {
    memsvc_fail_site("lminv", 102);
    EXPECT_EQ(f_malloc(8, "lminv", 102), nullptr);
    EXPECT_EQ(f_malloc(16, "lminv", 102), nullptr);
    void* ok = f_malloc(8, "lminv", 104);  // same tag, other line
    EXPECT_NE(ok, nullptr);
    f_free(ok, "lminv", 153);
    memsvc_clear_faults();
    void* again = f_malloc(8, "lminv", 102);
    EXPECT_NE(again, nullptr);
    f_free(again, "lminv", 154);
}

TEST_F(MemsvcTest, ReportsLeaksAndBadReleases) {
    void* p = f_malloc(32, "mathngsolver", 405);
    EXPECT_EQ(memsvc_leak_report(nullptr), 1u);
    f_free(p, "mathngsolver", 725);
    f_free(p, "mathngsolver", 725);  // second release of the same block
    EXPECT_EQ(memsvc_bad_release_count(), 1u);
    EXPECT_EQ(zt::log_entry(2).unknown, 1);
    memsvc_reset();
    EXPECT_EQ(memsvc_bad_release_count(), 0u);
}

TEST_F(MemsvcTest, IsThreadSafe) {
    memsvc_set_logging(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 2000; ++i) {
                void* p = f_malloc(i % 64, "thread", i);
                if (p != nullptr) f_free(p, "thread", -i);
            }
        });
    for (auto& th : threads) th.join();
    memsvc_set_logging(1);
    EXPECT_EQ(memsvc_request_count(), 8000);
    EXPECT_EQ(memsvc_live_count(), 0u);
}

TEST_F(MemsvcTest, ScratchReleasesOnceWithItsOwnLine) {
    {
        zol::Scratch first(40, "lminv", 102, 154);
        zol::Scratch second(8, "lminv", 104, 153);
        ASSERT_TRUE(first);
        ASSERT_TRUE(second);
        first.as<double>()[4] = 1.0;
    }  // released in reverse order of the requests
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+lminv:102:40", "+lminv:104:8", "-lminv:153",
                                                          "-lminv:154"}));
}

TEST_F(MemsvcTest, ScratchExplicitReleaseIsNotRepeated) {
    {
        zol::Scratch pivots(16, "mathngsolver", 400, 724);
        zol::Scratch block(64, "mathngsolver", 405, 725);
        pivots.release();
        block.release();
        pivots.release();
    }
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+mathngsolver:400:16", "+mathngsolver:405:64",
                                                          "-mathngsolver:724", "-mathngsolver:725"}));
    EXPECT_EQ(memsvc_bad_release_count(), 0u);
}

TEST_F(MemsvcTest, ScratchRefusedOrOversizeIsNeverReleased) {
    memsvc_fail_site("febew", 113);
    {
        zol::Scratch refused(24, "febew", 113, 137);
        EXPECT_FALSE(refused);
        zol::Scratch too_big(std::int64_t{1} << 31, "febew", 157, 181);
        EXPECT_FALSE(too_big);
        zol::Scratch negative(-1, "febew", 204, 249);
        EXPECT_FALSE(negative);
    }
    // Only the refused request reached the service; nothing was released.
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+!febew:113:24"}));
}

TEST(ScratchBytes, RefusesCountsBeyondThirtyTwoBits) {
    EXPECT_EQ(zol::scratch_bytes(3, 8), 24);
    EXPECT_EQ(zol::scratch_bytes(0, 8), 0);
    EXPECT_EQ(zol::scratch_bytes(268435455, 8), 2147483640);  // largest count of doubles that fits
    EXPECT_EQ(zol::scratch_bytes(268435456, 8), -1);
    EXPECT_EQ(zol::scratch_bytes(-1, 8), -1);
    EXPECT_EQ(zol::scratch_bytes(std::int64_t{1} << 40, 24), -1);
}

}  // namespace

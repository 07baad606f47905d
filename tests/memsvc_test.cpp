// The stand-in memory service that the tests watch: its log and live-block
// tracking, the leak report and bad releases, and fault injection.
#include "support.hpp"

namespace {

class Memsvc : public zt::ServiceTest {};

TEST_F(Memsvc, LogsAndTracksEveryCall) {
    void* p = f_malloc(24, "febew", 113);
    void* q = f_malloc(0, "lgloes", 78);  // zero bytes: a block of its own
    EXPECT_TRUE(p != nullptr && q != nullptr && p != q);
    EXPECT_EQ(f_malloc(-8, "lminv", 87), nullptr);  // a negative size is refused
    EXPECT_TRUE(memsvc_live_count() == 2u && memsvc_leak_report(nullptr) == 2u);
    f_free(q, "lgloes", 89);
    f_free(p, "febew", 137);
    f_free(p, "febew", 137);  // not live any more: counted, left alone
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+febew:113:24", "+lgloes:78:0", "+!lminv:87:-8", "-lgloes:89",
                                                         "-febew:137", "-febew:137"}));
    EXPECT_TRUE(zt::log_entry(3).block == q && zt::log_entry(5).unknown == 1 && zt::log_entry(4).unknown == 0);
    EXPECT_TRUE(memsvc_live_count() == 0u && memsvc_bad_release_count() == 1u);
    memsvc_reset();
    EXPECT_EQ(memsvc_bad_release_count(), 0u);
}

TEST_F(Memsvc, FailsTheKthRequestOrEveryRequestOfASite) {
    memsvc_fail_nth_request(2);
    memsvc_fail_site("lminv", 102);
    void* a = f_malloc(8, "t", 1);
    EXPECT_EQ(f_malloc(8, "t", 2), nullptr);  // the second request
    void* b = f_malloc(8, "lminv", 104);      // same tag, other line
    EXPECT_EQ(f_malloc(8, "lminv", 102), nullptr);
    memsvc_clear_faults();
    void* c = f_malloc(8, "lminv", 102);
    EXPECT_TRUE(a != nullptr && b != nullptr && c != nullptr && memsvc_request_count() == 5);
    for (void* x : {a, b, c}) f_free(x, "t", 9);
}

}  // namespace

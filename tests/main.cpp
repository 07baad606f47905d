// Test main: runs the suite, then fails the run if any block of the memory
// service is still live or was released twice.
#include <gtest/gtest.h>

#include <cstdio>

#include "zolmemsvc_test.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (memsvc_leak_report(stderr) != 0) {
        std::fprintf(stderr, "memory service: blocks still live at exit\n");
        rc = 1;
    }
    if (memsvc_bad_release_count() != 0) {
        std::fprintf(stderr, "memory service: release of a block that was not live\n");
        rc = 1;
    }
    return rc;
}

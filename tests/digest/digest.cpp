// Determinism digest: runs the calls of tests/digest/calls.cpp from their
// seeds and prints one 64-bit FNV-1a digest of every observed output, in a
// fixed order.  Builds with different compilers and optimisation levels
// must print the same value, and so must every later change that does not
// mean to alter a result (scripts/digest.sh compares them;
// tests/digest/expected.txt holds the value of record).  Besides the
// outputs, it covers each memory-service user's requests (tag, line, size,
// refusal) and its outputs with each request refused in turn.  A failed
// check of a call fails the run.
//
//   digest [--verbose] [--check FILE] [--exports FILE]
//     --verbose  also one digest per export, to locate a difference
//     --check    compare with the value recorded in FILE (exit 1 if not)
//     --exports  every name listed in FILE must be called (exit 1 if not)
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "calls.hpp"
#include "zolmemsvc_test.h"

int main(int argc, char** argv) {
    std::map<std::string, std::string> opt;  // each option with the word after it
    for (int k = 1; k < argc; ++k) opt[argv[k]] = k + 1 < argc ? argv[k + 1] : "";
    int rc = 0;
    const auto fail = [&rc](const std::string& what) {
        std::fprintf(stderr, "digest: %s\n", what.c_str());
        rc = 1;
    };
    std::map<std::string, std::uint64_t> digest = {{"", 14695981039346656037ull}};  // "": all exports
    for (const zc::Call& c : zc::calls())
        for (int rep = 0; rep < 4 * c.reps; ++rep)  // four times the repetitions of the concurrency test
            for (std::int64_t k = 0, requests = 0; k <= requests; ++k) {  // then each request refused
                memsvc_reset();
                memsvc_fail_nth_request(k);
                zc::Draw d(zc::seed(c, rep, 0));
                d.fault = k > 0 ? +[] { return 1; } : +[] { return 0; };
                zc::run(c, d);
                requests = k == 0 ? memsvc_request_count() : requests;
                MemsvcEvent e{};
                for (std::size_t i = 0; memsvc_log_entry(i, &e); ++i) {  // the log: request or release, site, size
                    d.text(std::string(e.kind == MEMSVC_REQUEST ? "+" : "-") + (e.refused ? "!" : "") + e.file);
                    d.put(1e12 * e.line + e.size);
                }
                for (std::uint64_t* h :
                     {&digest[""], &digest.try_emplace(c.name, 14695981039346656037ull).first->second})
                    for (const unsigned char b : d.sink) *h = (*h ^ b) * 1099511628211ull;
                if (!d.failed.empty()) fail(std::string(c.name) + " repetition " + std::to_string(rep) + ": " + d.failed);
            }
    std::printf("digest %016llx\n", static_cast<unsigned long long>(digest[""]));
    for (const zc::Call& c : zc::calls())
        if (opt.contains("--verbose"))
            std::printf("%-20s %4d %016llx\n", c.name, 4 * c.reps, static_cast<unsigned long long>(digest[c.name]));
    std::ifstream listed(opt["--exports"]), recorded(opt["--check"]);
    std::set<std::string> names(std::istream_iterator<std::string>(listed), {});
    for (const std::string& name : names)
        if (!digest.contains(name)) fail(name + " is not called");
    if (!names.empty() && names.size() + 1 != digest.size()) fail("the exports listed and called differ");
    std::string want;  // the first line outside comments
    for (std::string line; want.empty() && std::getline(recorded, line);) want = line[0] == '#' ? "" : line;
    if (!opt["--check"].empty() && std::strtoull(want.c_str(), nullptr, 16) != digest[""])
        fail("the value of record is " + want + ": a change that alters results must update it and say why in its " +
             "commit; --verbose shows which exports differ");
    return rc;
}

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

namespace {

int refusing = 0;

std::string hex(std::uint64_t h) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

}  // namespace

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
                refusing = k > 0;
                zc::Draw d(zc::seed(c, rep, 0));
                d.faults = [] { return refusing; };
                zc::run(c, d);
                requests = k == 0 ? memsvc_request_count() : requests;
                std::string log;
                MemsvcEvent e{};
                for (std::size_t i = 0; memsvc_log_entry(i, &e); ++i)
                    log += (e.refused                  ? "+!"
                            : e.kind == MEMSVC_REQUEST ? "+"
                                                       : "-") +
                           std::string(e.file) + ":" + std::to_string(e.line) + ":" + std::to_string(e.size) + "\n";
                d.text(log);
                for (std::uint64_t* h :
                     {&digest[""], &digest.try_emplace(c.name, 14695981039346656037ull).first->second})
                    for (const unsigned char b : d.sink) *h = (*h ^ b) * 1099511628211ull;
                if (d.failures > 0) fail(std::string(c.name) + " repetition " + std::to_string(rep) + ": " + d.failed);
            }
    memsvc_reset();
    if (memsvc_live_count() != 0 || memsvc_bad_release_count() != 0)
        fail("memory service blocks leaked or released twice");
    std::printf("digest %s\n", hex(digest[""]).c_str());
    for (const zc::Call& c : zc::calls())
        if (opt.count("--verbose") != 0) std::printf("%-20s %4d %s\n", c.name, 4 * c.reps, hex(digest[c.name]).c_str());
    std::ifstream listed(opt.count("--exports") != 0 ? opt["--exports"] : ""),
        recorded(opt.count("--check") != 0 ? opt["--check"] : "");
    std::set<std::string> names(std::istream_iterator<std::string>(listed), {});
    for (const std::string& name : names)
        if (digest.count(name) == 0) fail(name + " is not called");
    if (opt.count("--exports") != 0 && names.size() + 1 != digest.size()) fail("the exports listed and called differ");
    std::string want;  // the first word outside comments
    for (std::string word; want.empty() && recorded >> word;)
        if (word[0] == '#')
            std::getline(recorded, word);
        else
            want = word;
    if (opt.count("--check") != 0 && want != hex(digest[""]))
        fail("the value of record is " + want + ": a change that alters results must update it and say why in its " +
             "commit; --verbose shows which exports differ");
    return rc;
}

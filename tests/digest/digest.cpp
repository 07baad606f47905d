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
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "calls.hpp"
#include "zolmemsvc_test.h"

namespace {

int refusing = 0;

struct Fnv {
    std::uint64_t h = 14695981039346656037ull;
    void add(const void* p, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) h = (h ^ static_cast<const unsigned char*>(p)[k]) * 1099511628211ull;
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> opt;  // each option with the word after it
    for (int k = 1; k < argc; ++k) opt[argv[k]] = k + 1 < argc ? argv[k + 1] : "";
    const std::string exports = opt.count("--exports") ? opt["--exports"] : "",
                      check = opt.count("--check") ? opt["--check"] : "";
    int rc = 0;
    Fnv total;
    std::map<std::string, Fnv> per_export;
    for (const zc::Call& c : zc::calls())
        for (int rep = 0; rep < c.reps; ++rep) {
            // As it is, then with each request to the memory service refused.
            for (std::int64_t k = 0, requests = 0; k <= requests; ++k) {
                memsvc_reset();
                memsvc_fail_nth_request(k);
                refusing = k > 0;
                zc::Draw d(zc::seed(c, rep, 0));
                d.faults = [] { return refusing; };
                zc::run(c, d);
                requests = k == 0 ? memsvc_request_count() : requests;
                std::string log;  // the service's requests and releases
                MemsvcEvent e{};
                for (std::size_t i = 0; requests > 0 && memsvc_log_entry(i, &e); ++i)
                    log += std::string(e.refused                  ? "+!"
                                       : e.kind == MEMSVC_REQUEST ? "+"
                                                                  : "-") +
                           e.file + ":" + std::to_string(e.line) + ":" + std::to_string(e.size) + "\n";
                d.text(log);
                total.add(d.sink.data(), d.sink.size());
                per_export[c.name].add(d.sink.data(), d.sink.size());
                if (d.failures > 0)
                    std::fprintf(stderr, "digest: %s repetition %d: %s\n", c.name, rep, d.failed.c_str());
                rc = d.failures > 0 ? 1 : rc;
            }
        }
    memsvc_reset();
    if (memsvc_live_count() != 0 || memsvc_bad_release_count() != 0) {
        std::fprintf(stderr, "digest: memory service blocks leaked or released twice\n");
        rc = 1;
    }
    std::printf("digest %016llx\n", static_cast<unsigned long long>(total.h));
    for (const zc::Call& c : zc::calls())
        if (opt.count("--verbose"))
            std::printf("%-20s %3d %016llx\n", c.name, c.reps, static_cast<unsigned long long>(per_export[c.name].h));
    std::ifstream listed(exports), recorded(check);
    std::set<std::string> names;
    for (std::string name; listed >> name;) names.insert(name);
    std::size_t missing = 0;
    for (const std::string& name : names) missing += per_export.count(name) == 0;
    if (!exports.empty() && (names.empty() || missing > 0 || names.size() != per_export.size())) {
        std::fprintf(stderr, "digest: the exports listed in %s and those called differ\n", exports.c_str());
        rc = 1;
    }
    std::string want;  // the first word outside comments
    for (std::string word; want.empty() && recorded >> word;)
        if (word[0] == '#')
            std::getline(recorded, word);
        else
            want = word;
    char got[17];
    std::snprintf(got, sizeof got, "%016llx", static_cast<unsigned long long>(total.h));
    if (!check.empty() && want != got) {
        std::fprintf(stderr,
                     "digest: %s differs from the value of record %s (%s).\n"
                     "A change that alters results must update that file and say why in its commit;\n"
                     "run with --verbose to see which exports differ.\n",
                     got, want.c_str(), check.c_str());
        rc = 1;
    }
    return rc;
}

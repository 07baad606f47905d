// Determinism digest: runs the call corpus and prints one 64-bit FNV-1a
// digest of every observed output, in a fixed order.  Builds of the library
// with different compilers and optimisation levels must print the same
// value, and so must every later change that does not mean to alter a
// result (scripts/digest.sh compares them; tests/digest/expected.txt holds
// the value of record).
//
// Besides the outputs, the digest covers each memory-service user's calls
// (tag, line, size, refusal) and its outputs with each of its requests
// refused in turn.
//
//   digest [--verbose] [--runs] [--check FILE] [--exports FILE]
//     --verbose  also one digest per routine, to locate a difference
//     --runs     also one digest per repetition of each case
//     --check    compare with the value recorded in FILE (exit 1 if not)
//     --exports  every name listed in FILE must be covered (exit 1 if not)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "corpus.hpp"
#include "zolmemsvc_test.h"

namespace {

// The service's log since the last reset, as text.
void record_log(zc::Sink& s) {
    std::string text;
    for (std::size_t i = 0; i < memsvc_log_size(); ++i) {
        MemsvcEvent e{};
        if (!memsvc_log_entry(i, &e)) break;
        text += e.kind == MEMSVC_REQUEST ? (e.refused ? "+!" : "+") : "-";
        text += e.file != nullptr ? e.file : "(null)";
        text.append(":").append(std::to_string(e.line));
        if (e.kind == MEMSVC_REQUEST) text.append(":").append(std::to_string(e.size));
        if (e.unknown) text += ":unknown";
        text += "\n";
    }
    s.t(text);
}

// First word of the first line that is neither empty nor a comment.
std::string recorded_value(const char* path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos || line[b] == '#') continue;
        const std::size_t e = line.find_first_of(" \t\r", b);
        return line.substr(b, e == std::string::npos ? std::string::npos : e - b);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    bool runs = false;
    const char* check = nullptr;
    const char* exports = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--verbose") == 0) {
            verbose = true;
        } else if (std::strcmp(argv[k], "--runs") == 0) {
            runs = true;
        } else if (std::strcmp(argv[k], "--check") == 0 && k + 1 < argc) {
            check = argv[++k];
        } else if (std::strcmp(argv[k], "--exports") == 0 && k + 1 < argc) {
            exports = argv[++k];
        } else {
            std::fprintf(stderr, "usage: %s [--verbose] [--runs] [--check FILE] [--exports FILE]\n", argv[0]);
            return 2;
        }
    }

    zc::Fnv total;
    std::map<std::string, zc::Fnv> per_routine;
    std::vector<std::string> order;
    std::size_t calls = 0;
    zc::Sink s;
    for (const zc::Case& c : zc::corpus()) {
        if (per_routine.find(c.routine) == per_routine.end()) order.push_back(c.routine);
        zc::Fnv& mine = per_routine[c.routine];
        for (int rep = 0; rep < c.reps; ++rep) {
            s.clear();
            memsvc_reset();
            zc::run_case(c, rep, 0, s);
            ++calls;
            if (c.memsvc) {
                record_log(s);
                const std::int64_t requests = memsvc_request_count();
                for (std::int64_t k = 1; k <= requests; ++k) {
                    memsvc_reset();
                    memsvc_fail_nth_request(k);
                    zc::run_case(c, rep, 0, s);
                    record_log(s);
                    ++calls;
                }
            }
            total.add(c.routine);
            total.add(s.bytes());
            mine.add(s.bytes());
            if (runs) {
                zc::Fnv one;
                one.add(s.bytes());
                std::printf("run %s %d %s\n", c.routine, rep, one.hex().c_str());
            }
        }
    }
    memsvc_reset();

    int rc = 0;
    if (memsvc_live_count() != 0 || memsvc_bad_release_count() != 0) {
        memsvc_leak_report(stderr);
        std::fprintf(stderr, "digest: memory service blocks leaked or released twice\n");
        rc = 1;
    }

    std::printf("digest %s\n", total.hex().c_str());
    if (verbose) {
        std::printf("# %zu cases, %zu runs\n", zc::corpus().size(), calls);
        for (const std::string& r : order) std::printf("%-20s %s\n", r.c_str(), per_routine[r].hex().c_str());
    }

    if (exports != nullptr) {
        std::ifstream in(exports);
        std::string name;
        std::size_t listed = 0;
        while (in >> name) {
            ++listed;
            if (per_routine.find(name) == per_routine.end()) {
                std::fprintf(stderr, "digest: export %s is not in the corpus\n", name.c_str());
                rc = 1;
            }
        }
        if (listed == 0) {
            std::fprintf(stderr, "digest: no exports listed in %s\n", exports);
            rc = 1;
        }
        if (per_routine.size() != listed) {
            std::fprintf(stderr, "digest: the corpus files %zu names, the list has %zu\n", per_routine.size(), listed);
            rc = 1;
        }
    }

    if (check != nullptr) {
        const std::string want = recorded_value(check);
        if (want != total.hex()) {
            std::fprintf(stderr,
                         "digest: %s differs from the recorded value %s (%s).\n"
                         "A change that alters results must update that file and say why in its commit;\n"
                         "run with --verbose to see which routines differ.\n",
                         total.hex().c_str(), want.empty() ? "(none)" : want.c_str(), check);
            rc = 1;
        }
    }
    return rc;
}

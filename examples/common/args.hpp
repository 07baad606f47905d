// Command-line handling shared by the example programs.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ex {

// The bundled data (data/ of the source tree) unless --data names another
// folder.
#ifndef ZOLMATH_EXAMPLE_DATA
#define ZOLMATH_EXAMPLE_DATA "data"
#endif

struct Args {
    std::vector<std::string> words;  // everything that is not an option
    std::string data = ZOLMATH_EXAMPLE_DATA;
};

// Takes the options listed in flags (each "--name" or "--name=", the latter
// with a value) out of argv; returns false, after a message, on an unknown
// option.  The values are left in found, in the order of flags.
inline bool parse(int argc, char** argv, const std::vector<std::string>& flags, Args& args,
                  std::vector<std::string>& found) {
    found.assign(flags.size(), std::string());
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strncmp(a, "--data=", 7) == 0) {
            args.data = a + 7;
            continue;
        }
        if (std::strncmp(a, "--", 2) != 0) {
            args.words.emplace_back(a);
            continue;
        }
        bool known = false;
        for (std::size_t k = 0; k < flags.size() && !known; ++k) {
            const std::string& f = flags[k];
            if (f.back() == '=' ? std::strncmp(a, f.c_str(), f.size()) == 0 : f == a) {
                found[k] = f.back() == '=' ? a + f.size() : "1";
                known = true;
            }
        }
        if (!known) {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], a);
            return false;
        }
    }
    return true;
}

}  // namespace ex

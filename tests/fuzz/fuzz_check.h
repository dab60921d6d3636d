// The fuzz targets' assertion: a broken invariant aborts, which libFuzzer
// reports as a crash with the input saved, and which fails the replay test.
#ifndef RDX_TESTS_FUZZ_CHECK_H
#define RDX_TESTS_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(c)                                                                                                  \
    ((c) ? void() : (std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #c), std::abort()))

#endif

/*
 * zolmemsvc_test.h - test interface of the stand-in memory service.
 *
 * Not part of ZOLmath: tests use it to watch and steer the service.
 *  - a log of every call (request or release, tag, line, size or block);
 *  - the live blocks with their tags, and a leak report;
 *  - fault injection: fail the k-th request from now, or every request from
 *    a given tag and line.
 * Every function is thread-safe.
 */
#ifndef ZOLMEMSVC_TEST_H
#define ZOLMEMSVC_TEST_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "zolmemsvc.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum MemsvcKind {
    MEMSVC_REQUEST = 1, /* f_malloc */
    MEMSVC_RELEASE = 2  /* f_free */
} MemsvcKind;

typedef struct MemsvcEvent {
    MemsvcKind kind;
    const char* file; /* tag as passed (a constant text of the caller) */
    int32_t line;
    int32_t size;     /* requests: the requested byte count */
    void* block;      /* requests: the block handed out (null when refused);
                         releases: the block passed */
    int refused;      /* requests: 1 when null was returned */
    int unknown;      /* releases: 1 when the block was not live (bad or
                         double release; the block is then left alone) */
} MemsvcEvent;

/* Forget the log and every fault setting; live blocks stay tracked. */
ZOLMEMSVC_API void memsvc_reset(void);
/* Turn the log on (default) or off; the live-block table is always kept. */
ZOLMEMSVC_API void memsvc_set_logging(int on);

ZOLMEMSVC_API size_t memsvc_log_size(void);
/* Copies entry i (from 0) of the log; returns 0 when i is out of range. */
ZOLMEMSVC_API int memsvc_log_entry(size_t i, MemsvcEvent* out);

/* Number of blocks handed out and not yet released. */
ZOLMEMSVC_API size_t memsvc_live_count(void);
/* Writes one line per live block (tag, line, size) to the stream (may be
 * null) and returns their number. */
ZOLMEMSVC_API size_t memsvc_leak_report(FILE* stream);
/* Number of releases of blocks that were not live since the last reset. */
ZOLMEMSVC_API size_t memsvc_bad_release_count(void);

/* Fail the k-th request counted from this call (k >= 1); 0 turns it off. */
ZOLMEMSVC_API void memsvc_fail_nth_request(int64_t k);
/* Fail every request made with this tag (compared as text) and line. */
ZOLMEMSVC_API void memsvc_fail_site(const char* file, int32_t line);
/* Turn every fault setting off. */
ZOLMEMSVC_API void memsvc_clear_faults(void);
/* Requests made since the last reset (refused ones included). */
ZOLMEMSVC_API int64_t memsvc_request_count(void);

#ifdef __cplusplus
}
#endif

#endif /* ZOLMEMSVC_TEST_H */

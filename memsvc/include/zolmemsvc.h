/*
 * zolmemsvc.h - the tracked memory service that ZOLmath calls.
 *
 * ZOLmath obtains its scratch of run-time size through these two functions.
 * A host supplies its own implementation (its utility library defines
 * f_malloc and f_free); the library in this folder is the stand-in used for
 * development and tests.
 *
 *  f_malloc(size, file, line): a fresh block of at least size bytes, or null.
 *      size is a 32-bit byte count; file is a constant text naming the
 *      caller's source file, line the line of the call.
 *  f_free(block, file, line): releases a block returned by f_malloc; the tags
 *      are those of the releasing call.
 */
#ifndef ZOLMEMSVC_H
#define ZOLMEMSVC_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(ZOLMEMSVC_BUILDING)
#    define ZOLMEMSVC_API __declspec(dllexport)
#  else
#    define ZOLMEMSVC_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define ZOLMEMSVC_API __attribute__((visibility("default")))
#else
#  define ZOLMEMSVC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

ZOLMEMSVC_API void* f_malloc(int32_t size, const char* file, int32_t line);
ZOLMEMSVC_API void f_free(void* block, const char* file, int32_t line);

#ifdef __cplusplus
}
#endif

#endif /* ZOLMEMSVC_H */

// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoders/AllocationGuard.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "media/decoders/WorkerProtocol.h"

namespace corvane::media {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)

void makeAllocationFailuresFatal() {}

#else

namespace {
// Set once, before the worker's sandbox closes; read on every allocation.
bool gFatal = false;

void* checked(void* p, std::size_t size) {
    if (!p && size != 0 && gFatal) ::_exit(worker::kExitOutOfMemory);
    return p;
}
}  // namespace

void makeAllocationFailuresFatal() { gFatal = true; }

#endif

}  // namespace corvane::media

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

// The C library's allocator under its own names: these wrappers only watch for failure.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) { return corvane::media::checked(__libc_malloc(size), size); }

void free(void* p) { __libc_free(p); }

void* calloc(std::size_t n, std::size_t size) {
    return corvane::media::checked(__libc_calloc(n, size), n * size);
}

void* realloc(void* p, std::size_t size) {
    return corvane::media::checked(__libc_realloc(p, size), size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    return corvane::media::checked(__libc_memalign(alignment, size), size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return corvane::media::checked(__libc_memalign(alignment, size), size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* p = corvane::media::checked(__libc_memalign(alignment, size), size);
    if (!p && size != 0) return ENOMEM;
    *out = p;
    return 0;
}

void* valloc(std::size_t size) {
    return corvane::media::checked(__libc_memalign(static_cast<std::size_t>(::getpagesize()), size), size);
}
}

#endif

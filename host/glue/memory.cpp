// The module's operators new and delete: blocks come from the host and go
// back to it, so memory may be freed on either side of the boundary.
//
// Only where the C++ library is linked into each module (Windows) does a
// module have operators of its own to replace. On Linux the library is shared
// by the host and every module, so there is one operator new in the process,
// the host's, and the library's own out-of-line string and stream code frees
// blocks the module allocated: a module-side replacement would see blocks
// come and go behind its back.
//
// Static objects of the module may allocate while the library is being
// loaded, before the host has handed over its tables. Those few blocks come
// from the C heap and are remembered, so that delete sends them back there.
#ifdef _WIN32
#include <cstdlib>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <mutex>
#include <new>

#include "host_iface.h"

namespace {

struct EarlyBlock {
  void* p;
  bool aligned;
};
std::mutex g_early_mutex;
EarlyBlock* g_early = nullptr;
std::size_t g_early_count = 0, g_early_capacity = 0;
std::atomic<std::size_t> g_early_live{0};

void FreeBlock(const EarlyBlock& b) {
#ifdef _WIN32
  if (b.aligned) return _aligned_free(b.p);
#endif
  std::free(b.p);
}

void* EarlyAlloc(std::size_t size, std::size_t align) {
  if (size == 0) size = 1;
  const bool aligned = align > __STDCPP_DEFAULT_NEW_ALIGNMENT__;
#ifdef _WIN32
  void* p = aligned ? _aligned_malloc(size, align) : std::malloc(size);
#else
  void* p = aligned ? std::aligned_alloc(align, (size + align - 1) / align * align) : std::malloc(size);
#endif
  if (!p) return nullptr;
  std::lock_guard<std::mutex> lock(g_early_mutex);
  if (g_early_count == g_early_capacity) {
    std::size_t capacity = g_early_capacity ? 2 * g_early_capacity : 16;
    auto* grown = static_cast<EarlyBlock*>(std::realloc(g_early, capacity * sizeof(EarlyBlock)));
    if (!grown) {
      FreeBlock({p, aligned});
      return nullptr;
    }
    g_early = grown;
    g_early_capacity = capacity;
  }
  g_early[g_early_count++] = {p, aligned};
  g_early_live.store(g_early_count);
  return p;
}

// True when p was one of the early blocks (and is now freed).
bool EarlyFree(void* p) {
  if (g_early_live.load() == 0) return false;
  std::lock_guard<std::mutex> lock(g_early_mutex);
  for (std::size_t i = 0; i < g_early_count; ++i) {
    if (g_early[i].p != p) continue;
    EarlyBlock block = g_early[i];
    g_early[i] = g_early[--g_early_count];
    g_early_live.store(g_early_count);
    FreeBlock(block);
    return true;
  }
  return false;
}

void* Allocate(std::size_t size, std::size_t align, int kind) {
  const HostMemoryTable* memory = hostiface::g_host.memory;
  if (memory && memory->Alloc) return memory->Alloc(size, align, kind);
  return EarlyAlloc(size, align);
}

void Release(void* p, std::size_t align, int kind) {
  if (!p || EarlyFree(p)) return;
  const HostMemoryTable* memory = hostiface::g_host.memory;
  if (memory && memory->Free) memory->Free(p, align, kind);
}

void* AllocateOrThrow(std::size_t size, std::size_t align, int kind) {
  void* p = Allocate(size, align, kind);
  if (!p) throw std::bad_alloc();
  return p;
}

constexpr std::size_t kPlain = 0;

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size, kPlain, HOSTMEM_NEW); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, kPlain, HOSTMEM_NEW_ARRAY); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, kPlain, HOSTMEM_NEW); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, kPlain, HOSTMEM_NEW_ARRAY);
}
void* operator new(std::size_t size, std::align_val_t al) {
  return AllocateOrThrow(size, static_cast<std::size_t>(al), HOSTMEM_NEW);
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return AllocateOrThrow(size, static_cast<std::size_t>(al), HOSTMEM_NEW_ARRAY);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(al), HOSTMEM_NEW);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return Allocate(size, static_cast<std::size_t>(al), HOSTMEM_NEW_ARRAY);
}

void operator delete(void* p) noexcept { Release(p, kPlain, HOSTMEM_NEW); }
void operator delete[](void* p) noexcept { Release(p, kPlain, HOSTMEM_NEW_ARRAY); }
void operator delete(void* p, std::size_t) noexcept { Release(p, kPlain, HOSTMEM_NEW); }
void operator delete[](void* p, std::size_t) noexcept { Release(p, kPlain, HOSTMEM_NEW_ARRAY); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p, kPlain, HOSTMEM_NEW); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p, kPlain, HOSTMEM_NEW_ARRAY); }
void operator delete(void* p, std::align_val_t al) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW);
}
void operator delete[](void* p, std::align_val_t al) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW_ARRAY);
}
void operator delete(void* p, std::size_t, std::align_val_t al) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW);
}
void operator delete[](void* p, std::size_t, std::align_val_t al) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW_ARRAY);
}
void operator delete(void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW);
}
void operator delete[](void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
  Release(p, static_cast<std::size_t>(al), HOSTMEM_NEW_ARRAY);
}

#endif  // _WIN32

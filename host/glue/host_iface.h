// The module's side of the host tables: what the host handed over at action 1
// and how a forwarding call reaches an entry.
#pragma once

#include <atomic>
#include <type_traits>
#include <utility>

#include "host_tables.h"

namespace hostiface {

// A copy of the table handed over at action 1; all null before that.
extern HostTable g_host;

// Reports once on stderr that a host entry is missing; the call then does
// nothing and answers zero (or the empty value).
void ReportMissing(const char* entry, std::atomic<bool>& reported);

template <class R>
R Nothing() {
  if constexpr (std::is_void_v<R>) {
    return;
  } else if constexpr (std::is_reference_v<R>) {
    static std::remove_cvref_t<R> nil;
    return nil;
  } else {
    return R{};
  }
}

}  // namespace hostiface

// Calls entry of the service table svc with what follows, or reports it missing.
#define HOST_IFACE_CALL(Ret, svc, entry, call)                             \
  do {                                                                     \
    const auto* table_ = hostiface::g_host.svc;                            \
    if (table_ && table_->entry) {                                         \
      auto fn_ = table_->entry;                                            \
      return call;                                                         \
    }                                                                      \
    static std::atomic<bool> reported_{false};                             \
    hostiface::ReportMissing(#svc "." #entry, reported_);                  \
    return hostiface::Nothing<Ret>();                                      \
  } while (false)

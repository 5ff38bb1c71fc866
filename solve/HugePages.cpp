#include "solve/HugePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void AdviseHugePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only whole huge pages: the advice on a part of one would split the
  // mapping for nothing.
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (data == nullptr || last <= first) return;
  // The advice is a hint, and refusing it changes nothing but the time.
  (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

Eigen::VectorXd FreshVector(Eigen::Index n) {
  Eigen::VectorXd v(n);
  AdviseHugePages(v.data(), static_cast<std::size_t>(n) * sizeof(double));
  return v;
}

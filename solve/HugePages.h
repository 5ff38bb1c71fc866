#ifndef GEN_SOLVE_HUGEPAGES_H_
#define GEN_SOLVE_HUGEPAGES_H_

#include <Eigen/Core>
#include <cstddef>
#include <vector>

// The solver's passes read and write vectors of the chain's size at the
// targets of its transitions, all over them. On 4 KiB pages nearly every
// such access misses the TLB once a vector outgrows its reach (a few MiB);
// on 2 MiB pages a vector of Kanban N = 7 (333 MB) takes 160 entries, and
// the kernel faults a huge page in at once instead of 512 small ones.

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages when they are first touched. A hint: where the system
// offers none, or the memory was touched already, nothing changes but the
// time.
void AdviseHugePages(void* data, std::size_t bytes);

// A vector of n entries, advised as above and not yet touched: the caller
// writes every entry before reading it.
Eigen::VectorXd FreshVector(Eigen::Index n);

// Makes room for n entries in `v` and advises it; the caller then fills it
// (assign, resize) within that room, before anything else touches it.
template <class T>
void ReserveAdvised(std::vector<T>* v, std::size_t n) {
  v->reserve(n);
  AdviseHugePages(v->data(), n * sizeof(T));
}

#endif  // GEN_SOLVE_HUGEPAGES_H_

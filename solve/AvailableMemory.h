#ifndef GEN_SOLVE_AVAILABLEMEMORY_H_
#define GEN_SOLVE_AVAILABLEMEMORY_H_

#include <cstddef>
#include <string_view>

// The memory the system can give a process now without swapping (Linux's
// MemAvailable), in bytes; 0 when it cannot be told.
std::size_t AvailableMemory();

// The MemAvailable line of a /proc/meminfo text, in bytes; 0 when there is
// none or it does not read as kibibytes.
std::size_t ParseAvailableMemory(std::string_view meminfo);

#endif  // GEN_SOLVE_AVAILABLEMEMORY_H_

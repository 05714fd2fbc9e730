// What the test's own process holds, to find what an operation leaves behind.
#ifndef TESTS_COMMON_PROCESS_COUNTS_H
#define TESTS_COMMON_PROCESS_COUNTS_H

#include <set>

namespace vdtest {

// Handles open in this process; -1 when the system does not tell.
int OpenHandleCount();
// The ids of this process's threads (none when the system does not tell).
std::set<unsigned long> ThreadIds();
// Threads of this process; -1 when the system does not tell.
int ThreadCount();

}  // namespace vdtest

#endif

// What the test's own process holds, to find what an operation leaves behind.
#ifndef TESTS_COMMON_PROCESS_COUNTS_H
#define TESTS_COMMON_PROCESS_COUNTS_H

#include <set>

namespace vdtest {

// Handles open in this process; -1 when the system does not tell.
int OpenHandleCount();
// Threads of this process; -1 when the system does not tell.
int ThreadCount();
// The ids of this process's threads.
std::set<unsigned long> ThreadIds();

}  // namespace vdtest

#endif

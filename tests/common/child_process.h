// Runs a program as a child process with its output captured and a deadline:
// a child that does not end in time is ended, and the result says so.
#ifndef VD_TESTS_COMMON_CHILD_PROCESS_H
#define VD_TESTS_COMMON_CHILD_PROCESS_H

#include <string>
#include <vector>

namespace vdtest {

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    unsigned long exitCode = 0;
    std::string out;  // standard output
    std::string err;  // standard error
};

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args, unsigned long deadlineMs,
                     const std::string& workingDirectory = "");

// The same, in two steps, for tests that talk to the child while it runs.
class Child {
public:
    Child();
    ~Child();  // ends the child if it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& workingDirectory = "");
    unsigned long processId() const;
    // Waits for the end (ending the child after the deadline) and collects its output.
    ChildResult Wait(unsigned long deadlineMs);

private:
    struct State;
    State* state_;
};

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vdtest

#endif  // VD_TESTS_COMMON_CHILD_PROCESS_H

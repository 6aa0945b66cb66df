#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// A test that leaves the process early (the editor's exit when its terminal is gone) must not pass
// silently: unless every test has finished, an exit is turned into a failure status.
namespace {
bool gAllTestsDone = false;
void CheckExit() {
    if (!gAllTestsDone) {
        std::fputs("\nzt tests: the process left in the middle of a test (the editor exited)\n", stderr);
        std::_Exit(99);
    }
}
class ExitGuard : public ::testing::Environment {
public:
    void SetUp() override { std::atexit(CheckExit); }
    void TearDown() override { gAllTestsDone = true; }
};
[[maybe_unused]] ::testing::Environment* const gExitGuard =
    ::testing::AddGlobalTestEnvironment(new ExitGuard);
}  // namespace

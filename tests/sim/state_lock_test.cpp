// The lock of a state folder against the processes around it: programs started by its holder
// (the firmware children) neither keep it nor release it.
#include "sim/state_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_folder.h"

namespace sim {
namespace {

pid_t spawn_shell(const char* command) {
    const char* argv[] = {"/bin/sh", "-c", command, nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return -1;
    }
    return pid;
}

TEST(StateLock, ChildrenOfTheHolderNeitherKeepNorReleaseIt) {
    const voxa_test::TestFolder folder("sim-lock");
    StateLock lock;
    std::string why;
    ASSERT_TRUE(lock.acquire(folder.path(), &why)) << why;

    // A child that crashes leaves the holder's lock in place.
    const pid_t crashing = spawn_shell("kill -SEGV $$");
    ASSERT_GT(crashing, 0);
    int status = 0;
    ASSERT_EQ(waitpid(crashing, &status, 0), crashing);
    ASSERT_TRUE(WIFSIGNALED(status));
    StateLock other;
    EXPECT_FALSE(other.acquire(folder.path(), &why));
    EXPECT_EQ(why, "in use by another voxa-sim (pid " + std::to_string(getpid()) + ")");

    // A child still running when the holder lets go does not keep the folder.
    const pid_t lingering = spawn_shell("exec sleep 60");
    ASSERT_GT(lingering, 0);
    lock.release();
    EXPECT_TRUE(other.acquire(folder.path(), &why)) << why;
    kill(lingering, SIGKILL);
    waitpid(lingering, &status, 0);
}

}  // namespace
}  // namespace sim

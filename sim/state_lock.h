// One voxa-sim at a time per state folder: two runs sharing it would overwrite each other's
// EEPROM and card files.
//
// The owner holds an exclusive flock() on voxa-sim.lock in the folder for as long as it runs;
// the kernel lets go of it when the process ends, however it ends, so a killed run leaves no
// stale lock behind. The file holds the owner's pid for the message the next one gets. The
// descriptor is close-on-exec, so the firmware children voxa-sim starts hold no copy of it:
// the lock stays the parent's alone, neither kept by a child that outlives the parent nor
// touched by a child that crashes.
#pragma once

#include <string>

namespace sim {

class StateLock {
  public:
    static constexpr const char* kFileName = "voxa-sim.lock";

    StateLock() = default;
    ~StateLock() { release(); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

    // Takes the folder (which must exist). false with *error set when another process holds
    // it ("in use by another voxa-sim (pid N)") or the lock file cannot be opened (the
    // system's reason).
    bool acquire(const std::string& dir, std::string* error);
    void release();
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace sim

// Plays a script as the host of a session: its sends go on the wire at the script's virtual
// times, its expectations read what the module sent on ports that have no endpoint.
#pragma once

#include <cstdint>
#include <string>

#include "sim/script.h"
#include "sim/session.h"

namespace sim {

class ScriptRunner {
  public:
    // A waiting expectation looks at what has arrived this often (in virtual time), so it
    // ends at most this long after the last byte it waited for: the reaction time of a host
    // that polls its serial port every millisecond.
    static constexpr uint64_t kPollNs = 1'000'000;

    explicit ScriptRunner(Session& session) : session_(session) {}

    // Plays the steps from the current virtual time. false with *failure set, as
    // "NAME:LINE: what went wrong", when an expectation failed, a step could not be done, the
    // module stopped or the run was interrupted.
    bool run(const Script& script, std::string* failure);
    // Plays one step; an empty string when it succeeded, else the reason (without the line).
    std::string run_step(const ScriptStep& step);

  private:
    // Each returns an empty string when the step succeeded, else the reason.
    std::string expect(const ScriptStep& step);
    std::string wait_for(const ScriptStep& step);
    std::string expect_silence(const ScriptStep& step);
    std::string screenshot(const ScriptStep& step);
    std::string wav(const ScriptStep& step);
    std::string insert_card(const ScriptStep& step);
    std::string touch(const ScriptStep& step);
    // The session ended the run under the script's feet.
    std::string why_ending() const;

    Session& session_;
};

}  // namespace sim

// Scripts: the host's side of a run, written as timed actions in virtual time.
//
//   # boot, then ask for the version
//   expect ">\r" within 3000
//   send "vers\r"
//   expect "VOXA5-PLUS V1.4.0 WVGA \r>\r"
//   screenshot boot.png
//   wav beeps.wav
//   tap 400 240 100
//
// One command per line; blank lines and text after # (outside quotes) are ignored. Texts are
// in double quotes with C escapes. Times are milliseconds of virtual time (fractions allowed).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class StepKind {
    kSend,           // bytes
    kWait,           // ns
    kExpect,         // bytes, ns = limit
    kExpectSilence,  // ns
    kWaitFor,        // bytes, ns = limit
    kDiscard,
    kScreenshot,  // path
    kReset,
    kPowerCycle,
    kPowerOff,
    kPowerOn,
    kSdInsertImage,   // path: a FAT image file becomes the card
    kSdInsertFolder,  // path: a host folder becomes the card
    kSdRemove,
    kTouch,  // x, y, pressure (-1: the panel's default)
    kMove,   // x, y
    kDrag,   // x, y, ns
    kRelease,
    kTap,    // x, y, ns, pressure
    kPanel,  // bytes: the panel set-up (sim/touch_spec.h)
    kWav,    // path: the sound so far as a WAV file
};

struct ScriptStep {
    StepKind kind = StepKind::kWait;
    int line = 0;
    int port = 0;  // 0 com0 (the host port), 1 com1 ("aux")
    std::string bytes;
    uint64_t ns = 0;
    std::string path;
    int x = 0;  // touch lines: a screen position
    int y = 0;
    int pressure = -1;
};

struct Script {
    std::string name;  // as messages show it
    std::vector<ScriptStep> steps;
};

constexpr uint64_t kDefaultExpectLimitNs = 2'000'000'000;

// Parses a script. Relative paths in it are taken relative to base_dir. On error, *error is
// "NAME:LINE: what is wrong".
bool parse_script(std::string_view text, const std::string& name, const std::string& base_dir,
                  Script* out, std::string* error);
// The files and folders the steps name, checked before the run: card images and folders must
// be usable as cards, and the folder of every screenshot must take new files. On the first
// that is not, *error is "NAME:LINE: COMMAND PATH: the system's reason".
bool check_script_paths(const Script& script, std::string* error);
// The check of one step (an empty string when it names nothing or nothing wrong), also made
// when the step runs, as a file may go away meanwhile.
std::string step_path_problem(const ScriptStep& step);
// Reads, parses and checks (check_script_paths) a file; its folder is the base of relative
// paths.
bool load_script(const std::string& path, Script* out, std::string* error);

}  // namespace sim

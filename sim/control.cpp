#include "sim/control.h"

#include <filesystem>

namespace sim {

namespace {

// A line longer than this without its end is no console line; it is dropped.
constexpr size_t kMaxLine = 4096;

bool world_action(StepKind kind) {
    switch (kind) {
        case StepKind::kTouch:
        case StepKind::kMove:
        case StepKind::kDrag:
        case StepKind::kRelease:
        case StepKind::kTap:
        case StepKind::kPanel:
        case StepKind::kSdInsertImage:
        case StepKind::kSdInsertFolder:
        case StepKind::kSdRemove:
        case StepKind::kWait:
        case StepKind::kReset:
        case StepKind::kPowerCycle:
        case StepKind::kPowerOff:
        case StepKind::kPowerOn:
            return true;
        default:
            return false;
    }
}

}  // namespace

ControlConsole::ControlConsole(Session& session, std::unique_ptr<Endpoint> endpoint)
    : session_(session), endpoint_(std::move(endpoint)), runner_(session) {}

std::string ControlConsole::execute(std::string_view line) {
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    Script script;
    std::string error;
    if (!parse_script(line, "", cwd, &script, &error)) {
        // "NAME:LINE: what": only the what is news to the one who typed the line.
        const size_t at = error.find(": ");
        return at == std::string::npos ? error : error.substr(at + 2);
    }
    if (script.steps.empty()) return "";
    const ScriptStep& step = script.steps.front();
    if (!world_action(step.kind)) {
        const size_t start = line.find_first_not_of(" \t");
        const std::string_view word = line.substr(start, line.find_first_of(" \t", start) - start);
        return "'" + std::string(word) + "' is for scripts; the console takes touch, move, drag, " +
               "release, tap, panel, sd, wait, power-cycle, power-off, power-on and reset";
    }
    if (const std::string why = step_path_problem(step); !why.empty()) return why;
    return runner_.run_step(step);
}

void ControlConsole::serve() {
    pending_ += endpoint_->service(Intake{session_.now(), SIZE_MAX});
    for (;;) {
        const size_t end = pending_.find_first_of("\r\n");
        if (end == std::string::npos) break;
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string why = execute(line);
        endpoint_->write(why.empty() ? "ok\n" : "error: " + why + "\n", session_.now());
    }
    if (pending_.size() > kMaxLine) pending_.clear();
}

}  // namespace sim

#include "sim/script_runner.h"

#include "sim/sound.h"

#include <cstdio>

#include "sim/byte_text.h"
#include "sim/screen.h"
#include "sim/touch_spec.h"

namespace sim {

namespace {

std::string seconds(uint64_t t_ns) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%llu.%06llu s",
                  static_cast<unsigned long long>(t_ns / 1'000'000'000u),
                  static_cast<unsigned long long>(t_ns % 1'000'000'000u / 1'000u));
    return buf;
}

std::string millis(uint64_t ns) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g ms", double(ns) / 1e6);
    return buf;
}

const char* port_name(int port) {
    return port ? "com1" : "com0";
}

// Long receptions are cut in messages: the start is where the difference usually lies.
constexpr size_t kShownBytes = 256;

std::string shown(const std::string& bytes) {
    if (bytes.size() <= kShownBytes) return quote_bytes(bytes);
    return quote_bytes(bytes.substr(0, kShownBytes)) + " (and " +
           std::to_string(bytes.size() - kShownBytes) + " more bytes)";
}

}  // namespace

bool ScriptRunner::run(const Script& script, std::string* failure) {
    for (const auto& step : script.steps) {
        if (const std::string why = run_step(step); !why.empty()) {
            *failure = script.name + ":" + std::to_string(step.line) + ": " + why;
            return false;
        }
    }
    return true;
}

std::string ScriptRunner::run_step(const ScriptStep& step) {
    std::string why;
    switch (step.kind) {
        case StepKind::kSend:
            session_.send(step.port, step.bytes);
            break;
        case StepKind::kWait:
            session_.advance_to(session_.now() + step.ns);
            why = why_ending();
            break;
        case StepKind::kExpect:
            why = expect(step);
            break;
        case StepKind::kWaitFor:
            why = wait_for(step);
            break;
        case StepKind::kExpectSilence:
            why = expect_silence(step);
            break;
        case StepKind::kDiscard:
            session_.inbox(step.port).clear();
            break;
        case StepKind::kScreenshot:
            why = screenshot(step);
            break;
        case StepKind::kWav:
            why = wav(step);
            break;
        case StepKind::kReset:
            session_.hardware_reset();
            break;
        case StepKind::kPowerCycle:
            session_.power_cycle();
            break;
        case StepKind::kPowerOff:
            session_.power_off();
            break;
        case StepKind::kPowerOn:
            session_.power_on();
            break;
        case StepKind::kSdInsertImage:
        case StepKind::kSdInsertFolder:
            why = insert_card(step);
            break;
        case StepKind::kSdRemove:
            session_.module().remove_sd();
            break;
        case StepKind::kTouch:
        case StepKind::kMove:
        case StepKind::kDrag:
        case StepKind::kRelease:
        case StepKind::kTap:
        case StepKind::kPanel:
            why = touch(step);
            break;
    }
    return why;
}

std::string ScriptRunner::touch(const ScriptStep& step) {
    Module& m = session_.module();
    const bool moves = step.kind == StepKind::kMove || step.kind == StepKind::kDrag;
    const bool positioned = step.kind != StepKind::kRelease && step.kind != StepKind::kPanel;
    if (positioned && !m.on_panel(step.x, step.y)) {
        return std::to_string(step.x) + "," + std::to_string(step.y) + " is off the " +
               std::to_string(m.width()) + "x" + std::to_string(m.height()) + " panel";
    }
    if (moves && !m.touched()) return "no finger is on the panel (touch first)";
    switch (step.kind) {
        case StepKind::kTouch:
            m.touch(step.x, step.y, step.pressure);
            break;
        case StepKind::kMove:
            m.move(step.x, step.y);
            break;
        case StepKind::kDrag:
            m.drag(step.x, step.y, double(step.ns) / 1e6,
                   [this](uint64_t t) { session_.advance_to(t); });
            return why_ending();
        case StepKind::kRelease:
            m.release();
            break;
        case StepKind::kTap:
            m.touch(step.x, step.y, step.pressure);
            session_.advance_to(session_.now() + step.ns);
            m.release();
            return why_ending();
        case StepKind::kPanel: {
            simlink::TouchPanelConfig c = m.touch_panel();
            std::string error;
            if (!apply_touch_panel_spec(step.bytes, &c, &error)) return error;
            m.set_touch_panel(c);
            break;
        }
        default:
            break;
    }
    return "";
}

std::string ScriptRunner::why_ending() const {
    if (session_.module_stopped()) return "the module stopped: " + session_.module().stop_reason();
    if (session_.ending()) return "the run was interrupted at " + seconds(session_.now());
    return "";
}

std::string ScriptRunner::expect(const ScriptStep& step) {
    const std::string& want = step.bytes;
    const uint64_t deadline = session_.now() + step.ns;
    for (;;) {
        std::string& got = session_.inbox(step.port);
        const size_t n = std::min(got.size(), want.size());
        if (got.compare(0, n, want, 0, n) != 0) {
            return std::string("expect on ") + port_name(step.port) + " failed at " +
                   seconds(session_.now()) + ": expected " + quote_bytes(want) + ", received " +
                   shown(got);
        }
        if (got.size() >= want.size()) {
            got.erase(0, want.size());
            return "";
        }
        if (const std::string why = why_ending(); !why.empty()) return why;
        if (session_.now() >= deadline) {
            return std::string("expect on ") + port_name(step.port) + " timed out after " +
                   millis(step.ns) + " at " + seconds(session_.now()) + ": expected " +
                   quote_bytes(want) + ", received " + shown(got);
        }
        session_.advance_to(std::min(deadline, session_.now() + kPollNs));
    }
}

std::string ScriptRunner::wait_for(const ScriptStep& step) {
    const uint64_t deadline = session_.now() + step.ns;
    for (;;) {
        std::string& got = session_.inbox(step.port);
        if (const size_t at = got.find(step.bytes); at != std::string::npos) {
            got.erase(0, at + step.bytes.size());
            return "";
        }
        if (const std::string why = why_ending(); !why.empty()) return why;
        if (session_.now() >= deadline) {
            return std::string("wait-for on ") + port_name(step.port) + " timed out after " +
                   millis(step.ns) + " at " + seconds(session_.now()) + ": waited for " +
                   quote_bytes(step.bytes) + ", received " + shown(got);
        }
        session_.advance_to(std::min(deadline, session_.now() + kPollNs));
    }
}

std::string ScriptRunner::expect_silence(const ScriptStep& step) {
    const uint64_t deadline = session_.now() + step.ns;
    for (;;) {
        const std::string& got = session_.inbox(step.port);
        if (!got.empty()) {
            return std::string("expect-silence on ") + port_name(step.port) + " failed at " +
                   seconds(session_.now()) + ": received " + shown(got);
        }
        if (const std::string why = why_ending(); !why.empty()) return why;
        if (session_.now() >= deadline) return "";
        session_.advance_to(std::min(deadline, session_.now() + kPollNs));
    }
}

std::string ScriptRunner::insert_card(const ScriptStep& step) {
    if (std::string why = step_path_problem(step); !why.empty()) return why;
    Module& m = session_.module();
    if (step.kind == StepKind::kSdInsertImage) {
        m.insert_sd_image(step.path);
    } else {
        m.insert_sd_folder(step.path);
    }
    // A card that replaces another goes in only after the slot stood empty a while; the line
    // lasts until then, so that what follows it finds the new card in the slot.
    session_.advance_to(m.sd_settled_ns());
    return why_ending();
}

std::string ScriptRunner::screenshot(const ScriptStep& step) {
    if (std::string why = step_path_problem(step); !why.empty()) return why;
    const Module& m = session_.module();
    std::string error;
    if (!write_png(step.path, m.width(), m.height(), render_screen(m, {}), &error)) return error;
    return "";
}

std::string ScriptRunner::wav(const ScriptStep& step) {
    if (std::string why = step_path_problem(step); !why.empty()) return why;
    const Module& m = session_.module();
    std::string error;
    if (!write_wav(step.path, m.sound(), m.now_ns(), &error)) return error;
    return "";
}

}  // namespace sim

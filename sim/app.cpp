#include "sim/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "sim/control.h"
#include "sim/path_check.h"
#include "sim/screen.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/session.h"
#include "sim/sound.h"
#include "sim/state_lock.h"
#include "sim/stop_signal.h"
#include "sim/touch_spec.h"
#include "sim/web_view.h"

namespace sim {

namespace {

uint64_t ms_to_ns(double ms) {
    return uint64_t(ms * 1e6 + 0.5);
}

// A refusal at start: "voxa-sim: WHAT PATH: REASON".
int refuse(const std::string& what, const std::string& path, const std::string& why) {
    std::fprintf(stderr, "voxa-sim: %s\n", path_problem(what, path, why).c_str());
    return kExitUsage;
}

// Every file and folder the command line names, checked before anything starts, so that a
// mistyped path costs no run. kExitOk when all can be used.
int check_paths(const CliOptions& o) {
    const struct {
        const char* what;
        std::string path;
        std::string (*check)(const std::string&);
    } paths[] = {
        {"--script", o.script, check_readable_file},
        {"--sd", o.sd_dir, check_card_folder},
        {"--sd-image", o.sd_image, check_card_image},
        {"--flash2", o.flash2, check_readable_file},
        {"--screenshot", o.screenshot, check_writable_file},
        {"--wav", o.wav, check_writable_file},
        {"--log", o.log == "-" ? std::string() : o.log, check_writable_file},
    };
    for (const auto& p : paths) {
        if (p.path.empty()) continue;
        if (const std::string why = p.check(p.path); !why.empty()) {
            return refuse(p.what, p.path, why);
        }
    }
    return kExitOk;
}

// Creates the state folder when missing and takes it for this run.
int take_state_dir(const CliOptions& o, std::string* dir, StateLock* lock) {
    const char* what = o.state_dir.empty() ? "state folder" : "--state";
    *dir = o.state_dir.empty() ? default_state_dir(o.panel) : o.state_dir;
    if (dir->empty()) {
        std::fprintf(stderr,
                     "voxa-sim: no home folder to keep the module's state in; give --state DIR\n");
        return kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(*dir, ec);
    if (ec) return refuse(what, *dir, ec.message());
    if (!std::filesystem::is_directory(*dir)) return refuse(what, *dir, std::strerror(ENOTDIR));
    std::string why;
    if (!lock->acquire(*dir, &why)) return refuse(what, *dir, why);
    return kExitOk;
}

// The --flash2 file's bytes, refused when they do not fit the window.
int read_flash2_file(const std::string& path, std::vector<uint8_t>* bytes) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return refuse("--flash2", path, std::strerror(errno ? errno : EIO));
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return refuse("--flash2", path, std::strerror(EIO));
    const std::string why = Module::flash2_refusal(bytes->size());
    return why.empty() ? kExitOk : refuse("--flash2", path, why);
}

// A bitmap/macro file with more than one record is used from the flash only when its locations
// are addresses of the window (as the module's own copy to the flash writes them); one built
// with file offsets would be refused at start-up without a word, so say it here.
void warn_if_offsets(const std::string& path, const std::vector<uint8_t>& b) {
    constexpr uint32_t kFlash2WindowAddress = 0xC8400000;  // where the module sees the window
    constexpr size_t kRecord1Location = 8 + 12 + 4;
    if (b.size() < kRecord1Location + 4 || (b[0] | (b[1] << 8)) != 0xFEEC) return;
    if ((b[2] | (b[3] << 8)) < 2) return;
    uint32_t location = 0;
    for (int i = 3; i >= 0; --i) location = (location << 8) | b[kRecord1Location + size_t(i)];
    if (location > kFlash2WindowAddress) return;
    std::fprintf(stderr,
                 "voxa-sim: warning: --flash2 %s: its locations are file offsets; the module uses "
                 "a file of several records from the flash only with flash addresses (build it "
                 "with imgpack --flash2-locations)\n",
                 path.c_str());
}

bool waits_for_host(const EndpointSpec& spec) {
    return spec.kind == EndpointSpec::Kind::kPty || spec.kind == EndpointSpec::Kind::kTcp;
}

}  // namespace

int run_app(const CliOptions& o) {
    install_stop_handlers();

    if (const int code = check_paths(o); code != kExitOk) return code;

    // The script's own files are checked with it: a mistake in it ends the run before it
    // starts, reported at its line.
    Script script;
    if (!o.script.empty()) {
        std::string error;
        if (!load_script(o.script, &script, &error)) {
            std::fprintf(stderr, "voxa-sim: %s\n", error.c_str());
            return kExitFailure;
        }
    }

    std::vector<uint8_t> flash2;
    if (!o.flash2.empty()) {
        if (const int code = read_flash2_file(o.flash2, &flash2); code != kExitOk) return code;
        warn_if_offsets(o.flash2, flash2);
    }

    Module::Options mo;
    mo.panel = o.panel;
    StateLock state_lock;
    if (const int code = take_state_dir(o, &mo.state_dir, &state_lock); code != kExitOk) {
        return code;
    }
    mo.sd_dir = o.sd_dir;
    mo.sd_image = o.sd_image;
    mo.no_sd = o.no_sd;
    mo.dataflash_id = o.dataflash_id;

    std::ofstream log_file;
    std::unique_ptr<TrafficLog> log;
    if (o.log == "-") {
        log = std::make_unique<TrafficLog>(std::cout);
    } else if (!o.log.empty()) {
        errno = 0;
        log_file.open(o.log, std::ios::binary | std::ios::trunc);
        if (!log_file) {
            return refuse("--log", o.log, errno ? std::strerror(errno) : "cannot be written");
        }
        log = std::make_unique<TrafficLog>(log_file);
    }

    Module module(mo);
    if (!o.flash2.empty()) {
        std::string why;
        if (!module.write_flash2(flash2, &why)) return refuse("--flash2", o.flash2, why);
    }
    if (!o.touch_panel.empty()) {
        simlink::TouchPanelConfig panel = module.touch_panel();
        std::string error;
        apply_touch_panel_spec(o.touch_panel, &panel, &error);  // checked with the options
        module.set_touch_panel(panel);
    }
    Session session(module, o.realtime);
    session.set_log(log.get());
    std::unique_ptr<WebView> web;
    if (o.web) {
        WebViewOptions wo;
        wo.address = o.web_address;
        wo.port = o.web_port;
        wo.token = o.web_token;
        for (int port = 0; port < 2; ++port) {
            if (o.com[port].kind == EndpointSpec::Kind::kWeb) wo.console = port;
        }
        wo.sd_image = o.sd_image;
        wo.sd_dir = o.sd_dir;
        web = std::make_unique<WebView>(session, wo);
        std::string error;
        if (!web->start(&error)) {
            std::fprintf(stderr, "voxa-sim: --web: %s\n", error.c_str());
            return kExitFailure;
        }
    }
    for (int port = 0; port < 2; ++port) {
        if (o.com[port].kind == EndpointSpec::Kind::kWeb) {
            session.set_endpoint(port, web->console_endpoint());
            continue;
        }
        std::string error;
        auto endpoint = open_endpoint(o.com[port], port, &error);
        if (!endpoint && !error.empty()) {
            std::fprintf(stderr, "voxa-sim: com%d: %s\n", port, error.c_str());
            return kExitFailure;
        }
        session.set_endpoint(port, std::move(endpoint));
    }
    std::unique_ptr<ControlConsole> control;
    if (o.control.kind != EndpointSpec::Kind::kNone) {
        std::string error;
        auto endpoint = open_endpoint(o.control, kControlPort, &error);
        if (!endpoint) {
            std::fprintf(stderr, "voxa-sim: control: %s\n", error.c_str());
            return kExitFailure;
        }
        control = std::make_unique<ControlConsole>(session, std::move(endpoint));
    }

    int code = kExitOk;
    bool powered = true;
    if (o.script.empty() && waits_for_host(o.com[0]) && !o.power_on_now) {
        std::fprintf(stderr, "voxa-sim: the module switches on when a host opens com0\n");
        powered = session.wait_until_opened(0);
    }
    if (powered) {
        session.power_on();
        if (!o.script.empty()) {
            ScriptRunner runner(session);
            std::string failure;
            if (!runner.run(script, &failure)) {
                std::fprintf(stderr, "voxa-sim: %s\n", failure.c_str());
                code = kExitFailure;
            }
            if (code == kExitOk && o.run_for_ms >= 0) {
                session.advance_to(session.now() + ms_to_ns(o.run_for_ms));
            }
        } else {
            // Interactive: the run ends with --run-for, a stop signal, or (without --run-for)
            // the end of the terminal's input.
            session.set_end_on_host_eof(o.run_for_ms < 0);
            const uint64_t end =
                o.run_for_ms < 0 ? Session::kForever : session.now() + ms_to_ns(o.run_for_ms);
            if (!control) {
                session.advance_to(end);
            } else {
                // The console is served between slices of virtual time, as the endpoints are.
                const uint64_t slice =
                    o.realtime ? Session::kRealtimeSliceNs : Session::kFastSliceNs;
                while (!session.ending() && session.now() < end &&
                       !(control->ended() && o.run_for_ms < 0)) {
                    session.advance_to(end - session.now() > slice ? session.now() + slice : end);
                    control->serve();
                }
            }
        }
    }
    if (session.module_stopped()) code = kExitFailure;
    if (log) log->finish();

    if (!o.screenshot.empty()) {
        std::string error;
        if (!write_png(o.screenshot, module.width(), module.height(), render_screen(module, {}),
                       &error)) {
            std::fprintf(stderr, "voxa-sim: %s\n", error.c_str());
            code = kExitFailure;
        }
    }
    if (!o.wav.empty()) {
        std::string error;
        if (!write_wav(o.wav, module.sound(), module.now_ns(), &error)) {
            std::fprintf(stderr, "voxa-sim: %s\n", error.c_str());
            code = kExitFailure;
        }
    }
    return code;
}

}  // namespace sim

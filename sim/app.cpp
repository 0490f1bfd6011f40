#include "sim/app.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "sim/screen.h"
#include "sim/script.h"
#include "sim/script_runner.h"
#include "sim/session.h"
#include "sim/stop_signal.h"

namespace sim {

namespace {

uint64_t ms_to_ns(double ms) {
    return uint64_t(ms * 1e6 + 0.5);
}

bool prepare_state_dir(const CliOptions& o, std::string* dir) {
    *dir = o.state_dir.empty() ? default_state_dir(o.panel) : o.state_dir;
    if (dir->empty()) {
        std::fprintf(stderr,
                     "voxa-sim: no home folder to keep the module's state in; give --state DIR\n");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(*dir, ec);
    if (ec || !std::filesystem::is_directory(*dir)) {
        std::fprintf(stderr, "voxa-sim: cannot create the state folder %s: %s\n", dir->c_str(),
                     ec.message().c_str());
        return false;
    }
    return true;
}

bool waits_for_host(const EndpointSpec& spec) {
    return spec.kind == EndpointSpec::Kind::kPty || spec.kind == EndpointSpec::Kind::kTcp;
}

}  // namespace

int run_app(const CliOptions& o) {
    install_stop_handlers();

    Script script;
    if (!o.script.empty()) {
        if (!std::ifstream(o.script)) {
            std::fprintf(stderr, "voxa-sim: cannot read script %s\n", o.script.c_str());
            return kExitUsage;
        }
        std::string error;
        if (!load_script(o.script, &script, &error)) {
            std::fprintf(stderr, "voxa-sim: %s\n", error.c_str());
            return kExitFailure;
        }
    }

    Module::Options mo;
    mo.panel = o.panel;
    if (!prepare_state_dir(o, &mo.state_dir)) return kExitFailure;
    mo.sd_dir = o.sd_dir;
    mo.sd_image = o.sd_image;
    mo.no_sd = o.no_sd;

    std::ofstream log_file;
    std::unique_ptr<TrafficLog> log;
    if (o.log == "-") {
        log = std::make_unique<TrafficLog>(std::cout);
    } else if (!o.log.empty()) {
        log_file.open(o.log, std::ios::binary | std::ios::trunc);
        if (!log_file) {
            std::fprintf(stderr, "voxa-sim: cannot write the log %s\n", o.log.c_str());
            return kExitFailure;
        }
        log = std::make_unique<TrafficLog>(log_file);
    }

    Module module(mo);
    Session session(module, o.realtime);
    session.set_log(log.get());
    for (int port = 0; port < 2; ++port) {
        std::string error;
        auto endpoint = open_endpoint(o.com[port], port, &error);
        if (!endpoint && !error.empty()) {
            std::fprintf(stderr, "voxa-sim: com%d: %s\n", port, error.c_str());
            return kExitFailure;
        }
        session.set_endpoint(port, std::move(endpoint));
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
            session.advance_to(o.run_for_ms < 0 ? Session::kForever
                                                : session.now() + ms_to_ns(o.run_for_ms));
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
    return code;
}

}  // namespace sim

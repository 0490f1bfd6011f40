// The command line of voxa-sim: what a run is asked to do, before anything is opened.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/module.h"

namespace sim {

// Where one UART of the module is wired to.
struct EndpointSpec {
    enum class Kind { kNone, kStdio, kPty, kTcp, kWeb };
    Kind kind = Kind::kNone;
    std::string link;                   // pty: a symlink to create to the slave, empty for none
    std::string address = "127.0.0.1";  // tcp: the local address to listen on
    int port = 0;                       // tcp: 0 picks a free port (printed at start)
    bool raw_input = false;             // stdio: piped input at once, not line by line
};

// Parses "stdio", "pty", "pty:LINK", "tcp:PORT", "tcp:ADDRESS:PORT", "web" (the web view's
// console) or "none".
bool parse_endpoint_spec(std::string_view text, EndpointSpec* out, std::string* error);

struct CliOptions {
    Panel panel = Panel::kWvga;
    EndpointSpec com[2];
    bool com_given[2] = {false, false};
    bool realtime = true;
    std::string state_dir;  // empty: default_state_dir(panel)
    std::string script;
    double run_for_ms = -1;  // negative: not given
    std::string screenshot;
    std::string wav;  // --wav FILE: the sound of the run, written at exit
    std::string log;  // "-" is standard output
    bool power_on_now = false;
    std::string sd_dir;       // --sd DIR: a host folder shown as the card
    std::string sd_image;     // --sd-image FILE: a FAT image file as the card
    bool no_sd = false;       // --no-sd: the slot stays empty
    std::string touch_panel;  // --touch-panel PANEL (sim/touch_spec.h)
    std::string flash2;       // --flash2 FILE: written into the Flash2 window before power-on
    EndpointSpec control;     // --control SPEC: the control console (kind kNone: none)
    uint8_t dataflash_id = simlink::kDefaultDataFlashId;  // --dataflash-id HEX
    bool web = false;                     // --web [ADDR:]PORT: the page with the live module
    std::string web_address = "127.0.0.1";
    int web_port = 0;                     // 0: any free port (printed at start)
    bool web_token = false;               // --web-token: a random token in the page's URL

    CliOptions() { com[0].kind = EndpointSpec::Kind::kStdio; }
};

enum class CliParse { kRun, kHelp, kError };

// Reads argv[1..argc-1]. On kError, *error says what is wrong in one line.
CliParse parse_cli(int argc, const char* const* argv, CliOptions* out, std::string* error);
std::string usage_text();

// ~/.voxa-sim/<panel>; empty when no home folder is known.
std::string default_state_dir(Panel panel);

}  // namespace sim

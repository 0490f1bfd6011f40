#include "sim/cli_options.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "sim/touch_spec.h"

namespace sim {

namespace {

bool parse_port(std::string_view text, int* port) {
    if (text.empty() || text.size() > 5) return false;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > 65535) return false;
    *port = v;
    return true;
}

bool parse_ms(const std::string& text, double* ms) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    // A year of virtual time is far beyond any sensible run and keeps nanoseconds in range.
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0 || v > 3.2e10) return false;
    *ms = v;
    return true;
}

// One or two hex digits, an optional 0x in front.
bool parse_hex_byte(std::string_view text, uint8_t* out) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text.empty() || text.size() > 2) return false;
    unsigned v = 0;
    for (const char c : text) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return false;
        v = v * 16 + unsigned(d);
    }
    *out = uint8_t(v);
    return true;
}

}  // namespace

bool parse_endpoint_spec(std::string_view text, EndpointSpec* out, std::string* error) {
    EndpointSpec spec;
    if (text == "none") {
        spec.kind = EndpointSpec::Kind::kNone;
    } else if (text == "stdio") {
        spec.kind = EndpointSpec::Kind::kStdio;
    } else if (text == "pty") {
        spec.kind = EndpointSpec::Kind::kPty;
    } else if (text.starts_with("pty:")) {
        spec.kind = EndpointSpec::Kind::kPty;
        spec.link = std::string(text.substr(4));
        if (spec.link.empty()) {
            *error = "pty: needs a link path after the colon";
            return false;
        }
    } else if (text == "web") {
        spec.kind = EndpointSpec::Kind::kWeb;
    } else if (text.starts_with("tcp:")) {
        spec.kind = EndpointSpec::Kind::kTcp;
        const std::string_view rest = text.substr(4);
        const size_t colon = rest.rfind(':');
        std::string_view port = rest;
        if (colon != std::string_view::npos) {
            spec.address = std::string(rest.substr(0, colon));
            port = rest.substr(colon + 1);
            if (spec.address.empty()) {
                *error = "tcp: empty address in '" + std::string(text) + "'";
                return false;
            }
        }
        if (!parse_port(port, &spec.port)) {
            *error = "tcp: bad port in '" + std::string(text) + "' (0-65535)";
            return false;
        }
    } else {
        *error = "unknown port endpoint '" + std::string(text) +
                 "' (stdio, pty, pty:LINK, tcp:PORT, tcp:ADDRESS:PORT, web or none)";
        return false;
    }
    *out = spec;
    return true;
}

CliParse parse_cli(int argc, const char* const* argv, CliOptions* out, std::string* error) {
    CliOptions o;
    bool raw_stdin = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool has_value = false;
        if (arg.starts_with("--")) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                has_value = true;
            }
        }
        auto take_value = [&]() -> bool {
            if (has_value) return true;
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto no_value = [&]() -> bool {
            if (has_value) *error = arg + " takes no value";
            return !has_value;
        };

        if (arg == "--help" || arg == "-h") {
            if (!no_value()) return CliParse::kError;
            return CliParse::kHelp;
        } else if (arg == "--panel") {
            if (!take_value()) return CliParse::kError;
            if (!parse_panel(value, &o.panel)) {
                *error = "unknown panel '" + value + "' (wvga, svga or vga)";
                return CliParse::kError;
            }
        } else if (arg == "--com0" || arg == "--com1") {
            const int port = arg == "--com1" ? 1 : 0;
            if (!take_value()) return CliParse::kError;
            std::string why;
            if (!parse_endpoint_spec(value, &o.com[port], &why)) {
                *error = arg + ": " + why;
                return CliParse::kError;
            }
            o.com_given[port] = true;
        } else if (arg == "--realtime" || arg == "--fast") {
            if (!no_value()) return CliParse::kError;
            o.realtime = arg == "--realtime";
        } else if (arg == "--state" || arg == "--script" || arg == "--screenshot" ||
                   arg == "--log" || arg == "--sd" || arg == "--sd-image" || arg == "--flash2" ||
                   arg == "--wav") {
            if (!take_value()) return CliParse::kError;
            if (value.empty()) {
                *error = arg + " needs a non-empty value";
                return CliParse::kError;
            }
            (arg == "--state"      ? o.state_dir
             : arg == "--script"   ? o.script
             : arg == "--log"      ? o.log
             : arg == "--sd"       ? o.sd_dir
             : arg == "--sd-image" ? o.sd_image
             : arg == "--flash2"   ? o.flash2
             : arg == "--wav"      ? o.wav
                                   : o.screenshot) = value;
        } else if (arg == "--touch-panel") {
            if (!take_value()) return CliParse::kError;
            simlink::TouchPanelConfig probe = simlink::default_touch_panel(800, 480);
            std::string why;
            if (!apply_touch_panel_spec(value, &probe, &why)) {
                *error = "--touch-panel: " + why;
                return CliParse::kError;
            }
            o.touch_panel = value;
        } else if (arg == "--control") {
            if (!take_value()) return CliParse::kError;
            std::string why;
            if (!parse_endpoint_spec(value, &o.control, &why)) {
                *error = "--control: " + why;
                return CliParse::kError;
            }
        } else if (arg == "--dataflash-id") {
            if (!take_value()) return CliParse::kError;
            if (!parse_hex_byte(value, &o.dataflash_id)) {
                *error = "--dataflash-id: '" + value + "' is not a hex byte (00-FF)";
                return CliParse::kError;
            }
        } else if (arg == "--web") {
            if (!take_value()) return CliParse::kError;
            // [ADDR:]PORT, an IPv6 address in brackets.
            std::string_view port = value;
            const size_t colon = value.rfind(':');
            if (colon != std::string::npos) {
                std::string address = value.substr(0, colon);
                if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
                    address = address.substr(1, address.size() - 2);
                }
                if (address.empty()) {
                    *error = "--web: empty address in '" + value + "'";
                    return CliParse::kError;
                }
                o.web_address = address;
                port = std::string_view(value).substr(colon + 1);
            }
            if (!parse_port(port, &o.web_port)) {
                *error = "--web: bad port in '" + value + "' (0-65535; 0 picks a free one)";
                return CliParse::kError;
            }
            o.web = true;
        } else if (arg == "--web-token") {
            if (!no_value()) return CliParse::kError;
            o.web_token = true;
        } else if (arg == "--no-sd") {
            if (!no_value()) return CliParse::kError;
            o.no_sd = true;
        } else if (arg == "--run-for") {
            if (!take_value()) return CliParse::kError;
            if (!parse_ms(value, &o.run_for_ms)) {
                *error = "--run-for: '" + value + "' is not a number of milliseconds";
                return CliParse::kError;
            }
        } else if (arg == "--power-on-now") {
            if (!no_value()) return CliParse::kError;
            o.power_on_now = true;
        } else if (arg == "--raw-stdin") {
            if (!no_value()) return CliParse::kError;
            raw_stdin = true;
        } else {
            *error = "unknown argument '" + std::string(argv[i]) + "'";
            return CliParse::kError;
        }
    }

    for (auto& com : o.com) com.raw_input = raw_stdin;
    if (o.com[0].kind == EndpointSpec::Kind::kStdio &&
        o.com[1].kind == EndpointSpec::Kind::kStdio) {
        *error = "only one port can be on stdio";
        return CliParse::kError;
    }
    if (o.control.kind == EndpointSpec::Kind::kStdio) {
        for (int p = 0; p < 2; ++p) {
            if (o.com[p].kind == EndpointSpec::Kind::kStdio) {
                *error = std::string("--control stdio needs the terminal: put com") +
                         char('0' + p) + " elsewhere (--com" + char('0' + p) +
                         " pty, tcp:PORT or none)";
                return CliParse::kError;
            }
        }
        // The console reads whole lines as they come.
        o.control.raw_input = true;
    }
    if (o.control.kind == EndpointSpec::Kind::kWeb) {
        *error = "--control: the web view has its own touch and power controls";
        return CliParse::kError;
    }
    for (int p = 0; p < 2; ++p) {
        if (o.com[p].kind == EndpointSpec::Kind::kWeb && !o.web) {
            *error =
                std::string("--com") + char('0' + p) + " web needs the web view: add --web PORT";
            return CliParse::kError;
        }
    }
    if (o.com[0].kind == EndpointSpec::Kind::kWeb && o.com[1].kind == EndpointSpec::Kind::kWeb) {
        *error = "only one port can be the web view's console";
        return CliParse::kError;
    }
    if (o.web_token && !o.web) {
        *error = "--web-token needs --web PORT";
        return CliParse::kError;
    }
    if (!o.script.empty() && o.control.kind != EndpointSpec::Kind::kNone) {
        *error = "--script plays the world itself; drop --control";
        return CliParse::kError;
    }
    if (int(!o.sd_dir.empty()) + int(!o.sd_image.empty()) + int(o.no_sd) > 1) {
        *error = "choose one card: --sd DIR, --sd-image FILE or --no-sd";
        return CliParse::kError;
    }
    if (!o.script.empty()) {
        // The script is the host on both ports; a second host on the same wire makes no sense.
        for (int p = 0; p < 2; ++p) {
            if (o.com_given[p] && o.com[p].kind != EndpointSpec::Kind::kNone) {
                *error =
                    std::string("--script plays com0 and com1 itself; drop --com") + char('0' + p);
                return CliParse::kError;
            }
        }
        o.com[0].kind = EndpointSpec::Kind::kNone;
        o.com[1].kind = EndpointSpec::Kind::kNone;
    }
    *out = o;
    return CliParse::kRun;
}

std::string default_state_dir(Panel panel) {
    const char* home = std::getenv("HOME");
    std::string dir = home && *home ? home : "";
    if (dir.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) dir = pw->pw_dir;
    }
    if (dir.empty()) return "";
    return dir + "/.voxa-sim/" + panel_name(panel);
}

std::string usage_text() {
    return R"(usage: voxa-sim [options]

Runs the VOXA5-PLUS display module firmware on a simulated board.

  --panel wvga|svga|vga  panel build to run (default wvga)
  --com0 SPEC            host port endpoint (default stdio)
  --com1 SPEC            auxiliary port endpoint (default none)
      SPEC: stdio            this terminal (a typed line is sent with CR)
            pty              a pseudo-terminal; its /dev/pts path is printed
            pty:LINK         the same, plus a symlink LINK to it (removed at exit)
            tcp:PORT         raw TCP on 127.0.0.1:PORT, one client at a time
            tcp:ADDR:PORT    the same on another local address (PORT 0: any free port)
            web              the console of the web view (needs --web)
            none             nothing connected
  --realtime             keep virtual time in step with the wall clock (default)
  --fast                 run virtual time as fast as the CPU allows
  --state DIR            folder for the module's persistent memories
                         (default ~/.voxa-sim/<panel>/)
  --sd DIR               show a host folder as the SD card (files written appear in it)
  --sd-image FILE        use a FAT image file as the SD card
  --no-sd                run with the card slot empty (the default)
  --flash2 FILE          write FILE into the boot flash's Flash2 window before power-on
                         (the rest of the window reads erased; kept in the state folder)
  --dataflash-id HEX     capacity byte the SPI data flash reports in its ID (00-FF,
                         default 17: 128 KB sectors; 18: 256 KB; others: 64 KB)
  --touch-panel PANEL    set up the touch panel: words KEY=VALUE, e.g.
                         "noise=3 seed=7 pressure=400 temp=25.0 swap=1
                         corners=850,150,150,150,150,850,850,850" (see README)
  --control SPEC         a console for touches, card swaps and power, line by line
                         (stdio, pty, pty:LINK, tcp:PORT); answers ok or error: TEXT
  --web [ADDR:]PORT      serve a page with the live screen, mouse touches, a console
                         and the beeper on http://ADDR:PORT/ (ADDR default 127.0.0.1;
                         PORT 0: any free port; the URL is printed)
  --web-token            put a random token in the page's URL; requests without it are
                         refused (for machines shared with other users)
  --script FILE          play the host from a script (then --com0/--com1 are not used)
  --run-for MS           end the run after MS virtual milliseconds (after the script)
  --screenshot FILE.png  write the visible screen at exit
  --wav FILE.wav         write the beeper's sound of the whole run at exit
  --log FILE             record every byte on both ports with virtual times (- = stdout)
  --power-on-now         with a pty or tcp host port: switch on at once instead of
                         when a host first opens the port
  --raw-stdin            piped standard input goes to the module at once, not line by
                         line after each prompt
  --help                 this text

Exit codes: 0 done, 1 script failure or firmware crash/hang, 2 bad arguments, a
file or folder that cannot be used, or a state folder in use by another voxa-sim.
)";
}

}  // namespace sim

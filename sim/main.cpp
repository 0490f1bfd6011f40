// voxa-sim: the VOXA5-PLUS module on a simulated board (provisional front end: stdio only).
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/module.h"
#include "sim/screen.h"

int main(int argc, char** argv) {
    sim::Module::Options opts;
    bool fast = false;
    double run_for = -1;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--panel" && i + 1 < argc) {
            if (!sim::parse_panel(argv[++i], &opts.panel)) return 2;
        } else if (a == "--fast") {
            fast = true;
        } else if (a == "--realtime") {
            fast = false;
        } else if (a == "--run-for" && i + 1 < argc) {
            run_for = std::atof(argv[++i]);
        } else if (a == "--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (a == "--state" && i + 1 < argc) {
            opts.state_dir = argv[++i];
        } else if (a == "--sd" && i + 1 < argc) {
            opts.sd_dir = argv[++i];
        } else if (a == "--sd-image" && i + 1 < argc) {
            opts.sd_image = argv[++i];
        } else if (a == "--no-sd") {
            opts.no_sd = true;
        }
    }
    sim::Module m(opts);
    m.on_output = [](int port, const sim::TimedByte& b) {
        if (port != 0) return;
        const char c = b.byte == '\r' ? '\n' : char(b.byte);
        (void)!write(1, &c, 1);
    };
    m.power_on();
    const auto start = std::chrono::steady_clock::now();
    const uint64_t t0 = m.now_ns();
    while (m.status() == sim::Module::Status::kRunning) {
        if (run_for >= 0 && m.now_ns() >= t0 + uint64_t(run_for * 1e6)) break;
        if (!fast) {
            pollfd pfd{0, POLLIN, 0};
            if (poll(&pfd, 1, 2) > 0) {
                char buf[256];
                const ssize_t n = read(0, buf, sizeof buf);
                if (n <= 0) break;
                for (ssize_t k = 0; k < n; ++k) {
                    if (buf[k] == '\n') buf[k] = '\r';
                }
                m.send(0, std::string(buf, size_t(n)));
            }
            const auto wall = std::chrono::steady_clock::now() - start;
            const uint64_t target = t0 + uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count());
            if (target > m.now_ns()) m.run_until(target);
        } else {
            m.run_for_ms(10);
        }
    }
    if (!screenshot.empty()) {
        std::string err;
        if (!sim::write_png(screenshot, m.width(), m.height(), sim::render_screen(m, {}), &err)) {
            std::fprintf(stderr, "voxa-sim: %s\n", err.c_str());
            return 1;
        }
    }
    return m.status() == sim::Module::Status::kStopped ? 1 : 0;
}

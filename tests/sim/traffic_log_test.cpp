#include "sim/traffic_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace sim {
namespace {

constexpr uint64_t kMs = 1'000'000;

TEST(TrafficLog, LinesShowTimePortDirectionAndEscapedBytes) {
    std::ostringstream out;
    {
        TrafficLog log(out);
        log.note(0, "power on");
        const std::string prompt = ">\r";
        for (size_t i = 0; i < prompt.size(); ++i) {
            log.output(0, 1'203'417'000 + i * 86'805, uint8_t(prompt[i]));
        }
        log.input(1, 12'345'678'901'234, std::string("a\\\x01 ", 4));
    }
    EXPECT_EQ(out.str(),
              "   0.000000 ---- power on\n"
              "   1.203417 com0 out  >\\r\n"
              "12345.678901 com1 in   a\\\\\\x01\\x20\n");
}

TEST(TrafficLog, BurstsEndAtLineEndsSilencePortChangeAndLength) {
    std::ostringstream out;
    {
        TrafficLog log(out);
        uint64_t t = 0;
        auto out0 = [&](const std::string& s, int port = 0) {
            for (const char c : s) log.output(port, t += 100'000, uint8_t(c));
        };
        out0("ab\rcd");  // a CR ends a line
        t += 11 * kMs;   // silence ends a burst without CR
        out0("ef");
        out0("gh", 1);  // the other port interrupts
        out0("ij");
        out0(std::string(70, 'x'));
    }
    EXPECT_EQ(out.str(),
              "   0.000100 com0 out  ab\\r\n"
              "   0.000400 com0 out  cd\n"
              "   0.011600 com0 out  ef\n"
              "   0.011800 com1 out  gh\n"
              "   0.012000 com0 out  ij" +
                  std::string(62, 'x') +
                  "\n"
                  "   0.018400 com0 out  xxxxxxxx\n");
}

// Traffic on both ports as the module hands it over: each grant reports com0's bytes, then
// com1's, so records arrive out of time order; a byte finished exactly at the end of a grant
// comes with that grant, while host input at that instant goes out with the next one.
struct Rec {
    int port;
    bool out;
    uint64_t t;
    char byte;
};
const std::vector<Rec> kTraffic = [] {
    std::vector<Rec> v;
    const std::string a = "VOXA5-PLUS V1.4.0 WVGA \r>\r", b = "hello";
    for (size_t i = 0; i < a.size(); ++i) v.push_back({0, true, 1000 * kMs + i * 86'805, a[i]});
    for (size_t i = 0; i < b.size(); ++i) {
        v.push_back({1, true, 1000 * kMs + 300'000 + i * 86'805, b[i]});
    }
    v.push_back({1, true, 1003 * kMs, 'z'});
    v.push_back({0, false, 1003 * kMs, 'x'});
    v.push_back({1, false, 1003 * kMs, 'y'});
    return v;
}();

std::string replay(uint64_t slice_ns) {
    std::ostringstream out;
    TrafficLog log(out);
    for (uint64_t end = slice_ns;; end += slice_ns) {
        const uint64_t start = end - slice_ns;
        for (const auto& r : kTraffic) {
            if (!r.out && r.t >= start && r.t < end) log.input(r.port, r.t, std::string(1, r.byte));
        }
        for (int port = 0; port < 2; ++port) {
            for (const auto& r : kTraffic) {
                if (r.out && r.port == port && r.t > start && r.t <= end) {
                    log.output(r.port, r.t, uint8_t(r.byte));
                }
            }
        }
        log.settle(end);
        if (end > 1010 * kMs) break;
    }
    log.finish();
    return out.str();
}

TEST(TrafficLog, OutputDoesNotDependOnHowTheRunWasSliced) {
    const std::string whole = replay(2000 * kMs);
    // The two ports talk at once; their bytes interleave in time order.
    EXPECT_EQ(whole.rfind("   1.000000 com0 out  VOXA\n   1.000300 com1 out  h\n", 0), 0u) << whole;
    EXPECT_NE(
        whole.find("   1.003000 com0 in   x\n   1.003000 com1 in   y\n   1.003000 com1 out  z\n"),
        std::string::npos)
        << whole;
    for (const uint64_t slice : {uint64_t{100000}, 1 * kMs, 2 * kMs, 7 * kMs}) {
        EXPECT_EQ(replay(slice), whole) << "slice " << slice;
    }
}

}  // namespace
}  // namespace sim

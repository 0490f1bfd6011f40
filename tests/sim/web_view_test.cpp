// The web view's server without a browser: what it sends of the screen, how it takes the page's
// input into the module, and whom it refuses. (The page itself is tested in a real browser by
// tests/browser/web_view_test.py.)
#include "sim/web_view.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/module.h"
#include "sim/session.h"

namespace sim {
namespace {

std::vector<uint8_t> unbase64(const std::string& text) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    for (const char c : text) {
        int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '+'             ? 62
                : c == '/'             ? 63
                                       : -1;
        if (v < 0) continue;
        acc = acc << 6 | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(uint8_t(acc >> bits));
        }
    }
    return out;
}

// The value of "key":NUMBER or "key":"TEXT" at or after from in a JSON text.
std::string field(const std::string& json, const std::string& key, size_t from = 0) {
    const size_t at = json.find("\"" + key + "\":", from);
    if (at == std::string::npos) return "";
    size_t start = at + key.size() + 3;
    if (json[start] == '"') {
        return json.substr(start + 1, json.find('"', start + 1) - start - 1);
    }
    return json.substr(start, json.find_first_of(",}", start) - start);
}

// The pixels of every rectangle of a frame event, painted onto a copy of base.
std::vector<uint16_t> apply_frame(std::vector<uint16_t> base, int width, const std::string& json) {
    for (size_t at = json.find("{\"x\":"); at != std::string::npos;
         at = json.find("{\"x\":", at + 1)) {
        const int x = std::stoi(field(json, "x", at)), y = std::stoi(field(json, "y", at));
        const int w = std::stoi(field(json, "w", at)), h = std::stoi(field(json, "h", at));
        const std::vector<uint8_t> packed = unbase64(field(json, "z", at));
        std::vector<uint8_t> raw(size_t(w) * h * 2);
        uLongf size = uLongf(raw.size());
        EXPECT_EQ(uncompress(raw.data(), &size, packed.data(), uLong(packed.size())), Z_OK);
        EXPECT_EQ(size, raw.size());
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const size_t i = (size_t(r) * w + c) * 2;
                base[size_t(y + r) * width + x + c] = uint16_t(raw[i] | raw[i + 1] << 8);
            }
        }
    }
    return base;
}

TEST(WebViewFrames, ChangedRowsBecomeBandsAsWideAsTheirChanges) {
    const int w = 64, h = 48;
    std::vector<uint16_t> a(w * h, 0x1234), b = a;
    EXPECT_TRUE(changed_rects(a.data(), b.data(), w, h).empty());

    b[5 * w + 7] = 1;  // one pixel
    EXPECT_EQ(changed_rects(a.data(), b.data(), w, h), (std::vector<WebRect>{{7, 5, 1, 1}}));

    b[9 * w + 2] = 1;  // a few rows further down: one band, widened
    b[9 * w + 63] = 1;
    EXPECT_EQ(changed_rects(a.data(), b.data(), w, h), (std::vector<WebRect>{{2, 5, 62, 5}}));

    b[47 * w + 0] = 1;  // far below: a band of its own, down to the last row
    EXPECT_EQ(changed_rects(a.data(), b.data(), w, h),
              (std::vector<WebRect>{{2, 5, 62, 5}, {0, 47, 1, 1}}));
}

TEST(WebViewFrames, RectanglesCarryTheirPixelsExactly) {
    const int w = 300, h = 200;
    std::vector<uint16_t> fb(w * h);
    for (size_t i = 0; i < fb.size(); ++i) fb[i] = uint16_t(i * 2654435761u >> 7);  // no runs
    const std::vector<WebRect> rects = {{0, 0, 300, 1}, {17, 40, 100, 100}, {299, 199, 1, 1}};
    const std::vector<uint16_t> got =
        apply_frame(std::vector<uint16_t>(w * h, 0), w, frame_json(fb.data(), w, rects));
    for (const WebRect& r : rects) {
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x) {
                ASSERT_EQ(got[size_t(y) * w + x], fb[size_t(y) * w + x]) << x << "," << y;
            }
        }
    }
}

// A module on the real firmware with its web view, and a page's stream read on a thread of
// its own while the test advances virtual time.
class WebViewServer : public ::testing::Test {
  protected:
    void SetUp() override {
        module_.power_on();
        session_.advance_to(session_.now() + 1'500'000'000);  // past the start-up
    }

    void start(WebViewOptions options) {
        web_ = std::make_unique<WebView>(session_, options);
        std::string error;
        ASSERT_TRUE(web_->start(&error)) << error;
        if (options.console >= 0) session_.set_endpoint(options.console, web_->console_endpoint());
        client_ = std::make_unique<httplib::Client>("127.0.0.1", web_->port());
    }

    void TearDown() override {
        // Stopping the server ends the page's stream.
        stop_stream_ = true;
        web_.reset();
        if (reader_.joinable()) reader_.join();
    }

    void open_stream(const std::string& path = "/events") {
        reader_ = std::thread([this, path] {
            httplib::Client c("127.0.0.1", web_->port());
            c.Get(path.c_str(), [this](const char* data, size_t n) {
                std::lock_guard lock(mu_);
                stream_.append(data, n);
                return !stop_stream_.load();
            });
        });
    }

    // Runs the module until the stream holds text (or 30 s of virtual time pass: a loaded
    // machine may hold the server's thread up for a while).
    bool run_until_streamed(const std::string& text) {
        for (int i = 0; i < 3000; ++i) {
            {
                std::lock_guard lock(mu_);
                if (stream_.find(text) != std::string::npos) return true;
            }
            session_.advance_to(session_.now() + 10'000'000);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    // What a new page's stream sends at once (its greeting, in one piece).
    std::string greeting(const std::string& path,
                         const httplib::Headers& headers = httplib::Headers()) {
        httplib::Client c("127.0.0.1", web_->port());
        std::string got;
        c.Get(path.c_str(), headers, [&](const char* data, size_t n) {
            got.append(data, n);
            return false;
        });
        return got;
    }

    std::string stream() {
        std::lock_guard lock(mu_);
        return stream_;
    }

    Module module_{Module::Options{}};
    Session session_{module_, false};
    std::unique_ptr<WebView> web_;
    std::unique_ptr<httplib::Client> client_;
    std::thread reader_;
    std::mutex mu_;
    std::string stream_;
    std::atomic<bool> stop_stream_{false};
};

TEST_F(WebViewServer, ConsoleLinesReachTheModuleAndTheFramesRebuildItsScreen) {
    WebViewOptions o;
    o.console = 0;
    start(o);
    open_stream();
    ASSERT_TRUE(run_until_streamed("event: frame"));
    auto res = client_->Post("/api/console", "vers\r\nr 10 20 120 90 1 F00", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 204);
    ASSERT_TRUE(run_until_streamed("VOXA5-PLUS V")) << stream();
    ASSERT_TRUE(run_until_streamed(">\\u000d\"}")) << stream();
    // Every frame applied in order gives the module's frame buffer (once the last one is out).
    const int w = module_.width(), h = module_.height();
    auto page_shows_the_module = [&] {
        for (int i = 0; i < 200; ++i) {
            std::vector<uint16_t> page(size_t(w) * h, 0);
            const std::string s = stream();
            for (size_t at = s.find("event: frame\ndata: "); at != std::string::npos;
                 at = s.find("event: frame\ndata: ", at + 1)) {
                const size_t start = at + 19;
                page = apply_frame(page, w, s.substr(start, s.find('\n', start) - start));
            }
            if (std::equal(page.begin(), page.end(), module_.framebuffer())) return true;
            // The simulation publishes between its slices, at most 60 times a second of wall
            // time.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            session_.advance_to(session_.now() + 1'000'000);
        }
        return false;
    };
    session_.advance_to(session_.now() + 500'000'000);
    EXPECT_TRUE(page_shows_the_module());

    // Once the screen is still, a change is sent as rectangles of its own: the box, in one
    // frame or (published while it was being drawn) in bands of it.
    const size_t mark = stream().size();
    ASSERT_EQ(client_->Post("/api/console", "r 300 200 349 249 1 0F0", "text/plain")->status, 204);
    bool box_sent = false;
    for (int i = 0; i < 3000 && !box_sent; ++i) {
        const std::string after = stream().substr(mark);
        int top = h, bottom = 0;
        for (size_t at = after.find("{\"x\":"); at != std::string::npos;
             at = after.find("{\"x\":", at + 1)) {
            const int x = std::stoi(field(after, "x", at)), y = std::stoi(field(after, "y", at));
            const int rw = std::stoi(field(after, "w", at)), rh = std::stoi(field(after, "h", at));
            ASSERT_TRUE(x >= 300 && y >= 200 && x + rw <= 350 && y + rh <= 250)
                << x << "," << y << " " << rw << "x" << rh;
            top = std::min(top, y);
            bottom = std::max(bottom, y + rh);
        }
        box_sent = top == 200 && bottom == 250;
        if (!box_sent) {
            session_.advance_to(session_.now() + 10'000'000);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    EXPECT_TRUE(box_sent);
    EXPECT_TRUE(page_shows_the_module());
    EXPECT_NE(module_.pixel(10, 20), module_.pixel(200, 100));  // the first box is there

    // A reloaded page gets the recent conversation; a reconnecting one only what it missed.
    const std::string s = stream();
    const size_t id_at = s.rfind("id: ");
    ASSERT_NE(id_at, std::string::npos);
    const std::string last_id = s.substr(id_at + 4, s.find('\n', id_at) - id_at - 4);
    EXPECT_NE(greeting("/events").find("VOXA5-PLUS V"), std::string::npos);
    const std::string resumed = greeting("/events", {{"Last-Event-ID", last_id}});
    EXPECT_NE(resumed.find("event: hello"), std::string::npos);
    EXPECT_EQ(resumed.find("event: console"), std::string::npos) << resumed.substr(0, 500);
    EXPECT_EQ(greeting("/events?since=" + last_id).find("event: console"), std::string::npos);
    // An id of another run (voxa-sim started again on the port) counts as a new page.
    EXPECT_NE(greeting("/events?since=0badc0de.1").find("VOXA5-PLUS V"), std::string::npos);
}

TEST_F(WebViewServer, PointerActionsMoveTheFingerOnThePanel) {
    start({});
    // Each input waits in virtual time for as long as it came after the one before.
    auto advance_until = [&](auto done) {
        for (int ms = 0; ms < 2000 && !done(); ++ms)
            session_.advance_to(session_.now() + 1'000'000);
        return done();
    };
    ASSERT_EQ(client_->Post("/api/touch?action=down&x=100&y=50")->status, 204);
    EXPECT_TRUE(advance_until([&] { return module_.touched(); }));
    EXPECT_EQ(client_->Post("/api/touch?action=move&x=799&y=479")->status, 204);
    EXPECT_TRUE(advance_until([&] { return module_.touch_input().x == 799; }));
    EXPECT_EQ(module_.touch_input().y, 479);
    for (const char* bad : {"action=move&x=800&y=1", "action=down&x=-1&y=1", "action=down&x=1",
                            "action=down&x=1y&y=2", "action=poke&x=1&y=1"}) {
        EXPECT_EQ(client_->Post((std::string("/api/touch?") + bad).c_str())->status, 400) << bad;
    }
    EXPECT_EQ(client_->Post("/api/touch?action=up")->status, 204);
    EXPECT_TRUE(advance_until([&] { return !module_.touched(); }));

    // A click that reaches a busy simulation in one piece keeps its length in virtual time.
    ASSERT_EQ(client_->Post("/api/touch?action=down&x=10&y=10")->status, 204);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_EQ(client_->Post("/api/touch?action=up")->status, 204);
    uint64_t down_ns = 0;
    for (int ms = 0; ms < 500; ++ms) {
        session_.advance_to(session_.now() + 1'000'000);
        if (module_.touched()) down_ns += 1'000'000;
    }
    EXPECT_GE(down_ns, 55'000'000u);
    EXPECT_LE(down_ns, 120'000'000u);
    EXPECT_FALSE(module_.touched());

    // Without --com0 web the console only watches, and without a card there is none to swap.
    EXPECT_EQ(client_->Post("/api/console", "vers", "text/plain")->status, 409);
    EXPECT_EQ(client_->Post("/api/card?action=remove")->status, 409);
}

TEST_F(WebViewServer, OtherSitesAndHostNamesAndMissingTokensAreRefused) {
    WebViewOptions o;
    o.token = true;
    start(o);
    const std::string url = web_->url();
    const std::string token = url.substr(url.find("?token=") + 7);
    ASSERT_EQ(token.size(), 32u);
    const std::string own = "http://127.0.0.1:" + std::to_string(web_->port());

    EXPECT_EQ(client_->Post("/api/reset")->status, 403);
    EXPECT_EQ(client_->Post(("/api/reset?token=" + token + "x").c_str())->status, 403);
    EXPECT_EQ(client_->Get("/")->status, 403);
    EXPECT_EQ(client_->Get("/voxa.js")->status, 200);  // the page's script holds no secret
    const std::string reset = "/api/reset?token=" + token;
    EXPECT_EQ(client_->Post(reset.c_str(), {{"Origin", "http://evil.example"}}, "", "")->status,
              403);
    EXPECT_EQ(client_->Post(reset.c_str(), {{"Origin", own}}, "", "")->status, 204);
    // A name of another site pointed at this machine.
    httplib::Client rebound("127.0.0.1", web_->port());
    rebound.set_default_headers({{"Host", "evil.example:" + std::to_string(web_->port())}});
    EXPECT_EQ(rebound.Post(reset.c_str())->status, 403);
    EXPECT_EQ(client_->Get(("/?token=" + token).c_str())->status, 200);

    const int resets = module_.resets();
    session_.advance_to(session_.now() + 10'000'000);
    EXPECT_EQ(module_.resets(), resets + 1);  // only the one from the page's own origin

    // A second voxa-sim on the same port is told so, rather than sharing the port.
    WebViewOptions same;
    same.port = web_->port();
    Module other_module{Module::Options{}};
    Session other_session{other_module, false};
    WebView other(other_session, same);
    std::string error;
    EXPECT_FALSE(other.start(&error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
}

}  // namespace
}  // namespace sim

// The web view (--web): a page in a browser tab with the module's screen as it changes, the
// mouse or a finger as the finger on the touch panel, a console for one host port (or a monitor
// of both), the beeper through the browser's audio, and the buttons of the world around the
// module (reset, power cycle, card, screenshot).
//
// The HTTP server (cpp-httplib) runs in its own threads. The simulation thread publishes what
// the page needs between slices of virtual time (at most kFrameHz frames a second) and takes
// the page's input there; nothing it does waits for a browser. Each page's stream compares the
// latest published frame with what that page last got and sends only the changed rectangles, so
// a slow page skips frames instead of queueing them.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/endpoint.h"
#include "sim/session.h"

namespace sim {

class ScriptRunner;

struct WebViewOptions {
    std::string address = "127.0.0.1";
    int port = 0;        // 0: any free port
    bool token = false;  // a random token every request must carry
    int console = -1;    // the port whose host the page's console is; -1: a monitor of both
    // The card given at start, which the page can insert and remove.
    std::string sd_image;
    std::string sd_dir;
};

// A rectangle of the frame buffer.
struct WebRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const WebRect&) const = default;
};

// The rectangles in which two frames of width x height pixels differ: bands of changed rows,
// each as wide as its changes, bands close together merged. Empty when the frames are equal.
std::vector<WebRect> changed_rects(const uint16_t* before, const uint16_t* after, int width,
                                   int height);

// A frame event's JSON: each rectangle's pixels of fb (RGB565 little endian, row by row),
// zlib-compressed and in base64.
std::string frame_json(const uint16_t* fb, int width, const std::vector<WebRect>& rects);

class WebView {
  public:
    static constexpr int kFrameHz = 60;

    WebView(Session& session, WebViewOptions options);
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // Binds and starts serving; prints the page's URL on stderr. false with *error when the
    // address cannot be used.
    bool start(std::string* error);
    // The URL the page is at (with the token when there is one).
    std::string url() const;
    int port() const;

    // The endpoint of the console's port (options.console): lines typed on the page go to the
    // module, what the module sends goes to the page.
    std::unique_ptr<Endpoint> console_endpoint();

  private:
    struct Hub;
    class Server;
    class ConsoleEndpoint;

    // Between slices of virtual time, on the simulation thread.
    void between_slices();
    void apply_input();
    void publish_frame();
    void publish_sound();
    void publish_status(bool force);

    Session& session_;
    WebViewOptions options_;
    std::shared_ptr<Hub> hub_;
    std::unique_ptr<Server> server_;
    std::string token_;
    // The page's clicks are carried out as the control console's lines are.
    std::unique_ptr<ScriptRunner> runner_;
    std::chrono::steady_clock::time_point last_frame_{};
    std::chrono::steady_clock::time_point last_status_{};
    std::deque<std::pair<std::chrono::steady_clock::time_point, uint64_t>> rate_samples_;
    size_t sound_sent_ = 0;
};

}  // namespace sim

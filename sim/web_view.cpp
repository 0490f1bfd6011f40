#include "sim/web_view.h"

#include <httplib.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "sim/screen.h"
#include "sim/script_runner.h"
#include "sim/web_assets.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFrameGap = std::chrono::microseconds(1'000'000 / WebView::kFrameHz);
constexpr auto kStatusGap = std::chrono::milliseconds(250);
// A stream with nothing to say sends a comment this often, so that a page that went away is
// noticed and its thread freed.
constexpr auto kKeepAlive = std::chrono::seconds(10);
// Events kept for pages that are behind; older ones are lost to them.
constexpr size_t kMaxEvents = 20000;
// Console events from before a page connected that it still gets (a reloaded page keeps its
// recent conversation).
constexpr uint64_t kConsoleReplay = 500;
// Bytes typed on the page the serial line has not carried yet; more is refused, not queued
// without end.
constexpr size_t kConsoleBacklog = 64 * 1024;
// Bands of changed rows closer than this are sent as one rectangle.
constexpr int kMergeGapRows = 8;

std::string json_number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// Bytes as a JSON string of the code points of the same values (Latin-1).
std::string json_string(std::string_view bytes) {
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = uint8_t(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string base64(const uint8_t* data, size_t n) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
        for (int s = 18; s >= 0; s -= 6) out += kDigits[(v >> s) & 63];
    }
    if (i < n) {
        const uint32_t v = uint32_t(data[i]) << 16 | (i + 1 < n ? uint32_t(data[i + 1]) << 8 : 0);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < n ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string sse(std::string_view name, std::string_view data, std::string_view id = {}) {
    std::string out;
    if (!id.empty()) {
        out = "id: ";
        out.append(id);
        out += '\n';
    }
    out += "event: ";
    out.append(name);
    out += "\ndata: ";
    out.append(data);
    out += "\n\n";
    return out;
}

std::string look_json(const ScreenLook& look) {
    return "{\"level\":" + json_number(look.level) +
           ",\"flipX\":" + (look.flip_x ? "true" : "false") +
           ",\"flipY\":" + (look.flip_y ? "true" : "false") + "}";
}

// A decimal integer and nothing else.
bool parse_int(const std::string& text, int* out) {
    if (text.empty() || text.size() > 6) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') return false;
    *out = int(v);
    return true;
}

// What the page typed (UTF-8) as the bytes of a serial line: Latin-1 characters as themselves,
// others as '?'; every line ends with CR.
std::string console_bytes(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = uint8_t(utf8[i]);
        uint32_t cp = c;
        size_t len = 1;
        if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
            cp = (c & 0x1Fu) << 6 | (uint8_t(utf8[i + 1]) & 0x3Fu);
            len = 2;
        } else if (c >= 0xE0) {
            cp = 0xFFFF;
            len = c >= 0xF0 ? 4 : 3;
        } else if (c >= 0x80) {
            cp = 0xFFFF;
        }
        i += len;
        if (cp == '\n') cp = '\r';
        if (cp == '\r' && !out.empty() && out.back() == '\r' && i > 1 && utf8[i - 2] == '\r') {
            continue;  // CR LF from a paste ends one line
        }
        out += cp <= 0xFF ? char(cp) : '?';
    }
    if (out.empty() || out.back() != '\r') out += '\r';
    return out;
}

std::string random_token() {
    uint8_t bytes[16] = {};
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0) break;
        got += size_t(n);
    }
    std::string hex;
    for (const uint8_t b : bytes) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

}  // namespace

std::vector<WebRect> changed_rects(const uint16_t* before, const uint16_t* after, int width,
                                   int height) {
    std::vector<WebRect> rects;
    int band_top = -1, band_left = 0, band_right = 0, last_changed = -1;
    auto close_band = [&]() {
        if (band_top < 0) return;
        rects.push_back(
            {band_left, band_top, band_right - band_left + 1, last_changed - band_top + 1});
        band_top = -1;
    };
    for (int y = 0; y < height; ++y) {
        const uint16_t* a = before + size_t(y) * width;
        const uint16_t* b = after + size_t(y) * width;
        if (std::memcmp(a, b, size_t(width) * 2) == 0) continue;
        int left = 0;
        while (a[left] == b[left]) ++left;
        int right = width - 1;
        while (a[right] == b[right]) --right;
        if (band_top >= 0 && y - last_changed > kMergeGapRows) close_band();
        if (band_top < 0) {
            band_top = y;
            band_left = left;
            band_right = right;
        } else {
            band_left = std::min(band_left, left);
            band_right = std::max(band_right, right);
        }
        last_changed = y;
    }
    close_band();
    return rects;
}

std::string frame_json(const uint16_t* fb, int width, const std::vector<WebRect>& rects) {
    std::string out = "{\"rects\":[";
    std::vector<uint8_t> raw;
    std::vector<uint8_t> packed;
    for (size_t i = 0; i < rects.size(); ++i) {
        const WebRect& r = rects[i];
        raw.resize(size_t(r.w) * r.h * 2);
        uint8_t* p = raw.data();
        for (int y = r.y; y < r.y + r.h; ++y) {
            const uint16_t* row = fb + size_t(y) * width + r.x;
            for (int x = 0; x < r.w; ++x) {
                *p++ = uint8_t(row[x]);
                *p++ = uint8_t(row[x] >> 8);
            }
        }
        uLongf size = compressBound(uLong(raw.size()));
        packed.resize(size);
        // Large areas are mostly flat fills: the fastest level packs them nearly as well.
        const int level = raw.size() > 128 * 1024 ? 1 : 6;
        if (compress2(packed.data(), &size, raw.data(), uLong(raw.size()), level) != Z_OK) {
            size = 0;
        }
        if (i) out += ',';
        out += "{\"x\":" + std::to_string(r.x) + ",\"y\":" + std::to_string(r.y) +
               ",\"w\":" + std::to_string(r.w) + ",\"h\":" + std::to_string(r.h) + ",\"z\":\"" +
               base64(packed.data(), size) + "\"}";
    }
    return out + "]}";
}

// What the simulation thread and the server's threads share; everything under mu.
struct WebView::Hub {
    struct Input {
        StepKind kind;
        int x = 0;
        int y = 0;
        Clock::time_point at{};  // when it came
    };
    struct Event {
        uint64_t seq;
        bool console;
        std::string text;  // the whole SSE message
    };
    // One page's stream.
    struct Client {
        bool greeted = false;
        uint64_t next_seq = 0;
        uint64_t live_from = 0;  // older events are sent only when they are console text
        uint64_t frame_serial = UINT64_MAX;
        uint64_t look_serial = UINT64_MAX;
        std::vector<uint16_t> last;  // the frame this page has
        std::vector<uint16_t> next;
        Clock::time_point last_frame{};
        Clock::time_point last_write = Clock::now();
    };

    std::mutex mu;
    std::condition_variable cv;
    bool stopping = false;
    int width = 0;
    int height = 0;
    std::string hello;
    std::string status;  // the last status event, for pages that come later

    std::vector<uint16_t> fb;
    uint64_t frame_serial = 0;
    ScreenLook look;
    uint64_t look_serial = 0;

    std::deque<Event> events;
    uint64_t next_seq = 0;
    // Console events carry "RUN.SEQ" as their id, which a page's browser sends back when it
    // reconnects (Last-Event-ID): the page then gets what it missed, not again what it has. The
    // run part tells an id of an earlier voxa-sim on the same port from one of this.
    std::string run = random_token().substr(0, 8);

    std::vector<Input> inputs;
    std::string console_in;
    // The simulation thread's own: inputs taken from the page, waiting for their moment, and
    // when the last one was carried out (wall clock and virtual time).
    std::deque<Input> waiting;
    Clock::time_point last_input_at{};
    uint64_t last_input_ns = 0;
    bool any_input = false;

    uint64_t frames_sent = 0;
    uint64_t frame_bytes = 0;
    uint64_t sse_bytes = 0;
    int clients = 0;

    void push(std::string_view name, std::string_view data, bool console) {
        std::lock_guard lock(mu);
        const std::string id = console ? run + "." + std::to_string(next_seq) : "";
        events.push_back({next_seq++, console, sse(name, data, id)});
        if (events.size() > kMaxEvents) events.pop_front();
        cv.notify_all();
    }

    // last_id: the last console event the page has ("RUN.SEQ"), empty for a new page.
    void connect(Client* c, const std::string& last_id) {
        std::lock_guard lock(mu);
        c->live_from = next_seq;
        c->next_seq = next_seq > kConsoleReplay ? next_seq - kConsoleReplay : 0;
        const size_t dot = last_id.find('.');
        if (dot != std::string::npos && last_id.substr(0, dot) == run) {
            char* end = nullptr;
            const unsigned long long seq = std::strtoull(last_id.c_str() + dot + 1, &end, 10);
            if (*end == '\0' && seq < next_seq) c->next_seq = seq + 1;
        }
        ++clients;
    }

    void disconnect() {
        std::lock_guard lock(mu);
        --clients;
    }

    // One turn of a page's stream: waits for something to send, sends it. false ends the
    // stream (the server stops, or the page has gone).
    bool stream(Client& c, httplib::DataSink& sink) {
        std::string out;
        bool take_frame = false;
        {
            std::unique_lock lock(mu);
            if (!c.greeted) {
                out = sse("hello", hello) + (status.empty() ? "" : sse("status", status));
                c.greeted = true;
            }
            for (;;) {
                if (stopping) return false;
                const auto now = Clock::now();
                const bool frame_waiting = frame_serial != c.frame_serial;
                take_frame = frame_waiting && now >= c.last_frame + kFrameGap;
                if (!out.empty() || next_seq > c.next_seq || look_serial != c.look_serial ||
                    take_frame) {
                    break;
                }
                if (now >= c.last_write + kKeepAlive) {
                    out = ": idle\n\n";
                    break;
                }
                auto until = c.last_write + kKeepAlive;
                if (frame_waiting) until = std::min(until, c.last_frame + kFrameGap);
                cv.wait_until(lock, until);
            }
            if (!events.empty() && c.next_seq < events.front().seq) {
                out += sse("lost",
                           "{\"events\":" + std::to_string(events.front().seq - c.next_seq) + "}");
                c.next_seq = events.front().seq;
            }
            if (!events.empty()) {
                for (auto it = events.begin() + ptrdiff_t(c.next_seq - events.front().seq);
                     it != events.end(); ++it) {
                    if (it->seq >= c.live_from || it->console) out += it->text;
                }
            }
            c.next_seq = next_seq;
            if (look_serial != c.look_serial) {
                out += sse("panel", look_json(look));
                c.look_serial = look_serial;
            }
            if (take_frame) {
                c.next = fb;
                c.frame_serial = frame_serial;
            }
        }
        size_t frame_size = 0;
        if (take_frame) {
            c.last_frame = Clock::now();
            const std::vector<WebRect> rects =
                c.last.empty() ? std::vector<WebRect>{{0, 0, width, height}}
                               : changed_rects(c.last.data(), c.next.data(), width, height);
            if (!rects.empty()) {
                const std::string json = frame_json(c.next.data(), width, rects);
                frame_size = json.size();
                out += sse("frame", json);
            }
            std::swap(c.last, c.next);
        }
        if (out.empty()) return true;
        if (!sink.write(out.data(), out.size())) return false;
        c.last_write = Clock::now();
        std::lock_guard lock(mu);
        sse_bytes += out.size();
        if (frame_size) {
            ++frames_sent;
            frame_bytes += frame_size;
        }
        return true;
    }
};

// The console's port as the module's host sees it: lines typed on the page.
class WebView::ConsoleEndpoint : public Endpoint {
  public:
    ConsoleEndpoint(std::shared_ptr<Hub> hub, int port) : hub_(std::move(hub)), port_(port) {}
    void add_poll_fds(std::vector<pollfd>*, bool) override {}
    std::string service(const Intake& intake) override {
        std::lock_guard lock(hub_->mu);
        const size_t n = std::min(intake.max_bytes, hub_->console_in.size());
        std::string bytes = hub_->console_in.substr(0, n);
        hub_->console_in.erase(0, n);
        return bytes;
    }
    void write(std::string_view bytes, uint64_t) override {
        hub_->push("console",
                   "{\"port\":" + std::to_string(port_) +
                       ",\"dir\":\"out\",\"text\":" + json_string(bytes) + "}",
                   true);
    }
    bool opened() const override { return true; }

  private:
    std::shared_ptr<Hub> hub_;
    int port_;
};

class WebView::Server {
  public:
    Server(std::shared_ptr<Hub> hub, const WebViewOptions& options, std::string token)
        : hub_(std::move(hub)), options_(options), token_(std::move(token)) {}

    ~Server() {
        {
            std::lock_guard lock(hub_->mu);
            hub_->stopping = true;
            hub_->cv.notify_all();
        }
        http_.stop();
        if (thread_.joinable()) thread_.join();
    }

    bool start(std::string* error) {
        http_.new_task_queue = [] { return new httplib::ThreadPool(16); };
        http_.set_keep_alive_timeout(1);
        // The library's default also shares the port with any other process (SO_REUSEPORT):
        // a second voxa-sim on the same port must be told, not take half the connections.
        http_.set_socket_options([](int sock) {
            const int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            const std::string why = refusal(req);
            if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
            res.status = 403;
            res.set_content(why + "\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        });
        routes();
        port_ = options_.port == 0
                    ? http_.bind_to_any_port(options_.address)
                    : (http_.bind_to_port(options_.address, options_.port) ? options_.port : -1);
        if (port_ <= 0) {
            *error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) +
                     ": " + std::strerror(errno);
            return false;
        }
        thread_ = std::thread([this] { http_.listen_after_bind(); });
        return true;
    }

    int port() const { return port_; }

  private:
    // Why a request is refused, empty when it may go on. Another web site open in the same
    // browser must not drive the module: its requests carry its own Origin, and a name of its
    // own that it made point at this machine shows in Host.
    std::string refusal(const httplib::Request& req) const {
        const std::string host = req.get_header_value("Host");
        const bool any_host = options_.address == "0.0.0.0" || options_.address == "::";
        if (!any_host && !host_allowed(host)) return "unknown host name refused";
        if (req.has_header("Origin") && req.get_header_value("Origin") != "http://" + host) {
            return "foreign origin refused";
        }
        const bool asset = req.path == "/voxa.js" || req.path == "/voxa.css";
        if (!token_.empty() && !asset && req.get_param_value("token") != token_) {
            return "this page needs the token voxa-sim printed at start (?token=...)";
        }
        return "";
    }

    bool host_allowed(const std::string& host) const {
        const std::string port = ":" + std::to_string(port_);
        const std::string address = options_.address.find(':') != std::string::npos
                                        ? "[" + options_.address + "]"
                                        : options_.address;
        for (const std::string& name :
             {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"), address}) {
            if (host == name + port) return true;
        }
        return false;
    }

    void queue(Hub::Input input) {
        input.at = Clock::now();
        std::lock_guard lock(hub_->mu);
        hub_->inputs.push_back(input);
    }

    static void fail(httplib::Response& res, int status, const std::string& why) {
        res.status = status;
        res.set_content(why + "\n", "text/plain");
    }

    void routes() {
        for (const web_assets::Asset& a : web_assets::assets()) {
            http_.Get(a.path, [a](const httplib::Request&, httplib::Response& res) {
                const std::string type = std::string(a.type) + "; charset=utf-8";
                res.set_header("Cache-Control", "no-store");
                // A development aid: the page's files from a folder, edited without a rebuild.
                if (const char* dir = std::getenv("VOXA_WEB_DIR"); dir && *dir) {
                    std::ifstream in(std::string(dir) + "/" + a.file, std::ios::binary);
                    if (in) {
                        res.set_content(std::string(std::istreambuf_iterator<char>(in), {}), type);
                        return;
                    }
                }
                res.set_content(reinterpret_cast<const char*>(a.data), a.size, type);
            });
        }
        http_.Get("/events", [this](const httplib::Request& req, httplib::Response& res) {
            auto client = std::make_shared<Hub::Client>();
            // The browser's own reconnection sends the header; a page that opens a new stream
            // itself passes the same as "since".
            hub_->connect(client.get(), req.has_header("Last-Event-ID")
                                            ? req.get_header_value("Last-Event-ID")
                                            : req.get_param_value("since"));
            res.set_header("Cache-Control", "no-store");
            res.set_chunked_content_provider(
                "text/event-stream",
                [hub = hub_, client](size_t, httplib::DataSink& sink) {
                    return hub->stream(*client, sink);
                },
                [hub = hub_](bool) { hub->disconnect(); });
        });
        http_.Post("/api/touch", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string action = req.get_param_value("action");
            if (action == "up") {
                queue({StepKind::kRelease});
                res.status = 204;
                return;
            }
            if (action != "down" && action != "move") {
                return fail(res, 400, "action is down, move or up");
            }
            int x = 0, y = 0;
            if (!parse_int(req.get_param_value("x"), &x) ||
                !parse_int(req.get_param_value("y"), &y) || x < 0 || y < 0 || x >= hub_->width ||
                y >= hub_->height) {
                return fail(res, 400,
                            "x and y must be a pixel of the " + std::to_string(hub_->width) + "x" +
                                std::to_string(hub_->height) + " panel");
            }
            queue({action == "down" ? StepKind::kTouch : StepKind::kMove, x, y});
            res.status = 204;
        });
        http_.Post("/api/console", [this](const httplib::Request& req, httplib::Response& res) {
            if (options_.console < 0) {
                return fail(res, 409,
                            "the console only watches the ports; start voxa-sim with --com0 web "
                            "to type into it");
            }
            const std::string bytes = console_bytes(req.body);
            std::lock_guard lock(hub_->mu);
            if (hub_->console_in.size() + bytes.size() > kConsoleBacklog) {
                return fail(res, 503, "the serial line is still carrying earlier lines");
            }
            hub_->console_in += bytes;
            res.status = 204;
        });
        http_.Post("/api/reset", [this](const httplib::Request&, httplib::Response& res) {
            queue({StepKind::kReset});
            res.status = 204;
        });
        http_.Post("/api/power-cycle", [this](const httplib::Request&, httplib::Response& res) {
            queue({StepKind::kPowerCycle});
            res.status = 204;
        });
        http_.Post("/api/card", [this](const httplib::Request& req, httplib::Response& res) {
            if (options_.sd_image.empty() && options_.sd_dir.empty()) {
                return fail(res, 409, "no card was given at start (--sd DIR or --sd-image FILE)");
            }
            const std::string action = req.get_param_value("action");
            if (action != "insert" && action != "remove") {
                return fail(res, 400, "action is insert or remove");
            }
            queue({action == "remove"          ? StepKind::kSdRemove
                   : options_.sd_image.empty() ? StepKind::kSdInsertFolder
                                               : StepKind::kSdInsertImage});
            res.status = 204;
        });
        http_.Get("/api/screenshot.png", [this](const httplib::Request&, httplib::Response& res) {
            std::vector<uint16_t> fb;
            ScreenLook look;
            {
                std::lock_guard lock(hub_->mu);
                fb = hub_->fb;
                look = hub_->look;
            }
            const std::string png =
                encode_png(hub_->width, hub_->height,
                           render_pixels(fb.data(), hub_->width, hub_->height, look));
            if (png.empty()) return fail(res, 500, "PNG encoding failed");
            res.set_header("Cache-Control", "no-store");
            res.set_header("Content-Disposition", "attachment; filename=\"voxa-screen.png\"");
            res.set_content(png, "image/png");
        });
        http_.Get("/api/stats", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(hub_->mu);
            res.set_header("Cache-Control", "no-store");
            res.set_content("{\"frames\":" + std::to_string(hub_->frames_sent) +
                                ",\"frame_bytes\":" + std::to_string(hub_->frame_bytes) +
                                ",\"sse_bytes\":" + std::to_string(hub_->sse_bytes) +
                                ",\"clients\":" + std::to_string(hub_->clients) + "}",
                            "application/json");
        });
    }

    std::shared_ptr<Hub> hub_;
    WebViewOptions options_;
    std::string token_;
    httplib::Server http_;
    std::thread thread_;
    int port_ = -1;
};

WebView::WebView(Session& session, WebViewOptions options)
    : session_(session),
      options_(std::move(options)),
      hub_(std::make_shared<Hub>()),
      runner_(std::make_unique<ScriptRunner>(session)) {
    const Module& m = session_.module();
    hub_->width = m.width();
    hub_->height = m.height();
    hub_->fb.assign(size_t(m.width()) * m.height(), 0);
    const std::string card = options_.sd_image.empty() ? options_.sd_dir : options_.sd_image;
    std::string build = panel_name(m.panel());
    for (char& ch : build) ch = char(std::toupper(uint8_t(ch)));
    hub_->hello =
        "{\"panel\":" + json_string(panel_name(m.panel())) +
        ",\"width\":" + std::to_string(m.width()) + ",\"height\":" + std::to_string(m.height()) +
        ",\"console\":" + std::to_string(options_.console) + ",\"card\":" + json_string(card) +
        ",\"version\":" + json_string("VOXA5-PLUS " + build + " on voxa-sim") +
        ",\"fast\":" + (session_.realtime() ? "false" : "true") + "}";
    if (options_.token) token_ = random_token();
    if (options_.console < 0) {
        session_.on_traffic = [hub = hub_](int port, bool from_host, std::string_view bytes) {
            hub->push("console",
                      "{\"port\":" + std::to_string(port) + ",\"dir\":\"" +
                          (from_host ? "in" : "out") + "\",\"text\":" + json_string(bytes) + "}",
                      true);
        };
    }
    session_.between_slices = [this] { between_slices(); };
}

WebView::~WebView() {
    session_.between_slices = nullptr;
    session_.on_traffic = nullptr;
    server_.reset();
}

bool WebView::start(std::string* error) {
    server_ = std::make_unique<Server>(hub_, options_, token_);
    if (!server_->start(error)) {
        server_.reset();
        return false;
    }
    std::fprintf(stderr, "voxa-sim: web view at %s\n", url().c_str());
    if (options_.address == "0.0.0.0" || options_.address == "::") {
        std::fprintf(stderr, "voxa-sim: the web view listens on every address of this machine%s\n",
                     token_.empty() ? "; anyone who reaches it can drive the module "
                                      "(--web-token guards it)"
                                    : "");
    }
    between_slices();
    return true;
}

std::string WebView::url() const {
    const bool any = options_.address == "0.0.0.0" || options_.address == "::";
    std::string host = any ? "127.0.0.1" : options_.address;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port()) + "/" +
           (token_.empty() ? "" : "?token=" + token_);
}

int WebView::port() const {
    return server_ ? server_->port() : -1;
}

std::unique_ptr<Endpoint> WebView::console_endpoint() {
    return std::make_unique<ConsoleEndpoint>(hub_, options_.console);
}

void WebView::between_slices() {
    apply_input();
    publish_sound();
    const auto now = Clock::now();
    if (now >= last_frame_ + kFrameGap) {
        last_frame_ = now;
        publish_frame();
    }
    publish_status(false);
}

void WebView::apply_input() {
    Hub& hub = *hub_;
    {
        std::lock_guard lock(hub.mu);
        hub.waiting.insert(hub.waiting.end(), hub.inputs.begin(), hub.inputs.end());
        hub.inputs.clear();
    }
    bool applied = false;
    while (!hub.waiting.empty()) {
        const Hub::Input& input = hub.waiting.front();
        // Inputs keep the spacing the person gave them: a press and a release that reach a
        // busy simulation together are still as far apart in virtual time as they were on the
        // wall clock, so a short click is not a touch of no duration.
        const uint64_t now = session_.now();
        if (hub.any_input) {
            const auto gap =
                std::chrono::duration_cast<std::chrono::nanoseconds>(input.at - hub.last_input_at)
                    .count();
            if (gap > 0 && hub.last_input_ns + uint64_t(gap) > now) break;
        }
        // The same steps the control console carries out.
        ScriptStep step;
        step.kind = input.kind;
        step.x = input.x;
        step.y = input.y;
        if (step.kind == StepKind::kSdInsertImage) step.path = options_.sd_image;
        if (step.kind == StepKind::kSdInsertFolder) step.path = options_.sd_dir;
        runner_->run_step(step);
        hub.any_input = true;
        hub.last_input_at = input.at;
        hub.last_input_ns = now;
        hub.waiting.pop_front();
        applied = true;
    }
    if (applied) publish_status(true);
}

void WebView::publish_frame() {
    const Module& m = session_.module();
    const ScreenLook look = screen_look(m, {});
    // Only this thread writes the published frame, so the comparison and the copy are the
    // only work under the lock (well under a millisecond for the largest panel).
    std::lock_guard lock(hub_->mu);
    const size_t bytes = hub_->fb.size() * 2;
    const bool pixels = std::memcmp(hub_->fb.data(), m.framebuffer(), bytes) != 0;
    if (!pixels && look == hub_->look) return;
    if (pixels) {
        std::memcpy(hub_->fb.data(), m.framebuffer(), bytes);
        ++hub_->frame_serial;
    }
    if (!(look == hub_->look)) {
        hub_->look = look;
        ++hub_->look_serial;
    }
    hub_->cv.notify_all();
}

void WebView::publish_sound() {
    const auto& sound = session_.module().sound();
    for (; sound_sent_ < sound.size(); ++sound_sent_) {
        const SoundState& s = sound[sound_sent_];
        hub_->push("sound",
                   "{\"t\":" + json_number(double(s.t_ns) / 1e9) + ",\"hz\":" +
                       json_number(s.hz()) + ",\"level\":" + json_number(s.level()) + "}",
                   false);
    }
}

void WebView::publish_status(bool force) {
    const auto now = Clock::now();
    if (!force && now < last_status_ + kStatusGap) return;
    last_status_ = now;
    const Module& m = session_.module();
    // The real-time ratio over about the last second.
    rate_samples_.push_back({now, m.now_ns()});
    while (rate_samples_.size() > 2 && now - rate_samples_[1].first >= std::chrono::seconds(1)) {
        rate_samples_.pop_front();
    }
    double ratio = 0.0;
    const auto wall = now - rate_samples_.front().first;
    if (wall > std::chrono::milliseconds(0)) {
        ratio = double(m.now_ns() - rate_samples_.front().second) /
                double(std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count());
    }
    const char* state = m.status() == Module::Status::kRunning ? "running"
                        : m.status() == Module::Status::kOff   ? "off"
                                                               : "stopped";
    std::string json = "{\"t\":" + json_number(double(m.now_ns()) / 1e9) +
                       ",\"ratio\":" + json_number(ratio) + ",\"state\":\"" + state +
                       "\",\"reason\":" + json_string(m.stop_reason()) +
                       ",\"card\":" + (m.sd_card_in() ? "true" : "false") +
                       ",\"touch\":" + (m.touched() ? "true" : "false") + "}";
    {
        std::lock_guard lock(hub_->mu);
        hub_->status = json;
    }
    hub_->push("status", json, false);
}

}  // namespace sim

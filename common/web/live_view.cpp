#include "common/web/live_view.h"

#include <httplib.h>

#include <sys/socket.h>

#include <chrono>
#include <stdexcept>

#include "report/page/report_page.h"

namespace tarrow::web {
namespace {

// Open pages each hold one serving thread; more than this wait for one to close.
constexpr int kServingThreads = 4;
// An idle stream sends a comment this often, so that a page that went away is noticed.
constexpr int kKeepAliveMs = 1000;

// One event whose data is text: each of its lines becomes a "data:" line, which the page's
// EventSource joins again with line feeds.
std::string serverSentEvent(std::string_view text) {
    while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    std::string event = "data: ";
    event.reserve(text.size() + text.size() / 16 + 16);
    for (const char c : text) {
        if (c == '\n') event += "\ndata: ";
        else if (c != '\r')
            event += c;
    }
    event += "\n\n";
    return event;
}

}  // namespace

LiveView::LiveView(std::uint16_t port) : server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
    // The library's default also sets SO_REUSEPORT, which would let a second server share the
    // port and take half of the pages; only the address is reused here.
    server_->set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_->set_read_timeout(5, 0);
    server_->set_write_timeout(5, 0);
    const std::string page = tarrow::report::livePageHtml();
    server_->Get("/", [page](const httplib::Request&, httplib::Response& response) {
        response.set_content(page, "text/html; charset=utf-8");
    });
    server_->Get("/report.json", [this](const httplib::Request&, httplib::Response& response) {
        std::lock_guard lock(mutex_);
        response.set_content(latest_.empty() ? "{}" : latest_, "application/json");
    });
    server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        std::lock_guard lock(mutex_);
        response.set_content(metrics_, "text/plain; version=0.0.4; charset=utf-8");
    });
    server_->Get("/events", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        auto seen = std::make_shared<std::uint64_t>(0);
        response.set_chunked_content_provider(
            "text/event-stream", [this, seen](std::size_t, httplib::DataSink& sink) {
                std::string report;
                if (!nextReport(*seen, report, kKeepAliveMs)) return false;
                const std::string event = report.empty() ? ": waiting\n\n" : serverSentEvent(report);
                return sink.write(event.data(), event.size());
            });
    });
    const int bound = port == 0 ? server_->bind_to_any_port("127.0.0.1")
                                : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("the live view cannot listen on 127.0.0.1:" + std::to_string(port));
    port_ = static_cast<std::uint16_t>(bound);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only reaches a server that has begun to accept; wait for that (bounded).
    for (int i = 0; i < 500 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

LiveView::~LiveView() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

void LiveView::publish(std::string reportJson) {
    {
        std::lock_guard lock(mutex_);
        latest_.swap(reportJson);
        ++version_;
    }
    changed_.notify_all();
}

void LiveView::publishMetrics(std::string metricsText) {
    std::lock_guard lock(mutex_);
    metrics_.swap(metricsText);
}

bool LiveView::nextReport(std::uint64_t& seen, std::string& report, int waitMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return stopping_ || version_ != seen; });
    if (stopping_) return false;
    if (version_ != seen) {
        seen = version_;
        report = latest_;
    }
    return true;
}

}  // namespace tarrow::web

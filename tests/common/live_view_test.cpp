#include "common/web/live_view.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <thread>

namespace tarrow::web {
namespace {

httplib::Client clientOf(const LiveView& view) {
    httplib::Client client("127.0.0.1", view.port());
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(5, 0);
    return client;
}

TEST(LiveView, ServesThePageAndTheLatestReportOnLoopback) {
    LiveView view(0);
    ASSERT_NE(view.port(), 0);
    auto client = clientOf(view);
    const auto page = client.Get("/");
    ASSERT_TRUE(page) << httplib::to_string(page.error());
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<body data-live=\"1\">"), std::string::npos);
    EXPECT_EQ(client.Get("/report.json")->body, "{}");
    view.publish(R"({"logins": {"performed": 3}})");
    EXPECT_EQ(client.Get("/report.json")->body, R"({"logins": {"performed": 3}})");
    EXPECT_EQ(client.Get("/nothing")->status, 404);
}

TEST(LiveView, ServesTheLatestMetricsAsPrometheusText) {
    LiveView view(0);
    auto client = clientOf(view);
    const auto empty = client.Get("/metrics");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body, "");
    EXPECT_EQ(empty->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    view.publishMetrics("tarrow_logins_total{outcome=\"success\"} 4\n");
    view.publishMetrics("tarrow_logins_total{outcome=\"success\"} 5\n");
    EXPECT_EQ(client.Get("/metrics")->body, "tarrow_logins_total{outcome=\"success\"} 5\n");
}

TEST(LiveView, PushesEveryPublishedReportToAnOpenStream) {
    LiveView view(0);
    view.publish(R"({"n": 1})");
    std::string received;
    std::atomic<int> events{0};
    std::thread reader([&] {
        auto client = clientOf(view);
        client.Get("/events", [&](const char* data, std::size_t length) {
            received.append(data, length);
            events = static_cast<int>(std::count(received.begin(), received.end(), '\n') / 2);
            return received.find(R"(data: {"n": 2})") == std::string::npos;
        });
    });
    for (int i = 0; i < 200 && events < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    view.publish(R"({"n": 2})");
    reader.join();
    EXPECT_NE(received.find("data: {\"n\": 1}\n\n"), std::string::npos) << received;
    EXPECT_NE(received.find("data: {\"n\": 2}\n\n"), std::string::npos) << received;
}

TEST(LiveView, AReportOfManyLinesIsOneEvent) {
    LiveView view(0);
    view.publish("{\n  \"n\": 3\n}\n");
    std::string received;
    auto client = clientOf(view);
    client.Get("/events", [&](const char* data, std::size_t length) {
        received.append(data, length);
        return received.find("\n\n") == std::string::npos;
    });
    EXPECT_EQ(received, "data: {\ndata:   \"n\": 3\ndata: }\n\n");
}

TEST(LiveView, StopsWithAStreamStillOpen) {
    std::thread reader;
    {
        LiveView view(0);
        const auto port = view.port();
        reader = std::thread([port] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(5, 0);
            client.Get("/events", [](const char*, std::size_t) { return true; });
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }  // the destructor must end the stream rather than wait for the page to go
    reader.join();
}

TEST(LiveView, APortInUseIsAClearError) {
    LiveView first(0);
    try {
        LiveView second(first.port());
        FAIL() << "a second view listened on the same port";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "the live view cannot listen on 127.0.0.1:" + std::to_string(first.port()));
    }
}

}  // namespace
}  // namespace tarrow::web

// The Prometheus text of a run: the exported buckets are edges of the shared histogram,
// the counts are cumulative with a value at a bound counted above it, a quantile taken from
// the buckets the way Prometheus takes it lies within one bucket of the report's
// percentile, and the label set stays bounded.
#include "common/metrics/prometheus_text.h"
#include "common/metrics/run_metrics.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>

namespace {

using namespace tarrow;

metrics::RunFigures figures(std::uint64_t ok, std::uint64_t failed, std::uint64_t errors,
                            const LoginLatencies* l) {
    metrics::RunFigures f;
    f.successful = ok;
    f.failed = failed;
    f.errors = errors;
    f.latencies = l;
    return f;
}
using namespace tarrow::metrics;

// "name{labels} value" lines of a family's buckets: le (seconds) -> cumulative count.
std::vector<std::pair<double, double>> buckets(const std::string& text, const std::string& series) {
    std::vector<std::pair<double, double>> out;
    std::istringstream in(text);
    std::string line;
    const std::regex le(R"re(le="([^"]+)"\} (\d+))re");
    while (std::getline(in, line)) {
        std::smatch m;
        if (line.rfind(series, 0) != 0 || !std::regex_search(line, m, le)) continue;
        out.emplace_back(m[1] == "+Inf" ? INFINITY : std::stod(m[1]), std::stod(m[2]));
    }
    return out;
}

// histogram_quantile as Prometheus computes it: linear within the bucket that holds the rank.
double histogramQuantile(double q, const std::vector<std::pair<double, double>>& b) {
    const double rank = q * b.back().second;
    double lower = 0, below = 0;
    for (const auto& [bound, count] : b) {
        if (count >= rank) {
            if (std::isinf(bound)) return lower;
            return lower + (bound - lower) * (rank - below) / (count - below);
        }
        lower = bound;
        below = count;
    }
    return lower;
}

TEST(DurationBuckets, AreAscendingEdgesOfTheSharedHistogramFourToAPowerOfTwo) {
    const auto& bounds = durationBucketBoundsUs();
    ASSERT_EQ(bounds.size(), 85u);
    EXPECT_EQ(bounds.front(), 32);
    EXPECT_EQ(bounds[1], 40);
    EXPECT_EQ(bounds.back(), std::int64_t{1} << 26);
    for (std::size_t i = 1; i < bounds.size(); ++i) {
        EXPECT_LT(bounds[i - 1], bounds[i]);
        // A bound is where a bucket of the shared histogram begins.
        EXPECT_EQ(LatencyHistogram::bucketLow(LatencyHistogram::bucketOf(bounds[i])), bounds[i]);
    }
}

TEST(PrometheusText, HistogramCountsAreCumulativeInSecondsWithSumAndCount) {
    LatencyHistogram h;
    for (const std::int64_t v : {10, 31, 32, 39, 40, 1000, 100'000'000}) h.record(v);
    PrometheusText out;
    out.family("x_seconds", "histogram", "help");
    out.histogram("x_seconds", {{"phase", "bind"}}, h);
    const std::string& t = out.text();
    EXPECT_EQ(t.rfind("# HELP x_seconds help\n# TYPE x_seconds histogram\n", 0), 0u);
    EXPECT_NE(t.find("x_seconds_bucket{phase=\"bind\",le=\"0.000032\"} 2\n"), std::string::npos);  // 10, 31
    EXPECT_NE(t.find("x_seconds_bucket{phase=\"bind\",le=\"0.00004\"} 4\n"), std::string::npos);   // + 32, 39
    EXPECT_NE(t.find("x_seconds_bucket{phase=\"bind\",le=\"67.108864\"} 6\n"), std::string::npos);
    EXPECT_NE(t.find("x_seconds_bucket{phase=\"bind\",le=\"+Inf\"} 7\n"), std::string::npos);
    EXPECT_NE(t.find("x_seconds_sum{phase=\"bind\"} 100.001152\n"), std::string::npos);
    EXPECT_NE(t.find("x_seconds_count{phase=\"bind\"} 7\n"), std::string::npos);
}

TEST(PrometheusText, LabelValuesAreEscapedAndNumbersWrittenPlainly) {
    PrometheusText out;
    out.sample("m", {{"a", "q\"b\\s\nn"}}, std::uint64_t{3});
    out.sample("n", {}, 0.5);
    EXPECT_EQ(out.text(), "m{a=\"q\\\"b\\\\s\\nn\"} 3\nn 0.5\n");
    EXPECT_EQ(numberText(2.0), "2");
    EXPECT_EQ(numberText(0.000125), "0.000125");
}

TEST(PrometheusText, TheQuantileOfTheBucketsLiesWithinOneBucketOfThePercentile) {
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> latency(7.0, 1.2);  // about 1 ms, a long tail
    LoginLatencies l;
    for (int i = 0; i < 20000; ++i) l.record(static_cast<std::int64_t>(latency(random)), {});
    const std::string text = runMetricsText(figures(20000, 0, 0, &l));
    const auto b = buckets(text, "tarrow_login_duration_seconds_bucket");
    ASSERT_EQ(b.size(), 86u);
    for (const double q : {0.5, 0.9, 0.99, 0.999}) {
        const double us = histogramQuantile(q, b) * 1e6;
        const double percentile = static_cast<double>(l.execute.percentile(q));
        const auto& bounds = durationBucketBoundsUs();
        const auto hi = std::upper_bound(bounds.begin(), bounds.end(), static_cast<std::int64_t>(percentile));
        ASSERT_NE(hi, bounds.begin());
        const double width = static_cast<double>(*hi - *(hi - 1));
        EXPECT_LE(std::abs(us - percentile), width) << "q " << q;
    }
}

TEST(RunMetrics, TheLabelSetIsBoundedAndTheControllersFiguresOptional) {
    LoginLatencies l;
    l.record(500, {});
    const std::string batch = runMetricsText(figures(1, 2, 3, &l));
    EXPECT_NE(batch.find("tarrow_logins_total{outcome=\"success\"} 1\n"), std::string::npos);
    EXPECT_NE(batch.find("tarrow_logins_total{outcome=\"failed\"} 2\n"), std::string::npos);
    EXPECT_NE(batch.find("tarrow_logins_total{outcome=\"error\"} 3\n"), std::string::npos);
    EXPECT_EQ(batch.find("tarrow_clients_connected"), std::string::npos);
    EXPECT_EQ(batch.find("tarrow_directory"), std::string::npos);
    std::set<std::string> labels;
    const std::regex label(R"re(([a-z_]+)=")re");
    for (auto it = std::sregex_iterator(batch.begin(), batch.end(), label); it != std::sregex_iterator(); ++it)
        labels.insert((*it)[1]);
    EXPECT_EQ(labels, (std::set<std::string>{"outcome", "phase", "le"}));
    for (const char* phase : {"connect", "tls", "bind", "verify", "unbind"})
        EXPECT_NE(batch.find("tarrow_login_phase_duration_seconds_count{phase=\"" + std::string(phase) + "\"}"),
                  std::string::npos);

    RunFigures controlled;
    controlled.clientsConnected = 4;
    controlled.indeterminate = 2;
    const std::string ctrl = runMetricsText(controlled);
    EXPECT_NE(ctrl.find("tarrow_clients_connected 4\n"), std::string::npos);
    EXPECT_NE(ctrl.find("tarrow_indeterminate_logins_total 2\n"), std::string::npos);
}

TEST(RunMetrics, DirectoryCountersLessTheMonitorsOwnBindsByDialect) {
    monitor::MonitorState d;
    const auto reading = [](std::int64_t tick, long long completed, std::uint64_t own, int dialect) {
        return monitor::MonitorReading{tick, tick * 1'000'000, own,
                                       DirmonSample{dialect, completed, completed, 5, 1, 0, 16}};
    };
    d.readings = {reading(0, 100, 1, DIRMON_COUNTER_SUBTREE), reading(3, 180, 2, DIRMON_COUNTER_SUBTREE)};
    d.last = d.readings.back();
    d.dialect = DIRMON_COUNTER_SUBTREE;
    d.latestGood = true;
    RunFigures f;
    f.directory = &d;
    std::string t = runMetricsText(f);
    EXPECT_NE(t.find("tarrow_directory_monitor_up 1\n"), std::string::npos);
    EXPECT_NE(t.find("tarrow_directory_binds_completed_total 79\n"), std::string::npos);
    EXPECT_NE(t.find("tarrow_directory_monitor_binds_total 1\n"), std::string::npos);
    EXPECT_NE(t.find("tarrow_directory_connections 5\n"), std::string::npos);
    EXPECT_NE(t.find("tarrow_directory_write_waiters 0\n"), std::string::npos);
    EXPECT_NE(t.find("tarrow_directory_threads 16\n"), std::string::npos);

    d.dialect = DIRMON_OPS_ENTRY;
    d.last->sample.write_waiters = -1;
    t = runMetricsText(f);
    EXPECT_NE(t.find("tarrow_directory_operations_completed_total 79\n"), std::string::npos);
    EXPECT_EQ(t.find("tarrow_directory_write_waiters"), std::string::npos);

    monitor::MonitorState none;
    none.unavailable = "cannot connect";
    f.directory = &none;
    t = runMetricsText(f);
    EXPECT_NE(t.find("tarrow_directory_monitor_up 0\n"), std::string::npos);
    EXPECT_EQ(t.find("tarrow_directory_binds"), std::string::npos);
}

// Only the lines of the families whose names begin with prefix.
std::string linesOf(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0 || line.rfind("# HELP " + prefix, 0) == 0 ||
            line.rfind("# TYPE " + prefix, 0) == 0)
            out += line + "\n";
    return out;
}

TEST(RunMetrics, APacedRunsScheduleFiguresOnlyForAPacedRun) {
    LoginLatencies l;
    l.record(1500, {});
    const std::string plain = runMetricsText(figures(1, 0, 0, &l));
    for (const char* name : {"tarrow_login_service", "tarrow_login_schedule_lag", "tarrow_logins_due",
                             "tarrow_logins_started", "tarrow_target"})
        EXPECT_EQ(plain.find(name), std::string::npos) << name;

    LatencyHistogram service, lag;
    service.record(1000);
    service.record(50);
    lag.record(500);
    lag.record(0);
    ScheduleFigures s{&service, &lag, 3, 2, 50.0};
    RunFigures f = figures(2, 0, 0, &l);
    f.schedule = &s;
    const std::string paced = runMetricsText(f);
    // The same 85 bounds as the duration histogram.
    EXPECT_EQ(buckets(paced, "tarrow_login_service_seconds_bucket").size(), 86u);
    EXPECT_EQ(buckets(paced, "tarrow_login_schedule_lag_seconds_bucket").size(), 86u);
    const auto at = [&](const std::string& series, const char* le) {
        return series + "_bucket{le=\"" + le + "\"} ";
    };
    EXPECT_NE(paced.find(at("tarrow_login_service_seconds", "0.000056") + "1\n"), std::string::npos);
    EXPECT_NE(paced.find(at("tarrow_login_service_seconds", "0.001024") + "2\n"), std::string::npos);
    EXPECT_NE(paced.find(at("tarrow_login_schedule_lag_seconds", "0.000032") + "1\n"), std::string::npos);
    EXPECT_NE(paced.find(at("tarrow_login_schedule_lag_seconds", "0.000512") + "2\n"), std::string::npos);
    EXPECT_NE(paced.find("tarrow_login_service_seconds_sum 0.00105\ntarrow_login_service_seconds_count 2\n"),
              std::string::npos);
    EXPECT_NE(
        paced.find(
            "tarrow_login_schedule_lag_seconds_sum 0.0005\ntarrow_login_schedule_lag_seconds_count 2\n"),
        std::string::npos);
    EXPECT_EQ(linesOf(paced, "tarrow_logins_"),
              "# HELP tarrow_logins_total Logins that ended, by outcome (success, failed, error)\n"
              "# TYPE tarrow_logins_total counter\n"
              "tarrow_logins_total{outcome=\"success\"} 2\n"
              "tarrow_logins_total{outcome=\"failed\"} 0\n"
              "tarrow_logins_total{outcome=\"error\"} 0\n"
              "# HELP tarrow_logins_due_total Logins that were due (a paced run)\n"
              "# TYPE tarrow_logins_due_total counter\n"
              "tarrow_logins_due_total 3\n"
              "# HELP tarrow_logins_started_total Logins that started (a paced run)\n"
              "# TYPE tarrow_logins_started_total counter\n"
              "tarrow_logins_started_total 2\n");
    EXPECT_EQ(linesOf(paced, "tarrow_target"),
              "# HELP tarrow_target_logins_per_second The target rate of the moment (a paced run)\n"
              "# TYPE tarrow_target_logins_per_second gauge\n"
              "tarrow_target_logins_per_second 50\n");
    // A closed loop has no target rate; the label set stays outcome, phase and le.
    s.targetRate.reset();
    const std::string closed = runMetricsText(f);
    EXPECT_EQ(closed.find("tarrow_target"), std::string::npos);
    EXPECT_EQ(closed.find("{phase"), paced.find("{phase"));
    std::set<std::string> labels;
    const std::regex label(R"re(([a-z_]+)=")re");
    for (auto it = std::sregex_iterator(paced.begin(), paced.end(), label); it != std::sregex_iterator(); ++it)
        labels.insert((*it)[1]);
    EXPECT_EQ(labels, (std::set<std::string>{"outcome", "phase", "le"}));
}

}  // namespace

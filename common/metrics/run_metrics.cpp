#include "common/metrics/run_metrics.h"

#include "common/login_phases.h"
#include "common/metrics/prometheus_text.h"

namespace tarrow::metrics {
namespace {

void directoryMetrics(PrometheusText& out, const monitor::MonitorState& d) {
    out.family("tarrow_directory_monitor_up", "gauge",
               "1 while the directory's monitor entries are read, 0 when they cannot be");
    out.sample("tarrow_directory_monitor_up", {}, std::uint64_t{d.latestGood ? 1u : 0u});
    if (!d.last) return;
    const bool ops = d.dialect == DIRMON_OPS_ENTRY;
    const char* completed = ops ? "tarrow_directory_operations_completed_total"
                                : "tarrow_directory_binds_completed_total";
    out.family(
        completed, "counter",
        ops ? "Operations of every kind the directory completed since the run began, less the monitor's "
              "own binds"
            : "Binds the directory completed since the run began, less the monitor's own");
    const auto others = d.completedByOthers();
    out.sample(completed, {}, static_cast<std::uint64_t>(others && *others > 0 ? *others : 0));
    out.family("tarrow_directory_monitor_binds_total", "counter",
               "Binds the monitor itself made since the run began");
    out.sample("tarrow_directory_monitor_binds_total", {}, d.ownBindsOverRun());
    const struct {
        const char* name;
        const char* help;
        long long value;
    } gauges[] = {
        {"tarrow_directory_connections", "Connections open at the directory (the monitor's own included)",
         d.last->sample.connections},
        {"tarrow_directory_read_waiters", "Connections the directory waits to read",
         d.last->sample.read_waiters},
        {"tarrow_directory_write_waiters", "Connections the directory waits to write",
         d.last->sample.write_waiters},
        {"tarrow_directory_threads", "The directory's worker threads", d.last->sample.threads},
    };
    for (const auto& g : gauges) {
        if (g.value < 0) continue;
        out.family(g.name, "gauge", g.help);
        out.sample(g.name, {}, static_cast<std::uint64_t>(g.value));
    }
}

void scheduleMetrics(PrometheusText& out, const ScheduleFigures& s) {
    if (s.service) {
        out.family("tarrow_login_service_seconds", "histogram",
                   "Time of a login from its start to its end (a paced run)");
        out.histogram("tarrow_login_service_seconds", {}, *s.service);
    }
    if (s.scheduleLag) {
        out.family("tarrow_login_schedule_lag_seconds", "histogram",
                   "Time of a login from when it was due to its start (a paced run)");
        out.histogram("tarrow_login_schedule_lag_seconds", {}, *s.scheduleLag);
    }
    out.family("tarrow_logins_due_total", "counter", "Logins that were due (a paced run)");
    out.sample("tarrow_logins_due_total", {}, s.due);
    out.family("tarrow_logins_started_total", "counter", "Logins that started (a paced run)");
    out.sample("tarrow_logins_started_total", {}, s.started);
    if (s.targetRate) {
        out.family("tarrow_target_logins_per_second", "gauge", "The target rate of the moment (a paced run)");
        out.sample("tarrow_target_logins_per_second", {}, *s.targetRate);
    }
}

}  // namespace

std::string runMetricsText(const RunFigures& f) {
    PrometheusText out;
    out.family("tarrow_logins_total", "counter", "Logins that ended, by outcome (success, failed, error)");
    out.sample("tarrow_logins_total", {{"outcome", "success"}}, f.successful);
    out.sample("tarrow_logins_total", {{"outcome", "failed"}}, f.failed);
    out.sample("tarrow_logins_total", {{"outcome", "error"}}, f.errors);
    if (f.latencies) {
        out.family("tarrow_login_duration_seconds", "histogram", "Time of a whole login");
        out.histogram("tarrow_login_duration_seconds", {}, f.latencies->execute);
        out.family("tarrow_login_phase_duration_seconds", "histogram",
                   "Time of each phase of a login (connect, tls, bind, verify, unbind)");
        for (int p = 0; p < kLoginPhaseCount; ++p)
            out.histogram("tarrow_login_phase_duration_seconds", {{"phase", loginPhaseName(p)}},
                          f.latencies->phases[static_cast<std::size_t>(p)]);
    }
    if (f.schedule) scheduleMetrics(out, *f.schedule);
    if (f.clientsConnected) {
        out.family("tarrow_clients_connected", "gauge", "Clients connected to the controller");
        out.sample("tarrow_clients_connected", {}, *f.clientsConnected);
    }
    if (f.indeterminate) {
        out.family("tarrow_indeterminate_logins_total", "counter",
                   "Credentials handed out whose login ended without a reply (outcome unknown)");
        out.sample("tarrow_indeterminate_logins_total", {}, *f.indeterminate);
    }
    if (f.directory) directoryMetrics(out, *f.directory);
    return out.text();
}

}  // namespace tarrow::metrics

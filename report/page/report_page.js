// Draws a run's report.json: the figures as tables, the time series and distributions as
// charts. The same code draws the saved report.html and the controller's live page, which
// calls render() again with every update it receives.
"use strict";

const PHASES = ["connect", "tls", "bind", "verify", "unbind"];
const COLOURS = {
  logins: "#2b6cb0", failures: "#c53030", p50: "#2f855a", p90: "#b7791f", p99: "#c53030",
  max: "#553c9a", connect: "#4299e1", tls: "#9f7aea", bind: "#ed8936", verify: "#48bb78",
  unbind: "#a0aec0", outage: "rgba(229, 62, 62, 0.15)", server: "#dd6b20", connections: "#2c7a7b",
  readWaiters: "#b83280", writeWaiters: "#805ad5", threads: "#718096",
  due: "#718096", started: "#2b6cb0", target: "#2f855a", behind: "rgba(229, 62, 62, 0.5)",
  service: "#ed8936", bound: "#c53030", result: "#2f855a"
};
const charts = {};

// One rule for every figure shown, so that a test can read a number back exactly: integers
// as they are, other values with three decimals.
function figureText(value) {
  if (value === null || value === undefined || Number.isNaN(value)) return "";
  if (typeof value !== "number") return String(value);
  return Number.isInteger(value) ? String(value) : value.toFixed(3);
}

function lookup(report, path) {
  return path.split(".").reduce((node, key) => (node == null ? undefined : node[key]), report);
}

function element(tag, attributes, text) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

function headerRow(table, names) {
  const row = element("tr");
  names.forEach((name, i) => row.appendChild(element("th", i === 0 ? { class: "text" } : {}, name)));
  table.appendChild(row);
}

// A cell that shows one figure of the report and names where it came from.
function figureCell(report, path) {
  return element("td", { "data-json": path }, figureText(lookup(report, path)));
}

function fillFigures(report) {
  const logins = document.getElementById("figures-logins");
  logins.replaceChildren();
  headerRow(logins, ["Logins", ""]);
  const rows = [
    ["performed", "logins.performed"], ["successful", "logins.successful"],
    ["failed", "logins.failed"], ["errors", "logins.errors"],
    ["rejected lines", "logins.rejected_lines"], ["indeterminate", "logins.indeterminate"],
    ["credentials sent", "logins.packets_sent"], ["handed out again", "logins.handed_again"],
    ["elapsed (s)", "elapsed_s"], ["logins per second", "logins_per_s"],
    ["clients connected", "clients_connected"]
  ];
  for (const [label, path] of rows) {
    if (lookup(report, path) === undefined) continue;
    const row = element("tr");
    row.appendChild(element("td", {}, label));
    row.appendChild(figureCell(report, path));
    logins.appendChild(row);
  }

  const latency = document.getElementById("figures-latency");
  latency.replaceChildren();
  headerRow(latency, ["Login latency (µs)", ""]);
  for (const key of ["count", "mean", "p50", "p90", "p99", "p999", "max"]) {
    if (lookup(report, "latency_us." + key) === undefined) continue;
    const row = element("tr");
    row.appendChild(element("td", {}, key === "p999" ? "p99.9" : key));
    row.appendChild(figureCell(report, "latency_us." + key));
    latency.appendChild(row);
  }
  if (report.reply_ms) {
    for (const key of ["p50", "p99", "max"]) {
      if (report.reply_ms[key] === undefined) continue;
      const row = element("tr");
      row.appendChild(element("td", {}, "reply time " + key + " (ms)"));
      row.appendChild(figureCell(report, "reply_ms." + key));
      latency.appendChild(row);
    }
  }
}

function fillPhaseTable(report) {
  const table = document.getElementById("table-phases");
  table.replaceChildren();
  const keys = ["count", "mean", "p50", "p90", "p99", "p999", "max"];
  headerRow(table, ["phase (µs)"].concat(keys.map((k) => (k === "p999" ? "p99.9" : k))));
  const rows = [["execute", "latency_us"]].concat(PHASES.map((p) => [p, "phases_us." + p]));
  for (const [name, path] of rows) {
    if (lookup(report, path) === undefined) continue;
    const row = element("tr");
    row.appendChild(element("td", { class: "text" }, name));
    keys.forEach((k) => row.appendChild(figureCell(report, path + "." + k)));
    table.appendChild(row);
  }
}

function fillErrors(report) {
  const table = document.getElementById("table-errors");
  table.replaceChildren();
  headerRow(table, ["message", "count"]);
  const entries = Object.entries(report.errors_by_message || {}).sort((a, b) => b[1] - a[1]);
  if (entries.length === 0) {
    const row = element("tr");
    row.appendChild(element("td", { class: "text", colspan: "2" }, "none"));
    table.appendChild(row);
  }
  for (const [message, count] of entries) {
    const row = element("tr");
    row.appendChild(element("td", { class: "text" }, message));
    row.appendChild(element("td", { "data-json-count": message }, figureText(count)));
    table.appendChild(row);
  }
}

// A table of objects with the same keys; the key order of the first one is the column order.
function fillObjectTable(sectionId, tableId, rows) {
  const section = document.getElementById(sectionId);
  const table = document.getElementById(tableId);
  table.replaceChildren();
  section.hidden = !Array.isArray(rows) || rows.length === 0;
  if (section.hidden) return;
  const columns = [];
  for (const row of rows)
    for (const key of Object.keys(row))
      if (!columns.includes(key) && (typeof row[key] !== "object" || row[key] === null)) columns.push(key);
  headerRow(table, columns);
  for (const item of rows) {
    const row = element("tr");
    columns.forEach((key, i) => {
      const value = item[key];
      row.appendChild(element("td", typeof value === "number" ? {} : { class: "text" },
                              typeof value === "boolean" ? (value ? "yes" : "no") : figureText(value)));
      if (i === 0) row.lastChild.classList.add("text");
    });
    table.appendChild(row);
  }
}

function fillKeyValues(id, title, object) {
  const box = document.getElementById(id);
  box.replaceChildren();
  if (!object || Object.keys(object).length === 0) return;
  const parts = Object.entries(object).map(([k, v]) =>
    k + ": " + (typeof v === "object" && v !== null ? JSON.stringify(v) : figureText(v)));
  box.appendChild(element("p", {}, title + " " + parts.join(" · ")));
}

// The controller lists every outage; a chart shades the first.
function outageList(report) {
  if (Array.isArray(report.outages)) return report.outages;
  return report.outage && typeof report.outage === "object" ? [report.outage] : [];
}

function outageWindow(report) {
  const o = outageList(report)[0];
  if (!o) return null;
  const start = o.first_failure_t_s ?? o.first_failure_s ?? o.start_s;
  const end = o.recovered_t_s ?? o.recovered_s ?? o.end_s;
  if (typeof start !== "number") return null;
  return { start: start, end: typeof end === "number" ? end : null };
}

function fillOutage(report) {
  const section = document.getElementById("section-outage");
  const box = document.getElementById("outage");
  box.replaceChildren();
  const list = outageList(report);
  const base = Array.isArray(report.outages) ? "outages." : "outage";
  section.hidden = list.length === 0;
  list.forEach((o, i) => {
    const block = element("div", { class: "outage-entry" });
    for (const [key, value] of Object.entries(o)) {
      if (typeof value === "object" && value !== null) continue;
      const line = element("div");
      line.appendChild(element("span", {}, key.replaceAll("_", " ") + ": "));
      line.appendChild(element("span", { "data-json": base === "outage" ? "outage." + key : base + i + "." + key },
                               figureText(value)));
      block.appendChild(line);
    }
    box.appendChild(block);
  });
}

// Values of zero or less cannot stand on a logarithmic axis: they become gaps.
function positive(value) {
  return typeof value === "number" && value > 0 ? value : null;
}

// Percentile p (0..100) as "nines": 90 -> 1, 99 -> 2, 99.9 -> 3.
function nines(p, count) {
  const cap = Math.log10(Math.max(10, count || 10));
  return p >= 100 ? cap : Math.min(cap, -Math.log10(1 - p / 100));
}

// Tick labels of the nines axis: 0 -> "0%", 1 -> "90%", 3 -> "99.9%"; the end is the maximum.
function ninesLabel(v) {
  if (!Number.isInteger(v)) return "max";
  return v === 0 ? "0%" : (100 - 100 / 10 ** v).toFixed(Math.max(0, v - 2)) + "%";
}

function percentileCurve(report) {
  const count = lookup(report, "latency_us.count") || 0;
  let points = report.latency_percentiles;
  if (!Array.isArray(points) || points.length === 0) {
    const l = report.latency_us || {};
    points = [[0, l.min], [50, l.p50], [90, l.p90], [99, l.p99], [99.9, l.p999], [100, l.max]]
      .filter(([, us]) => typeof us === "number").map(([p, us]) => ({ p: p, us: us }));
  }
  return points.map((pt) => ({ x: nines(pt.p, count), y: positive(pt.us), p: pt.p }));
}

function drawOrUpdate(id, config) {
  const existing = charts[id];
  if (existing) {
    existing.data = config.data;
    existing.update("none");
    return;
  }
  charts[id] = new Chart(document.getElementById(id), config);
}

function seriesOptions(title, yTitle, logarithmic) {
  return {
    animation: false, responsive: true, maintainAspectRatio: false, parsing: false,
    spanGaps: false, normalized: true,
    plugins: { title: { display: true, text: title }, legend: { position: "bottom" } },
    scales: {
      x: { type: "linear", title: { display: true, text: "seconds into the run" } },
      y: { type: logarithmic ? "logarithmic" : "linear", beginAtZero: !logarithmic,
           title: { display: true, text: yTitle } }
    }
  };
}

function line(label, colour, points, extra) {
  // Short runs show their few seconds as points; long ones as lines only.
  return Object.assign({ label: label, data: points, borderColor: colour, backgroundColor: colour,
                         pointRadius: points.length < 60 ? 2 : 0, borderWidth: 1.5 }, extra || {});
}

function drawCharts(report) {
  const intervals = Array.isArray(report.intervals) ? report.intervals : [];
  const at = (key, transform) => intervals.map((i) => ({ x: i.t_s, y: transform(i[key], i) }));
  // A failure is a login that did not succeed: a failed code or a directory error.
  const failures = (i) => (typeof i.failed === "number" ? i.failed + (i.errors || 0) : i.logins - i.successful);

  const throughput = [
    line("logins per second", COLOURS.logins, at("logins", (v) => v)),
    line("failures per second", COLOURS.failures, intervals.map((i) => ({ x: i.t_s, y: failures(i) })))
  ];
  const outage = outageWindow(report);
  if (outage) {
    const end = outage.end ?? (intervals.length ? intervals[intervals.length - 1].t_s : outage.start);
    const top = Math.max(1, ...intervals.map((i) => i.logins));
    throughput.push(line("outage", COLOURS.outage,
      [{ x: outage.start, y: top }, { x: end, y: top }], { fill: "origin", borderWidth: 0 }));
  }
  drawOrUpdate("chart-throughput", {
    type: "line", data: { datasets: throughput },
    options: seriesOptions("Logins and failures per second", "per second", false)
  });

  const latencySeries = [["p50", "p50_us"], ["p90", "p90_us"], ["p99", "p99_us"], ["max", "max_us"]]
    .filter(([, key]) => intervals.some((i) => typeof i[key] === "number"))
    .map(([name, key]) => line(name, COLOURS[name], at(key, positive)));
  drawOrUpdate("chart-latency-time", {
    type: "line", data: { datasets: latencySeries },
    options: seriesOptions("Login latency per second", "µs (logarithmic)", true)
  });

  // Each bar is one percentile of the whole run, split into the phases at that percentile.
  const present = PHASES.filter((p) => lookup(report, "phases_us." + p) !== undefined);
  drawOrUpdate("chart-phases", {
    type: "bar",
    data: {
      labels: ["p50", "p99"],
      datasets: present.map((p) => ({
        label: p, backgroundColor: COLOURS[p],
        data: ["p50", "p99"].map((k) => lookup(report, "phases_us." + p + "." + k) || 0)
      }))
    },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false, indexAxis: "y",
      plugins: { title: { display: true, text: "Phases of a login at p50 and p99 (µs)" },
                 legend: { position: "bottom" } },
      scales: { x: { stacked: true, title: { display: true, text: "µs" } }, y: { stacked: true } }
    }
  });

  const count = lookup(report, "latency_us.count") || 0;
  drawOrUpdate("chart-distribution", {
    type: "line",
    data: { datasets: [line("login latency", COLOURS.logins, percentileCurve(report),
                            { pointRadius: 2 })] },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false, parsing: false,
      plugins: {
        title: { display: true, text: "Latency distribution of the whole run" },
        legend: { display: false },
        tooltip: { callbacks: { label: (c) => "p" + c.raw.p + ": " + figureText(c.raw.y) + " µs" } }
      },
      scales: {
        x: { type: "linear", min: 0, max: nines(100, count),
             title: { display: true, text: "percentile" },
             ticks: { stepSize: 1, callback: ninesLabel } },
        y: { type: "logarithmic", title: { display: true, text: "µs (logarithmic)" } }
      }
    }
  });
}

// The directory's own view on the same seconds (with --monitor): its completed binds beside
// the client's logins, and its connections, waiters and threads under the latency chart.
function drawDirectory(report) {
  const directory = report.directory;
  const note = document.getElementById("directory-note");
  const section = document.getElementById("section-directory");
  const readable = directory && Array.isArray(directory.intervals);
  section.hidden = !readable;
  note.hidden = !directory;
  if (!directory) return;
  note.textContent = readable
    ? "Directory counters from " + directory.uri + " (" + directory.source + ")"
    : "Directory counters from " + directory.uri + " unavailable: " + (directory.reason || "");
  if (!readable) return;
  const intervals = Array.isArray(report.intervals) ? report.intervals : [];
  const known = (v) => (typeof v === "number" ? v : null);
  const at = (key) => directory.intervals.map((i) => ({ x: i.t_s, y: known(i[key]) }));
  const what = directory.counts === "operations" ? "server operations per second" : "server binds per second";
  drawOrUpdate("chart-directory-binds", {
    type: "line",
    // Dashed on top, so that the client's line shows where the two agree.
    data: { datasets: [
      line(what, COLOURS.server, at("completed"), { borderDash: [6, 4] }),
      line("client logins per second", COLOURS.logins, intervals.map((i) => ({ x: i.t_s, y: i.logins })))
    ] },
    options: seriesOptions("The directory's count beside the client's", "per second", false)
  });
  const load = [["connections", "connections"], ["read waiters", "read_waiters"],
                ["write waiters", "write_waiters"], ["threads", "threads"]]
    .filter(([, key]) => directory.intervals.some((i) => typeof i[key] === "number"))
    .map(([name, key]) => line(name, COLOURS[key.replace(/_(\w)/, (m, c) => c.toUpperCase())], at(key)));
  drawOrUpdate("chart-directory-load", {
    type: "line", data: { datasets: load },
    options: seriesOptions("The directory's connections and waiters", "at the end of the second", false)
  });
}

// A paced run: logins due against logins started each second (a second in which fewer started
// than were due is marked), and the latency from when each login was due against its service
// time from its start.
function fillLoad(report) {
  const load = report.load;
  const section = document.getElementById("section-load");
  section.hidden = !load || !Array.isArray(load.seconds);
  if (section.hidden) return;
  const seconds = load.seconds;
  const datasets = [
    line("logins due", COLOURS.due, seconds.map((s) => ({ x: s.t_s, y: s.due }))),
    line("logins started", COLOURS.started, seconds.map((s) => ({ x: s.t_s, y: s.started })))
  ];
  if (load.mode === "open") {
    datasets.push(line("target rate", COLOURS.target, seconds.map((s) => ({ x: s.t_s, y: s.target_rate })),
      { borderDash: [4, 4], pointRadius: 0 }));
  }
  const behind = seconds.filter((s) => s.behind_schedule);
  if (behind.length) {
    datasets.push(line("fewer started than due", COLOURS.behind, behind.map((s) => ({ x: s.t_s, y: s.started })),
      { showLine: false, pointRadius: 5, pointStyle: "triangle" }));
  }
  drawOrUpdate("chart-load", {
    type: "line", data: { datasets: datasets },
    options: seriesOptions("Logins due and started per second", "per second", false)
  });
  const curve = (points, count) => (Array.isArray(points) ? points : [])
    .map((pt) => ({ x: nines(pt.p, count), y: positive(pt.us), p: pt.p }));
  const count = lookup(report, "latency_us.count") || 0;
  drawOrUpdate("chart-latency-service", {
    type: "line",
    data: { datasets: [
      line("latency (from due)", COLOURS.logins, curve(report.latency_percentiles, count), { pointRadius: 2 }),
      line("service time (from start)", COLOURS.service, curve(report.service_percentiles, count), { pointRadius: 2 })
    ] },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false, parsing: false,
      plugins: { title: { display: true, text: "Latency against service time" }, legend: { position: "bottom" } },
      scales: {
        x: { type: "linear", min: 0, max: nines(100, count), title: { display: true, text: "percentile" },
             ticks: { stepSize: 1, callback: ninesLabel } },
        y: { type: "logarithmic", title: { display: true, text: "µs (logarithmic)" } }
      }
    }
  });
  const warning = document.getElementById("load-warning");
  warning.hidden = !load.generator_fell_behind;
  warning.textContent = load.generator_fell_behind ? "Warning: " + load.generator_fell_behind.warning : "";
  const settings = {};
  for (const key of ["mode", "workers", "rate", "arrivals", "seed", "duration_s"]) {
    if (load[key] !== null && load[key] !== undefined) settings[key] = load[key];
  }
  if (Array.isArray(load.curve) && load.curve.length) {
    settings.curve = load.curve.map((s) => s.rate + "/s for " + s.seconds + " s").join(", ");
  }
  if (load.rate_held) {
    settings.rate_held = figureText(load.rate_held.lowest_pct) + " % to " + figureText(load.rate_held.highest_pct) +
      " % of the target in " + load.rate_held.full_seconds + " full seconds";
  }
  fillKeyValues("load-settings", "How the load was set:", settings);
}

// A capacity search (TarrowCli --find-capacity): latency and throughput against the offered
// rate of each step, the objective's bound and the result marked, and the steps as a table.
function fillCapacity(report) {
  const capacity = report.capacity;
  const section = document.getElementById("section-capacity");
  section.hidden = !capacity || !Array.isArray(capacity.steps);
  if (section.hidden) return;
  document.getElementById("capacity-result").textContent = capacity.result;
  const steps = capacity.steps.slice().sort((a, b) => a.offered_per_s - b.offered_per_s);
  const rates = steps.map((s) => s.offered_per_s);
  const low = Math.min(...rates), high = Math.max(...rates);
  const ms = (us) => (typeof us === "number" && us > 0 ? us / 1000 : null);
  const percentileName = "p" + capacity.percentile;
  const latencies = steps.flatMap((s) => [ms(s.p50_us), ms(s.percentile_us)]).filter((v) => v !== null);
  const top = Math.max(capacity.bound_us / 1000, ...latencies);
  const bottom = Math.min(capacity.bound_us / 1000, ...latencies);
  // The result as a vertical line from the bottom to the top of the chart.
  const resultLine = (y0, y1) => (typeof capacity.capacity_per_s === "number"
    ? [line("result: " + figureText(capacity.capacity_per_s) + "/s", COLOURS.result,
            [{ x: capacity.capacity_per_s, y: y0 }, { x: capacity.capacity_per_s, y: y1 }],
            { borderDash: [2, 3], pointRadius: 0, borderWidth: 2 })]
    : []);
  const rateAxis = { type: "logarithmic", title: { display: true, text: "offered rate (logins/s)" } };
  const options = (title, yTitle, logarithmic) => {
    const o = seriesOptions(title, yTitle, logarithmic);
    o.scales.x = rateAxis;
    return o;
  };
  const verdictColours = steps.map((s) => (s.verdict === "met" ? COLOURS.result : COLOURS.failures));
  drawOrUpdate("chart-capacity-latency", {
    type: "line",
    data: { datasets: [
      line("p50", COLOURS.p50, steps.map((s) => ({ x: s.offered_per_s, y: ms(s.p50_us) })), { pointRadius: 3 }),
      line(percentileName + " (objective)", COLOURS.p99,
           steps.map((s) => ({ x: s.offered_per_s, y: ms(s.percentile_us) })),
           { pointRadius: 4, pointBackgroundColor: verdictColours }),
      line("bound " + figureText(capacity.bound_us / 1000) + " ms", COLOURS.bound,
           [{ x: low, y: capacity.bound_us / 1000 }, { x: high, y: capacity.bound_us / 1000 }],
           { borderDash: [6, 4], pointRadius: 0 })
    ].concat(resultLine(bottom, top)) },
    options: options("Latency against offered rate", "ms (logarithmic)", true)
  });
  const throughputTop = Math.max(high, ...steps.map((s) => s.throughput_per_s));
  drawOrUpdate("chart-capacity-throughput", {
    type: "line",
    data: { datasets: [
      line("logins ended per second", COLOURS.logins,
           steps.map((s) => ({ x: s.offered_per_s, y: s.throughput_per_s })),
           { pointRadius: 4, pointBackgroundColor: verdictColours }),
      line("as offered", COLOURS.due, [{ x: low, y: low }, { x: high, y: high }], { borderDash: [4, 4], pointRadius: 0 })
    ].concat(resultLine(0, throughputTop)) },
    options: options("Throughput against offered rate", "logins per second", false)
  });
  const table = document.getElementById("table-capacity");
  table.replaceChildren();
  const columns = [["offered/s", "offered_per_s"], ["verdict", "verdict"],
    [percentileName + " (µs)", "percentile_us"], ["low", "percentile_low_us"], ["high", "percentile_high_us"],
    ["p50 (µs)", "p50_us"], ["ended/s", "throughput_per_s"], ["counted", "counted"], ["errors", "errors"],
    ["seconds", "duration_s"], ["limit", "generator_limit"]];
  headerRow(table, columns.map(([name]) => name));
  capacity.steps.forEach((step, i) => {
    const row = element("tr");
    for (const [, key] of columns) row.appendChild(figureCell(report, "capacity.steps." + i + "." + key));
    row.firstChild.classList.add("text");
    table.appendChild(row);
  });
}

function render(report) {
  window.tarrowLastReport = report;
  const controlled = report.report === "TarrowCtrl" || Array.isArray(report.clients) || report.reply_ms !== undefined;
  document.getElementById("title").textContent =
    (controlled ? "Tarrow controlled run" : "Tarrow batch run") +
    (document.body.dataset.live === "1" ? " (live, updated every second)" : "");
  // Format 1 of a controlled run named its start "started".
  const startedUtc = report.started_utc ?? report.started;
  const started = startedUtc ? "started " + startedUtc + " · " : "";
  document.getElementById("subtitle").textContent =
    started + figureText(lookup(report, "logins.performed") ?? 0) + " logins";
  fillFigures(report);
  drawCharts(report);
  drawDirectory(report);
  fillLoad(report);
  fillCapacity(report);
  fillPhaseTable(report);
  fillOutage(report);
  fillErrors(report);
  fillObjectTable("section-clients", "table-clients", report.clients);
  fillObjectTable("section-indeterminate", "table-indeterminate", report.indeterminate);
  fillKeyValues("settings", "Settings of the run:", report.settings);
  fillKeyValues("host", "The load generator's own host during the run:", report.host);
  document.body.setAttribute("data-rendered", String(Number(document.body.getAttribute("data-rendered") || 0) + 1));
}

window.tarrowRender = render;
const embedded = document.getElementById("report-data").textContent.trim();
if (embedded) render(JSON.parse(embedded));
if (document.body.dataset.live === "1" && window.EventSource) {
  const source = new EventSource("events");
  source.onmessage = (event) => render(JSON.parse(event.data));
}

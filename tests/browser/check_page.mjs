// Opens a Tarrow report page in Debian's headless Chromium and checks it as a reader would see
// it: it loads with no console error, asks for nothing outside itself (or outside 127.0.0.1 for
// the live page), draws every chart, and shows the numbers of its report.json.
//
//   node check_page.mjs URL [--report report.json] [--screenshot out.png] [--updates N]
//
// --report compares every shown figure with that file; without it (the live page) the figures
// are compared with the last report the page received. --updates waits for N renders.
import { chromium } from "playwright-core";
import { readFileSync } from "node:fs";

const args = process.argv.slice(2);
const url = args[0];
const option = (name) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : undefined;
};
const reportPath = option("--report");
const screenshot = option("--screenshot");
const updates = Number(option("--updates") || 1);
const CHARTS = ["chart-throughput", "chart-latency-time", "chart-phases", "chart-distribution"];
// A paced run's page also draws logins due against started, and latency against service time.
const pacedLoad = reportPath ? JSON.parse(readFileSync(reportPath, "utf8")).load : undefined;
// A capacity search's page draws latency and throughput against the offered rate.
const capacity = reportPath ? JSON.parse(readFileSync(reportPath, "utf8")).capacity : undefined;
const charts = CHARTS.concat(pacedLoad ? ["chart-load", "chart-latency-service"] : [])
  .concat(capacity ? ["chart-capacity-latency", "chart-capacity-throughput"] : []);

function allowed(requestUrl) {
  if (requestUrl === url || requestUrl.startsWith("data:")) return true;
  const page = new URL(url);
  const asked = new URL(requestUrl);
  // The live page may talk to its own server, which listens on 127.0.0.1 only.
  return page.protocol === "http:" && asked.hostname === "127.0.0.1" && asked.host === page.host;
}

const failures = [];
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  timeout: 60000
});
try {
  const page = await browser.newPage({ viewport: { width: 1250, height: 900 } });
  page.on("console", (m) => { if (m.type() === "error") failures.push("console error: " + m.text()); });
  page.on("pageerror", (e) => failures.push("page error: " + e.message));
  page.on("request", (r) => { if (!allowed(r.url())) failures.push("request outside the page: " + r.url()); });
  await page.goto(url, { timeout: 30000 });
  // Every chart is checked for data, and the latency-per-second one has some only once a
  // second holds a timed login: on a slow machine the first renders of a live run come before
  // that, so the live page is waited for until one has (a fixed count of renders raced it).
  await page.waitForFunction(([n, live]) => {
    if (Number(document.body.dataset.rendered || 0) < n) return false;
    const rows = (window.tarrowLastReport || {}).intervals;
    return !live || (Array.isArray(rows) && rows.some((i) => typeof i.p50_us === "number"));
  }, [updates, !reportPath], { timeout: 60000 });

  const report = reportPath ? JSON.parse(readFileSync(reportPath, "utf8"))
                            : await page.evaluate(() => window.tarrowLastReport);
  // A run that read the directory's counters draws them too.
  const directoryCharts = report.directory && Array.isArray(report.directory.intervals) &&
                          report.directory.intervals.length > 0
    ? ["chart-directory-binds", "chart-directory-load"] : [];
  const drawn = await page.evaluate((ids) => ids.map((id) => {
    const canvas = document.getElementById(id);
    const chart = window.Chart && Chart.getChart(canvas);
    const points = chart ? chart.data.datasets.reduce((n, d) => n + d.data.length, 0) : 0;
    const pixels = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let inked = 0;
    for (let i = 3; i < pixels.length; i += 4) if (pixels[i] !== 0) inked++;
    return { id: id, chart: Boolean(chart), points: points, inked: inked };
  }), charts.concat(directoryCharts));
  for (const c of drawn) {
    if (!c.chart) failures.push(c.id + ": no chart");
    else if (c.points === 0) failures.push(c.id + ": chart without data");
    else if (c.inked < 500) failures.push(c.id + ": nothing drawn (" + c.inked + " pixels)");
  }

  if (pacedLoad) {
    const load = await page.evaluate(() => ({
      hidden: document.getElementById("section-load").hidden,
      warning: document.getElementById("load-warning").hidden ? null : document.getElementById("load-warning").textContent,
      marked: (Chart.getChart(document.getElementById("chart-load")).data.datasets
        .find((d) => d.label === "fewer started than due") || { data: [] }).data.map((p) => p.x)
    }));
    if (load.hidden) failures.push("section-load: hidden for a paced run");
    const expectedWarning = pacedLoad.generator_fell_behind ? "Warning: " + pacedLoad.generator_fell_behind.warning : null;
    if (load.warning !== expectedWarning) failures.push("load-warning: " + load.warning + ", expected " + expectedWarning);
    const behind = pacedLoad.seconds.filter((s) => s.behind_schedule).map((s) => s.t_s);
    if (JSON.stringify(load.marked) !== JSON.stringify(behind))
      failures.push("chart-load marks seconds " + JSON.stringify(load.marked) + ", expected " + JSON.stringify(behind));
  }

  if (capacity) {
    const shownCapacity = await page.evaluate(() => {
      const labels = (id) => Chart.getChart(document.getElementById(id)).data.datasets.map((d) => ({
        label: d.label, xs: d.data.map((p) => p.x), ys: d.data.map((p) => p.y) }));
      return { hidden: document.getElementById("section-capacity").hidden,
               result: document.getElementById("capacity-result").textContent,
               latency: labels("chart-capacity-latency"), throughput: labels("chart-capacity-throughput"),
               rows: document.querySelectorAll("#table-capacity tr").length };
    });
    if (shownCapacity.hidden) failures.push("section-capacity: hidden for a capacity search");
    if (shownCapacity.result !== capacity.result)
      failures.push(`capacity-result: "${shownCapacity.result}", expected "${capacity.result}"`);
    if (shownCapacity.rows !== capacity.steps.length + 1)
      failures.push("table-capacity: " + (shownCapacity.rows - 1) + " steps, expected " + capacity.steps.length);
    const bound = shownCapacity.latency.find((d) => d.label.startsWith("bound "));
    if (!bound || bound.ys.some((y) => y !== capacity.bound_us / 1000))
      failures.push("chart-capacity-latency: the bound is not marked at " + capacity.bound_us / 1000 + " ms");
    const objective = shownCapacity.latency.find((d) => d.label.startsWith("p" + capacity.percentile + " "));
    if (!objective || objective.xs.length !== capacity.steps.length)
      failures.push("chart-capacity-latency: no point of the objective's percentile per step");
    for (const chart of ["latency", "throughput"]) {
      const result = shownCapacity[chart].find((d) => d.label.startsWith("result: "));
      if (typeof capacity.capacity_per_s === "number" && (!result || result.xs[0] !== capacity.capacity_per_s))
        failures.push(`chart-capacity-${chart}: the result is not marked at ${capacity.capacity_per_s}/s`);
    }
  }

  const shown = await page.evaluate(() => ({
    figures: [...document.querySelectorAll("[data-json]")].map((e) => [e.dataset.json, e.textContent]),
    counts: [...document.querySelectorAll("[data-json-count]")].map((e) => [e.dataset.jsonCount, e.textContent])
  }));
  const lookup = (path) => path.split(".").reduce((n, k) => (n == null ? undefined : n[k]), report);
  const same = (value, text) => {
    if (value === undefined || value === null) return text === "";
    if (typeof value !== "number") return String(value) === text;
    return Math.abs(Number(text) - value) <= 0.0005 + Math.abs(value) * 1e-9;
  };
  for (const [path, text] of shown.figures)
    if (!same(lookup(path), text)) failures.push(`${path}: page shows "${text}", report has ${lookup(path)}`);
  for (const [message, text] of shown.counts) {
    const value = (report.errors_by_message || {})[message];
    if (!same(value, text)) failures.push(`failures of "${message}": page shows "${text}", report has ${value}`);
  }
  if (shown.figures.length < 10) failures.push("only " + shown.figures.length + " figures shown");
  // Both kinds of report carry their start (format 1 of a controlled run as "started").
  const started = report.started_utc ?? report.started;
  const subtitle = await page.evaluate(() => document.getElementById("subtitle").textContent);
  if (!started) failures.push("the report has no start time");
  else if (!subtitle.includes("started " + started)) failures.push(`heading "${subtitle}" lacks the start ${started}`);

  if (screenshot) await page.screenshot({ path: screenshot, fullPage: true });
  if (failures.length === 0)
    console.log(`page ok: ${shown.figures.length + shown.counts.length} figures equal the report, ` +
                `${drawn.length} charts drawn`);
} finally {
  await browser.close();
}
for (const f of failures) console.log("FAIL " + f);
process.exit(failures.length === 0 ? 0 : 1);

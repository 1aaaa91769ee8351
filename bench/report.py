"""RESULTS.md, the plot and the summary, from the measured points."""

import statistics
import subprocess

# Memory figures are in MB of 10^6 bytes, like the file sizes beside them;
# the limit of 200 MB is read the same way, the stricter of the two readings.
MB = 1000 * 1000
SQLITE_PEAK_LIMIT = 200 * MB
SQLITE_PEAK_AT = 1000000
SQLITE_TIME_FACTOR = 1.2
# Ten times the elements may cost twelve times the time: 1.2 times the ratio
# of the sizes, whichever two sizes are compared.
GROWTH_FACTOR = 1.2


class Point:
    """The samples of one input file: the tool's runs and the baseline's."""

    def __init__(self, elements, label, size):
        self.elements = elements
        self.label = label
        self.size = size
        self.tool = []
        self.baseline = []

    def tool_time(self):
        return statistics.median(s.seconds for s in self.tool)

    def baseline_time(self):
        return statistics.median(s.seconds for s in self.baseline)

    def tool_peak(self):
        return statistics.median(s.peak_bytes for s in self.tool)

    def baseline_peak(self):
        return statistics.median(s.peak_bytes for s in self.baseline)


class Target:
    def __init__(self, name, figures, met):
        self.name = name
        self.figures = figures
        self.met = met  # None: not measured in this run

    def verdict(self):
        return {True: "met", False: "MISSED", None: "not measured"}[self.met]


def count(n):
    return "{:,}".format(n)


def secs(s):
    return "%.3f s" % s


def megabytes(b):
    return "%.1f MB" % (b / MB)


def runs(k):
    return "1 run" if k == 1 else "%d runs" % k


def _growth_steps(points):
    ordered = sorted(points, key=lambda p: p.elements)
    return list(zip(ordered, ordered[1:]))


def evaluate(results):
    sqlite, jet = results["sqlite"], results["jet"]
    targets = []
    for p in sqlite:
        limit = SQLITE_TIME_FACTOR * p.baseline_time()
        targets.append(Target(
            "SQLite, %s elements: tool median <= 1.2 x shell median" % count(p.elements),
            "tool %s, limit %s (shell %s)" % (secs(p.tool_time()), secs(limit), secs(p.baseline_time())),
            p.tool_time() <= limit))
    if results["jet_measured"]:
        for p in jet:
            targets.append(Target(
                "Jet, %s: tool median < mdb-export median" % p.label,
                "tool %s, mdb-export %s" % (secs(p.tool_time()), secs(p.baseline_time())),
                p.tool_time() < p.baseline_time()))
    else:
        targets.append(Target("Jet: tool median < mdb-export median", "Jet not run", None))

    steps = _growth_steps(sqlite)
    for small, large in steps:
        ratio = large.tool_time() / small.tool_time()
        limit = GROWTH_FACTOR * large.elements / small.elements
        targets.append(Target(
            "SQLite growth, %s -> %s elements: tool time at most x%.3g" % (
                count(small.elements), count(large.elements), limit),
            "x%.2f (%s -> %s)" % (ratio, secs(small.tool_time()), secs(large.tool_time())),
            ratio <= limit))
    if not steps:
        targets.append(Target("SQLite growth: x10 elements -> at most x12 time",
                              "needs two SQLite sizes", None))
    if results["jet_measured"]:
        for small, large in _growth_steps(jet):
            ratio = large.tool_time() / small.tool_time()
            limit = GROWTH_FACTOR * large.elements / small.elements
            targets.append(Target(
                "Jet growth, %s -> %s: tool time at most x%.3g" % (small.label, large.label, limit),
                "x%.2f (%s -> %s)" % (ratio, secs(small.tool_time()), secs(large.tool_time())),
                ratio <= limit))
        for p in jet:
            targets.append(Target(
                "Jet, %s: tool peak memory < file size" % p.label,
                "peak %s, file %s" % (megabytes(p.tool_peak()), megabytes(p.size)),
                p.tool_peak() < p.size))
    else:
        targets.append(Target("Jet growth and peak memory", "Jet not run", None))

    if results["server_measured"]:
        for p in results["server"]:
            limit = SQLITE_TIME_FACTOR * p.baseline_time()
            targets.append(Target(
                "PostgreSQL, %s elements: tool median <= 1.2 x psql median" % count(p.elements),
                "tool %s, limit %s (psql %s)" % (secs(p.tool_time()), secs(limit), secs(p.baseline_time())),
                p.tool_time() <= limit))
        at_limit = [p for p in results["server"] if p.elements == SQLITE_PEAK_AT]
        if at_limit:
            targets.append(Target(
                "PostgreSQL, %s elements: tool peak memory < 200 MB" % count(SQLITE_PEAK_AT),
                "peak %s" % megabytes(at_limit[0].tool_peak()), at_limit[0].tool_peak() < SQLITE_PEAK_LIMIT))
    else:
        targets.append(Target("PostgreSQL: tool median <= 1.2 x psql median", "PostgreSQL not run", None))

    at_limit = [p for p in sqlite if p.elements == SQLITE_PEAK_AT]
    if at_limit:
        p = at_limit[0]
        targets.append(Target(
            "SQLite, %s elements: tool peak memory < 200 MB" % count(SQLITE_PEAK_AT),
            "peak %s" % megabytes(p.tool_peak()),
            p.tool_peak() < SQLITE_PEAK_LIMIT))
    else:
        targets.append(Target(
            "SQLite, %s elements: tool peak memory < 200 MB" % count(SQLITE_PEAK_AT),
            "%s elements not among the sizes run" % count(SQLITE_PEAK_AT), None))
    return targets


def _table(points, baseline):
    rows = [
        "| elements | file | file size | tool | %s | tool / %s | tool peak memory | %s peak memory |"
        % (baseline, baseline, baseline),
        "|---:|---|---:|---:|---:|---:|---:|---:|",
    ]
    for p in points:
        rows.append("| %s | %s | %s | %s | %s | %.2f | %s | %s |" % (
            count(p.elements), p.label, megabytes(p.size), secs(p.tool_time()),
            secs(p.baseline_time()), p.tool_time() / p.baseline_time(),
            megabytes(p.tool_peak()), megabytes(p.baseline_peak())))
    return rows


def _growth_lines(points, baseline):
    lines = []
    for small, large in _growth_steps(points):
        lines.append("- %s -> %s elements (x%.3g): tool x%.2f, %s x%.2f" % (
            count(small.elements), count(large.elements), large.elements / small.elements,
            large.tool_time() / small.tool_time(), baseline,
            large.baseline_time() / small.baseline_time()))
    return lines or ["- needs two sizes"]


def _samples_lines(points, baseline):
    lines = []
    for p in points:
        lines.append("- %s: tool %s; %s %s" % (
            p.label,
            ", ".join("%.3f" % s.seconds for s in p.tool),
            baseline,
            ", ".join("%.3f" % s.seconds for s in p.baseline)))
    return lines


def markdown(results, targets, image_name):
    m, v = results["machine"], results["versions"]
    out = [
        "# Benchmark results",
        "",
        "Written by `bench/run` on %s in %.0f s. Each figure is the median of %s; the tool's runs"
        " alternate with the baseline's, each on a fresh copy of the input file made just before it."
        " Wall time is measured around the process, peak memory is the maximum resident set size"
        " reported by `/usr/bin/time -v`. MB are 10^6 bytes." % (
            results["date"], results["duration"], runs(results["runs"])),
        "",
        "## Machine",
        "",
        "- CPU: %s, %d cores" % (m["cpu"], m["cores"]),
        "- memory: %s" % m["memory"],
        "- system: %s" % m["system"],
        "- load average (1, 5, 15 minutes): %s" % m["load"],
        "",
        "## Versions",
        "",
        "- reconsider-tagger: %s" % v["tool"],
        "- sqlite3 shell: %s (Python's sqlite3 module, which computes the statements, uses SQLite %s)"
        % (v["sqlite3"], v["python_sqlite"]),
        "- mdbtools: %s" % v["mdbtools"],
        "- PostgreSQL server: %s; %s" % (v["postgresql"], v["psql"]),
        "- SQLite repositories: `%s` with seed %d" % (v["generator"], results["seed"]),
        "",
        "## SQLite",
        "",
        "Baseline: the `sqlite3` shell running the statements the tool runs, with the same texts, in one"
        " transaction, output to /dev/null.",
        "",
    ]
    out += _table(results["sqlite"], "sqlite3") if results["sqlite"] else ["No SQLite sizes were run."]
    out += ["", "## Jet", ""]
    if results["jet_measured"]:
        out += ["Baseline: `mdb-export FILE TABLE > /dev/null` for t_package, t_object, t_objectproperties"
                " and t_connector, one after another: the time is their total, the peak memory the"
                " largest of the four.", ""]
        out += _table(results["jet"], "mdb-export")
    else:
        out += ["Not run (`--no-jet`)."]
    out += ["", "## PostgreSQL", ""]
    if results["server_measured"]:
        out += ["Baseline: `psql` running the statements the tool runs, with the same texts (the package"
                " lookup prepared with its parameter), in one transaction, output to /dev/null. Both"
                " connect over TCP to a server on this machine; each run gets a fresh copy of the"
                " loaded database (`create database ... template ...`). The size is the database's.", ""]
        out += _table(results["server"], "psql")
    else:
        out += ["Not run (`--no-server`)."]
    out += ["", "## How time grows", "", "SQLite:", ""]
    out += _growth_lines(results["sqlite"], "sqlite3")
    if results["jet_measured"]:
        out += ["", "Jet:", ""]
        out += _growth_lines(results["jet"], "mdb-export")
    if results["server_measured"]:
        out += ["", "PostgreSQL:", ""]
        out += _growth_lines(results["server"], "psql")
    out += ["", "## Targets", "", "| target | figures | result |", "|---|---|---|"]
    out += ["| %s | %s | %s |" % (t.name, t.figures, t.verdict()) for t in targets]
    out += ["", "What the profiles showed, and what was changed for these targets:"
            " [PROFILE.md](PROFILE.md) in `bench/`."]
    out += ["", "## Median time against elements", "",
            "![Median wall time against elements, log-log](%s)" % image_name, ""]
    out += ["## Every run (seconds)", ""]
    out += _samples_lines(results["sqlite"], "sqlite3")
    if results["jet_measured"]:
        out += _samples_lines(results["jet"], "mdb-export")
    if results["server_measured"]:
        out += _samples_lines(results["server"], "psql")
    return "\n".join(out) + "\n"


def _datablock(name, points):
    lines = ["$%s << EOD" % name]
    lines += ["%d %.6f %.6f" % (p.elements, p.tool_time(), p.baseline_time()) for p in points]
    lines.append("EOD")
    return lines


def _gnuplot_script(results, png_path, terminal):
    series = []
    script = []
    if results["sqlite"]:
        script += _datablock("sqlite", results["sqlite"])
        series += ["$sqlite using 1:2 with linespoints title 'reconsider-tagger, SQLite'",
                   "$sqlite using 1:3 with linespoints title 'sqlite3 shell'"]
    if results["jet_measured"]:
        script += _datablock("jet", results["jet"])
        series += ["$jet using 1:2 with linespoints title 'reconsider-tagger, Jet'",
                   "$jet using 1:3 with linespoints title 'mdb-export, four tables'"]
    if results["server_measured"] and results["server"]:
        script += _datablock("server", results["server"])
        series += ["$server using 1:2 with linespoints title 'reconsider-tagger, PostgreSQL'",
                   "$server using 1:3 with linespoints title 'psql'"]
    elements = [p.elements for p in results["sqlite"] + (results["jet"] if results["jet_measured"] else [])
                + results["server"]]
    script += [
        "set terminal %s size 900,600" % terminal,
        "set output '%s'" % png_path.replace("'", "''"),
        "set logscale xy",
        "set xrange [%g:%g]" % (min(elements) / 2, max(elements) * 2),
        "set xlabel 'elements'",
        "set ylabel 'median wall time (s)'",
        "set title 'median of %s'" % runs(results["runs"]),
        "set grid xtics ytics mxtics mytics",
        "set key top left",
        "plot " + ", ".join(series),
    ]
    return "\n".join(script) + "\n"


def plot(results, png_path):
    """Draws the plot; gnuplot-nox builds normally have pngcairo, but the
    plain png terminal is tried when they do not."""
    errors = []
    for terminal in ("pngcairo", "png"):
        done = subprocess.run(["gnuplot"], input=_gnuplot_script(results, png_path, terminal),
                              text=True, capture_output=True)
        if done.returncode == 0:
            return
        errors.append("%s: %s" % (terminal, done.stderr.strip()))
    raise RuntimeError("gnuplot could not draw the plot: " + "; ".join(errors))


def summary(results, targets, output_path):
    lines = ["Benchmark done in %.0f s, medians of %s per point:" % (results["duration"], runs(results["runs"]))]
    for p in results["sqlite"]:
        lines.append("  SQLite %9s: tool %s, sqlite3 %s (x%.2f); tool peak %s" % (
            count(p.elements), secs(p.tool_time()), secs(p.baseline_time()),
            p.tool_time() / p.baseline_time(), megabytes(p.tool_peak())))
    if results["jet_measured"]:
        for p in results["jet"]:
            lines.append("  Jet    %9s: tool %s, mdb-export %s (x%.2f); tool peak %s, file %s" % (
                count(p.elements), secs(p.tool_time()), secs(p.baseline_time()),
                p.tool_time() / p.baseline_time(), megabytes(p.tool_peak()), megabytes(p.size)))
    for p in results["server"]:
        lines.append("  PostgreSQL %5s: tool %s, psql %s (x%.2f); tool peak %s" % (
            count(p.elements), secs(p.tool_time()), secs(p.baseline_time()),
            p.tool_time() / p.baseline_time(), megabytes(p.tool_peak())))
    lines.append("Targets:")
    lines += ["  %-12s %s: %s" % (t.verdict(), t.name, t.figures) for t in targets]
    lines.append("Written: %s" % output_path)
    return "\n".join(lines)

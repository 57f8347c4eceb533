#!/usr/bin/env python3
"""Side-by-side benchmark of folder watchers on the same bursts; see bench/peers.sh.

Each burst runs once per watcher alone and once with all watchers at once. For every run it
measures the share of the generator's changes that the watcher reported, whether it reported
an overflow, the time from the burst's end to its last report, its CPU seconds per 1,000
changes and its peak resident memory, and writes one markdown section into the output file.
"""
import argparse
import datetime
import os
import platform
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

QUIET_S = 3.0  # no new output for this long ends a watcher's run
RUN_LIMIT_S = 60.0  # a watcher still reporting this long after the burst is cut off

# name, mode, arguments of the generator (root is filled in), preparation before watching
FULL_BURSTS = [
    ("20 new folders × 1,000 files", "folders", [20, 1000], None),
    ("100 new folders × 1,000 files", "folders", [100, 1000], None),
    ("200 × (mkdir -p a/b/c; 10 files in it)", "nested", [200, 10], None),
    ("10,000 renames", "renames", [10000], ("prepare-renames", [10000])),
    ("50,000 appends to existing files", "appends", [50000, 1000], ("prepare-appends", [1000])),
]


def quick_bursts():
    return [
        ("2 new folders × 1,000 files", "folders", [2, 1000], None),
        ("10 new folders × 1,000 files", "folders", [10, 1000], None),
        ("20 × (mkdir -p a/b/c; 10 files in it)", "nested", [20, 10], None),
        ("1,000 renames", "renames", [1000], ("prepare-renames", [1000])),
        ("5,000 appends to existing files", "appends", [5000, 100], ("prepare-appends", [100])),
    ]


def expected_paths(root, mode, args):
    """The paths a watcher must report, and how many reports the burst makes."""
    if mode == "folders":
        folders, files = args
        return {f"{root}/d{d}/f{f}" for d in range(folders) for f in range(files)}
    if mode == "nested":
        count, files = args
        return {f"{root}/n{d}/a/b/c/f{f}" for d in range(count) for f in range(files)}
    if mode == "renames":
        return {f"{root}/r/g{i}" for i in range(args[0])}
    return None  # appends: counted, not named


# ---------------------------------------------------------------- watchers


class Watcher:
    name = ""
    quiet_s = QUIET_S  # no new output for this long: the watcher is done

    def __init__(self, tools, work, root):
        self.tools, self.work, self.root = tools, work, root
        self.out = os.path.join(work, self.name + ".out")
        self.err = os.path.join(work, self.name + ".err")
        self.proc = None

    def command(self):
        raise NotImplementedError

    def start(self):
        env = dict(os.environ)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            self.proc = subprocess.Popen(self.command(), stdout=out, stderr=err, env=env)

    def ready(self):
        return True

    def output_size(self):
        try:
            return os.path.getsize(self.out)
        except OSError:
            return 0

    def cpu_seconds(self):
        """CPU time of all the process's threads, in nanoseconds from each thread's schedstat:
        /proc/PID/stat counts 10 ms ticks, too coarse for a burst of a tenth of a second."""
        total = 0
        try:
            tasks = os.listdir(f"/proc/{self.proc.pid}/task")
        except OSError:
            return 0.0
        for task in tasks:
            try:
                with open(f"/proc/{self.proc.pid}/task/{task}/schedstat") as f:
                    total += int(f.read().split()[0])
            except (OSError, IndexError, ValueError):
                pass  # the thread ended meanwhile
        return total / 1e9

    def expected(self, root, mode, args):
        """The paths this watcher is to report; None: counted, not named."""
        return expected_paths(root, mode, args)

    def inotify_watches(self):
        """The watches its inotify descriptors hold now, None when it holds none."""
        watches = None
        fd_dir = f"/proc/{self.proc.pid}/fd"
        try:
            fds = os.listdir(fd_dir)
        except OSError:
            return None
        for fd in fds:
            try:
                if os.readlink(f"{fd_dir}/{fd}") != "anon_inode:inotify":
                    continue
                with open(f"/proc/{self.proc.pid}/fdinfo/{fd}") as f:
                    count = sum(1 for line in f if line.startswith("inotify wd:"))
            except OSError:
                continue
            watches = (watches or 0) + count
        return watches

    def peak_rss_mib(self):
        try:
            with open(f"/proc/{self.proc.pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        return int(line.split()[1]) / 1024
        except OSError:
            pass
        return 0.0

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def text(self, path, encoding="utf-8"):
        with open(path, "rb") as f:
            return f.read().decode(encoding, "replace")

    def last_report_ns(self):
        return None  # taken from the output's growth

    def overflowed(self):
        return False

    def reports(self, mode):
        """Set of reported paths for named bursts, count of modifications for appends."""
        raise NotImplementedError


def parse_log_lines(text, mode, root):
    found, modified = set(), 0
    for line in text.splitlines():
        fields = line.rstrip("\r").split("\t")
        if len(fields) < 4:
            continue
        kind, details = fields[2], fields[3]
        if kind == "修改":
            modified += 1
        elif kind == "新增":
            found.add(details)
        elif kind == "命名":
            found.add(details.split(" 命名为 ", 1)[-1])
    return modified if mode == "appends" else found


# qzxwatch without the privilege fanotify needs: the inotify engine, whoever runs the bench.
NO_ADMIN = ["setpriv", "--inh-caps=-sys_admin", "--bounding-set=-sys_admin"]


class QzxWatch(Watcher):
    """qzxwatch with the inotify engine."""
    name = "qzxwatch"

    def command(self):
        return NO_ADMIN + [self.tools["qzxwatch"], "--log",
                           os.path.join(self.work, "qzxwatch-log"), self.root]

    engine = "监控方式：inotify"

    def ready(self):
        said = self.text(self.err)
        if "监控中.." not in said:
            return False
        # A row under the wrong engine would compare the wrong things.
        if self.engine not in said:
            sys.exit(f"{self.name}: not the engine it stands for: {said.splitlines()[0]}")
        return True

    def overflowed(self):
        return "有变化丢失" in self.text(self.err)

    def reports(self, mode):
        return parse_log_lines(self.text(self.out), mode, self.root)


class QzxWatchFanotify(QzxWatch):
    """qzxwatch with the Linux choice of engine: fanotify when run as root."""
    name = "qzxwatch-fanotify"
    engine = "监控方式：fanotify"

    def command(self):
        return [self.tools["qzxwatch"], "--log",
                os.path.join(self.work, "qzxwatch-fanotify-log"), self.root]


# Every other folder of the folder bursts (d1, d3, ... and n1, n3, ...).
EXCLUDE_PATTERN = "[dn]*[13579]/"


class QzxWatchExclude(QzxWatch):
    """qzxwatch with the inotify engine and half the new folders excluded: they cost no watch,
    and their changes are not expected."""
    name = "qzxwatch-exclude"

    def command(self):
        return NO_ADMIN + [self.tools["qzxwatch"], "--exclude", EXCLUDE_PATTERN, "--log",
                           os.path.join(self.work, "qzxwatch-exclude-log"), self.root]

    def expected(self, root, mode, args):
        paths = expected_paths(root, mode, args)
        if paths is None or mode not in ("folders", "nested"):
            return paths
        prefix = len(root) + 1
        return {p for p in paths if int(p[prefix + 1:].split("/", 1)[0]) % 2 == 0}


class Window(Watcher):
    name = "window"

    def command(self):
        self.log_dir = os.path.join(self.work, "window-log")
        # The window as a desktop user starts it: without the privilege, so with inotify.
        return NO_ADMIN + [self.tools["peer_window"], self.root, self.log_dir]

    def ready(self):
        return "监控中.." in self.text(self.out)

    def log_files(self):
        if not os.path.isdir(self.log_dir):
            return []
        return [os.path.join(self.log_dir, n) for n in sorted(os.listdir(self.log_dir))]

    def output_size(self):
        return sum(os.path.getsize(p) for p in self.log_files())

    def overflowed(self):
        return "有变化丢失" in self.text(self.out)

    def last_report_ns(self):
        # The time the list last took rows in, which it prints when stopped.
        found = re.findall(r"^last-row (\d+)$", self.text(self.out), re.M)
        return int(found[-1]) if found and int(found[-1]) > 0 else None

    def reports(self, mode):
        text = "".join(self.text(p, "gbk") for p in self.log_files())
        return parse_log_lines(text, mode, self.root)


class InotifyWait(Watcher):
    name = "inotifywait"

    def command(self):
        return ["inotifywait", "-m", "-r", "-e", "create,delete,modify,attrib,move",
                "--format", "%e %w%f", self.root]

    def ready(self):
        return "Watches established" in self.text(self.err)

    def overflowed(self):
        return "OVERFLOW" in self.text(self.out) + self.text(self.err)

    def reports(self, mode):
        found, modified = set(), 0
        for line in self.text(self.out).splitlines():
            events, _, path = line.partition(" ")
            kinds = events.split(",")
            if "MODIFY" in kinds:
                modified += 1
            if "ISDIR" in kinds:
                continue
            if "CREATE" in kinds or "MOVED_TO" in kinds:
                found.add(path)
        return modified if mode == "appends" else found


class FsWatch(Watcher):
    name = "fswatch"
    # It goes silent for seconds while it sets up new folders, then reports again.
    quiet_s = 10.0

    def command(self):
        events = ["Created", "Updated", "Removed", "Renamed", "MovedFrom", "MovedTo",
                  "AttributeModified", "Overflow"]
        return ["fswatch", "-m", "inotify_monitor", "-r", "-x"] + \
            [a for e in events for a in ("--event", e)] + [self.root]

    def ready(self):
        # fswatch says nothing when it is set up; give it its one-second latency and a half.
        return time.monotonic() - self.started >= 1.5

    def start(self):
        self.started = time.monotonic()
        super().start()

    def overflowed(self):
        return "Overflow" in self.text(self.out)

    def reports(self, mode):
        found, modified = set(), 0
        for line in self.text(self.out).splitlines():
            # A line is "path flag flag ..."; no path of a burst has a blank.
            parts = line.split(" ")
            path, flags = parts[0], parts[1:]
            if "Updated" in flags:
                modified += 1
            if "IsDir" in flags:
                continue
            if "Created" in flags or "MovedTo" in flags:
                found.add(path)
        # Each append is reported twice (the write and the close after it).
        return (modified + 1) // 2 if mode == "appends" else found


class Floor(Watcher):
    name = "floor"

    def command(self):
        return [self.tools["inotify_floor"], self.root]

    def ready(self):
        return "ready" in self.text(self.err)

    def output_size(self):
        return 0  # prints only when stopped; its last read time comes with the counts

    def counts(self):
        values = {}
        for line in self.text(self.out).splitlines():
            key, _, value = line.partition(" ")
            if value:
                values[key] = int(value)
        return values

    def last_report_ns(self):
        return self.counts().get("last") or None

    def overflowed(self):
        return self.counts().get("overflows", 0) > 0

    def reports(self, mode):
        c = self.counts()
        return {"folders": c.get("created_files", 0), "nested": c.get("created_files", 0),
                "renames": c.get("moved_to", 0), "appends": c.get("modified", 0)}[mode]


WATCHERS = [QzxWatch, QzxWatchFanotify, Window, InotifyWait, FsWatch, Floor, QzxWatchExclude]


# ---------------------------------------------------------------- runs


def generate(tools, mode, root, args):
    result = subprocess.run([tools["burst_gen"], mode, root] + [str(a) for a in args],
                            capture_output=True, text=True, check=True)
    values = dict(line.split() for line in result.stdout.splitlines())
    return int(values["truth"]), int(values["end"])


def start_stream(tools, work, per_minute):
    """Changes elsewhere on the same file system, beside the watched folder, while the burst
    runs; None when none are asked for."""
    if not per_minute:
        return None
    elsewhere = os.path.join(work, "elsewhere")
    os.mkdir(elsewhere)
    return subprocess.Popen([tools["burst_gen"], "stream", elsewhere, str(per_minute)])


def run(tools, burst, classes, per_minute=0):
    title, mode, args, prepare = burst
    work = tempfile.mkdtemp(prefix="qzx-peers-")
    root = os.path.join(work, "root")
    os.mkdir(root)
    stream = None
    try:
        if prepare:
            generate(tools, prepare[0], root, prepare[1])
        watchers = [c(tools, work, root) for c in classes]
        for w in watchers:
            w.start()
        deadline = time.monotonic() + 120
        while not all(w.ready() for w in watchers):
            if time.monotonic() > deadline or any(w.proc.poll() is not None for w in watchers):
                raise RuntimeError("a watcher did not get ready: " +
                                   ", ".join(w.name for w in watchers if not w.ready()))
            time.sleep(0.05)
        stream = start_stream(tools, work, per_minute)
        time.sleep(0.5)  # let each settle after its set-up
        cpu_before = {w.name: w.cpu_seconds() for w in watchers}
        truth, end_ns = generate(tools, mode, root, args)
        sizes = {w.name: w.output_size() for w in watchers}
        # Output that does not grow after the burst was all there when the burst ended.
        last_change = {w.name: end_ns for w in watchers}
        changed_at = {w.name: time.monotonic() for w in watchers}
        limit = time.monotonic() + RUN_LIMIT_S
        cut_off = set()

        def settled():
            return all(time.monotonic() - changed_at[w.name] >= w.quiet_s for w in watchers)

        while not settled() and time.monotonic() < limit:
            time.sleep(0.02)
            for w in watchers:
                size = w.output_size()
                if size != sizes[w.name]:
                    sizes[w.name] = size
                    last_change[w.name] = time.time_ns()
                    changed_at[w.name] = time.monotonic()
        if not settled():
            cut_off = {w.name for w in watchers
                       if time.monotonic() - changed_at[w.name] < w.quiet_s}
        cpu = {w.name: w.cpu_seconds() - cpu_before[w.name] for w in watchers}
        watches = {w.name: w.inotify_watches() for w in watchers}
        if stream:
            stream.terminate()
            stream.wait()
        rss = {w.name: w.peak_rss_mib() for w in watchers}
        for w in watchers:
            w.stop()
        rows = {}
        for w in watchers:
            got = w.reports(mode)
            expected = w.expected(root, mode, args)
            if isinstance(got, set):
                captured = len(got & expected)
                share = captured / len(expected) if expected else 0.0
            else:
                captured = min(got, truth)
                share = captured / truth if truth else 0.0
            last_ns = w.last_report_ns() or last_change[w.name]
            rows[w.name] = {
                "share": share,
                "overflow": w.overflowed(),
                "last_s": max(0.0, (last_ns - end_ns) / 1e9),
                "cut_off": w.name in cut_off,
                "cpu_per_k": cpu[w.name] / truth * 1000 if truth else 0.0,
                "cpu": cpu[w.name],
                "rss": rss[w.name],
                "watches": watches[w.name],
            }
        return truth, rows
    finally:
        if stream and stream.poll() is None:
            stream.kill()
            stream.wait()
        for w in locals().get("watchers", []):
            if w.proc and w.proc.poll() is None:
                w.proc.kill()
                w.proc.wait()
        shutil.rmtree(work, ignore_errors=True)


# ---------------------------------------------------------------- report


def machine_text():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    queued = open("/proc/sys/fs/inotify/max_queued_events").read().strip()
    versions = []
    for tool, flag in (("inotifywait", "--help"), ("fswatch", "--version")):
        out = subprocess.run([tool, flag], capture_output=True, text=True)
        first = (out.stdout or out.stderr).splitlines()[0] if (out.stdout or out.stderr) else ""
        versions.append(first.strip())
    return (f"{model}, {os.cpu_count()} cores, {mem:.0f} GiB, Linux {platform.release()}, "
            f"fs.inotify.max_queued_events {queued}; {'; '.join(versions)}")


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def combine(repeats, baseline="inotifywait"):
    """One row per watcher from the repeated runs of one kind: the median CPU per change, the
    median and range of its ratio to the baseline's in the same repetition, and the worst of the
    rest (lowest share, latest last report, highest memory, any overflow or cut-off)."""
    rows = {}
    for name in repeats[0]:
        runs = [r[name] for r in repeats]
        ratios = [r[name]["cpu_per_k"] / r[baseline]["cpu_per_k"] for r in repeats
                  if baseline in r and r[baseline]["cpu_per_k"] > 0]
        rows[name] = {
            "share": min(r["share"] for r in runs),
            "overflow": any(r["overflow"] for r in runs),
            "last_s": max(r["last_s"] for r in runs),
            "cut_off": any(r["cut_off"] for r in runs),
            "cpu_per_k": median(r["cpu_per_k"] for r in runs),
            "ratios": ratios,
            "rss": max(r["rss"] for r in runs),
            "watches": max((r["watches"] for r in runs if r["watches"] is not None),
                           default=None),
        }
    return rows


def ratio_text(ratios):
    if not ratios:
        return "–"
    if len(ratios) == 1:
        return f"{ratios[0]:.2f}×"
    return f"{median(ratios):.2f}× ({min(ratios):.2f}–{max(ratios):.2f})"


def section(label, quick, repeat, results, started, per_minute=0, baseline="inotifywait"):
    lines = [f"## Results: {label}", ""]
    lines.append(f"Run {started:%Y-%m-%d %H:%M} UTC{' (quick mode: bursts one tenth of the size)' if quick else ''}"
                 f" on {machine_text()}.")
    if per_minute:
        lines.append("")
        lines.append(f"Throughout each burst another process made {per_minute:,} changes a minute "
                     "in a folder beside the watched one, on the same file system (not counted "
                     "in the changes).")
    if any(QzxWatchExclude.name in rows for _, _, runs in results for _, rows in runs):
        lines.append("")
        lines.append(f"{QzxWatchExclude.name} runs with `--exclude '{EXCLUDE_PATTERN}'`, which "
                     "leaves out every other new folder: its captured share is of the changes "
                     "outside them, its CPU per 1,000 changes of the whole burst, its watches "
                     "those held when the burst was over.")
    if repeat > 1:
        lines.append("")
        lines.append(f"Each run was repeated {repeat} times, the watchers taking turns: CPU is the "
                     f"median, the ratio the median (and range) of the ratios to {baseline} in the "
                     "same repetition; captured, last report and memory are the worst of the "
                     "repetitions.")
    lines.append("")
    lines.append("| burst | run | watcher | captured | overflow reported | last report after burst (s) "
                 f"| CPU s per 1,000 changes | vs {baseline} | peak RSS (MiB) | inotify watches |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|")
    for title, truth, runs in results:
        for run_name, rows in runs:
            for name, r in rows.items():
                lines.append(
                    f"| {title} ({truth:,} changes) | {run_name} | {name} | {r['share'] * 100:.1f}% "
                    f"| {'yes' if r['overflow'] else 'no'} "
                    f"| {'> ' if r['cut_off'] else ''}{r['last_s']:.2f} | {r['cpu_per_k']:.3f} "
                    f"| {ratio_text(r['ratios'])} | {r['rss']:.1f} "
                    f"| {'–' if r['watches'] is None else r['watches']} |")
    lines.append("")
    return "\n".join(lines)


def write_section(path, label, text):
    """Replaces the section of this label in path, or adds it at the end."""
    old = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
    pattern = re.compile(rf"^## Results: {re.escape(label)}\n.*?(?=^## |\Z)", re.S | re.M)
    if pattern.search(old):
        new = pattern.sub(lambda _: text + "\n", old)
    else:
        new = old.rstrip("\n") + ("\n\n" if old else "") + text + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(new)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tools", required=True, help="folder with qzxwatch, peer_window, "
                        "burst_gen and inotify_floor")
    parser.add_argument("--quick", action="store_true", help="bursts one tenth of the size")
    parser.add_argument("--label", default="latest", help="name of the results section")
    parser.add_argument("--out", required=True, help="markdown file to write the section into")
    parser.add_argument("--only", default="", help="comma-separated watchers (default: all)")
    parser.add_argument("--repeat", type=int, default=1,
                        help="runs of each kind per burst; the table gives medians")
    parser.add_argument("--baseline", default="inotifywait",
                        help="the watcher whose CPU per change the others are divided by")
    parser.add_argument("--bursts", default="", metavar="TEXT",
                        help="only the bursts whose title holds TEXT")
    parser.add_argument("--outside", type=int, default=0, metavar="PER_MINUTE",
                        help="changes a minute made beside the watched folder during each burst")
    options = parser.parse_args()
    # Stopped from outside, the runs still end their watchers and remove their folders.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    tools = {n: os.path.join(options.tools, n)
             for n in ("qzxwatch", "peer_window", "burst_gen",
                       "inotify_floor")}
    classes = [c for c in WATCHERS if not options.only or c.name in options.only.split(",")]
    started = datetime.datetime.now(datetime.timezone.utc)
    results = []
    bursts = [b for b in (quick_bursts() if options.quick else FULL_BURSTS)
              if options.bursts in b[0]]
    for burst in bursts:
        alone, together = [], []
        truth = 0
        for repetition in range(options.repeat):
            # Alone, each against inotifywait alone in the same repetition; the order turns
            # from one repetition to the next, so that none always runs first after a clean-up.
            rows_alone = {}
            turn = repetition % len(classes)
            for c in classes[turn:] + classes[:turn]:
                truth, rows = run(tools, burst, [c], options.outside)
                rows_alone.update(rows)
                print(f"{burst[0]}: {c.name} alone {rows[c.name]}", file=sys.stderr, flush=True)
            alone.append(rows_alone)
            if len(classes) > 1:
                truth, rows = run(tools, burst, classes, options.outside)
                together.append(rows)
                for name, r in rows.items():
                    print(f"{burst[0]}: {name} together {r}", file=sys.stderr, flush=True)
        runs = [("alone", combine(alone, options.baseline))]
        if together:
            runs.append(("all at once", combine(together, options.baseline)))
        results.append((burst[0], truth, runs))
    write_section(options.out, options.label,
                  section(options.label, options.quick, options.repeat, results, started,
                          options.outside, options.baseline))

if __name__ == "__main__":
    main()

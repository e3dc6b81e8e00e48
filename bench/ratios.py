#!/usr/bin/env python3
"""Turns a run of dwxvmm_bench (its JSON output) into Markdown tables.

Usage: ratios.py RESULTS.json [MACHINE-NOTE]

Times are the median CPU time of the repetitions. A ratio is the time of the
library with a model divided by the time of a peer in the same run. Exits 1
when a workload reported an error (its read-back check failed).
"""
import json
import os
import platform
import sys

MODELS = ["fast", "compact", "small", "hashed", "derived"]
PEERS = ["memcpy", "flat", "srecord", "map"]
STORES = MODELS + PEERS
UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}

# The peer each workload is judged against.
def reference(workload):
    if workload.startswith(("block_", "load_binary")):
        return "memcpy"
    if workload.startswith("byte_") and workload.endswith("_seq"):
        return "srecord"
    if workload.startswith("byte_"):
        return "map"
    if workload.startswith("enumerate"):
        return "map"
    return "flat"

# (what, workloads, peer, limit)
TARGETS = [
    ("block writes into mapped pages", "block_write_mapped", ["4KiB", "64KiB", "1MiB"], "memcpy", 1.15),
    ("block writes into fresh memory", "block_write_fresh", ["4KiB", "64KiB", "1MiB"], "memcpy", 1.4),
    ("block reads", "block_read", ["4KiB", "64KiB", "1MiB"], "memcpy", 1.2),
    ("sequential byte writes", "byte_write_seq", [None], "srecord", 1.0),
    ("sequential byte reads", "byte_read_seq", [None], "srecord", 1.0),
    ("random byte rewrites", "byte_rewrite_random", [None], "map", 1.0),
    ("random byte reads", "byte_read_random", [None], "map", 1.0),
]
MEMORY_LIMIT = 1.142
# The hashed model: (what, workload, peer, limit), peers "map" or "fast".
HASHED_TARGETS = [
    ("scattered byte rewrites", "byte_rewrite_random", "map", 0.8),
    ("scattered byte reads", "byte_read_random", "map", 0.8),
    ("rewrites in 8,192 scattered pages", "byte_rewrite_pages", "map", 0.8),
    ("reads in 8,192 scattered pages", "byte_read_pages", "map", 0.8),
    ("dense random rewrites", "byte_rewrite_dense", "fast", 1.1),
    ("dense random reads", "byte_read_dense", "fast", 1.1),
    ("sequential byte writes", "byte_write_seq", "fast", 1.1),
    ("sequential byte reads", "byte_read_seq", "fast", 1.1),
] + [(what, f"{w}/{size}", "fast", 1.1)
     for what, w in (("block writes into fresh memory", "block_write_fresh"),
                     ("block writes into mapped pages", "block_write_mapped"),
                     ("block reads", "block_read"))
     for size in ("256B", "4KiB", "64KiB", "1MiB")]
HASHED_MEMORY_LIMIT = 1.15


def load(path):
    with open(path) as f:
        doc = json.load(f)
    times, counters, broken = {}, {}, []
    for b in doc["benchmarks"]:
        name = b.get("run_name", b["name"]).replace("/real_time", "")
        name = name.split("/iterations:")[0]
        workload, store = name.rsplit("/", 1)
        if b.get("error_occurred"):
            broken.append(f"{name}: {b.get('error_message', 'error')}")
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        times[(workload, store)] = b["cpu_time"] * UNIT[b.get("time_unit", "ns")]
        for c in ("own_per_byte", "rss_per_byte", "book_heap_per_page",
                  "book_own_per_page"):
            if c in b:
                counters[(store, c)] = b[c]
    return doc.get("context", {}), times, counters, broken


def fmt(x, digits=2):
    return "—" if x is None else f"{x:.{digits}f}"


def machine(context, extra):
    model = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
        with open("/proc/meminfo") as f:
            mem = int(f.readline().split()[1]) / 2**20
    except OSError:
        mem = 0
    return (f"{model}, {context.get('num_cpus', os.cpu_count())} cores, "
            f"{mem:.0f} GiB, Linux {platform.release()}"
            + (f", {extra}" if extra else "")
            + f", {context.get('date', '')}")


def main():
    context, times, counters, broken = load(sys.argv[1])
    workloads = []
    for (w, _s) in times:
        if w not in workloads and not w.startswith("memory"):
            workloads.append(w)

    def ratio(w, a, b):
        ta, tb = times.get((w, a)), times.get((w, b))
        return ta / tb if ta is not None and tb else None

    extra = sys.argv[2] if len(sys.argv) > 2 else ""
    print(f"Machine: {machine(context, extra)}\n")
    print("Median CPU time per run, ms:\n")
    print("| workload | " + " | ".join(STORES) + " |")
    print("|---|" + "---:|" * len(STORES))
    for w in workloads:
        cells = [fmt(times.get((w, s)), 3) for s in STORES]
        print(f"| {w} | " + " | ".join(cells) + " |")

    print("\nRatios, library / peer (below 1: the library is faster):\n")
    cols = [f"fast/{p}" for p in PEERS] + ["compact/ref", "small/ref",
                                           "hashed/ref", "hashed/fast",
                                           "derived/ref"]
    print("| workload | ref | " + " | ".join(cols) + " |")
    print("|---|---|" + "---:|" * len(cols))
    for w in workloads:
        ref = reference(w)
        cells = [fmt(ratio(w, "fast", p)) for p in PEERS]
        cells += [fmt(ratio(w, m, ref)) for m in ("compact", "small", "hashed")]
        cells += [fmt(ratio(w, "hashed", "fast")), fmt(ratio(w, "derived", ref))]
        print(f"| {w} | {ref} | " + " | ".join(cells) + " |")

    print("\nMemory per data byte, dense 64 MiB image:\n")
    print("| store | own figure | peak resident |")
    print("|---|---:|---:|")
    for s in STORES:
        own = counters.get((s, "own_per_byte"))
        rss = counters.get((s, "rss_per_byte"))
        if own is not None or rss is not None:
            print(f"| {s} | {fmt(own, 4)} | {fmt(rss, 4)} |")

    print("\nBookkeeping of 8,192 scattered pages (all but the pages' data and"
          " bitmaps), bytes per page:\n")
    print("| store | heap | own figure |")
    print("|---|---:|---:|")
    for s in STORES:
        heap = counters.get((s, "book_heap_per_page"))
        own = counters.get((s, "book_own_per_page"))
        if heap is not None:
            print(f"| {s} | {fmt(heap, 1)} | {fmt(own, 1)} |")

    def targets(model, rows, memory_limit):
        """rows: (what, workload, peer, limit); then the dense memory."""
        print(f"\nTargets ({model} model):\n")
        print("| target | workload | ratio | limit | met |")
        print("|---|---|---:|---:|---|")
        for what, w, peer, limit in rows:
            r = ratio(w, model, peer)
            met = "—" if r is None else ("yes" if r <= limit else "**no**")
            print(f"| {what} | {w} | {fmt(r)} x {peer} | {limit} | {met} |")
        own = counters.get((model, "own_per_byte"))
        met = "—" if own is None else ("yes" if own <= memory_limit else "**no**")
        print(f"| memory per data byte | memory | {fmt(own, 4)} | {memory_limit} | {met} |")

    targets("hashed", HASHED_TARGETS, HASHED_MEMORY_LIMIT)
    hb, mb = (counters.get((s, "book_heap_per_page")) for s in ("hashed", "map"))
    r = hb / mb if hb is not None and mb else None
    met = "—" if r is None else ("yes" if r <= 1 else "**no**")
    print(f"| bookkeeping, 8,192 pages | memory | {fmt(r)} x map | 1.0 | {met} |")
    targets("fast", [(what, w if size is None else f"{w}/{size}", peer, limit)
                     for what, w, sizes, peer, limit in TARGETS
                     for size in sizes], MEMORY_LIMIT)

    if broken:
        print("\nBroken runs (no figure):")
        for b in broken:
            print(f"- {b}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

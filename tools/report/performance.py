"""The performance report's figures, derived from QuilletBench's samples: summaries, floors, the cost
model and the verdicts that performance.md.j2 states. Nothing here is measured or typed in: every figure
comes from the data."""

import math
import statistics
from dataclasses import dataclass, field

CLASSES = ("application", "client", "cache")

# Within this fraction of the model a command's time counts as accounted for: the machine's noise between
# runs is of that order.
MODEL_TOLERANCE = 0.15


@dataclass
class Summary:
    count: int = 0
    median: float = 0.0
    low: float = 0.0  # lower quartile
    high: float = 0.0  # upper quartile
    minimum: float = 0.0
    maximum: float = 0.0


def summarize(samples):
    """Quartiles interpolate linearly between neighbouring samples, as QuilletBench's own medians do."""
    if not samples:
        return Summary()
    if len(samples) == 1:
        return Summary(1, *([samples[0]] * 5))
    low, median, high = statistics.quantiles(samples, n=4, method="inclusive")
    return Summary(len(samples), median, low, high, min(samples), max(samples))


def median(samples):
    return summarize(samples).median


def milliseconds(series):
    return [sample["ms"] for sample in series["samples"]]


@dataclass
class Costs:
    """The medians that every floor and the model use."""

    sta: float  # MinimalSta's start-up: the apartment is part of every floor
    activation: dict  # one bare activation by class
    call: float  # a round trip on an existing object
    overhead: float  # paid once by a process that uses the service, beyond its activations

    def floor(self, objects):
        return self.sta + sum(objects[name] * self.activation[name] for name in CLASSES)


@dataclass
class Row:
    """One series against its floor."""

    label: str
    situation: str
    applications: int
    limit_ms: float  # a target of its own: a median below this; 0 when none
    time: Summary
    objects: dict = field(default_factory=lambda: dict.fromkeys(CLASSES, 0))
    calls: int = 0
    varies: bool = False  # the samples did not all do the same service work
    floor: float = 0.0
    model: float = 0.0  # the floor + the once-per-process cost + the calls beyond each Initialize

    @property
    def object_count(self):
        return sum(self.objects.values())

    @property
    def ratio(self):
        return self.time.median / self.floor if self.time.count and self.floor > 0 else 0.0

    @property
    def within_limit(self):
        return self.time.count > 0 and self.time.median < self.limit_ms


def evaluate(series, costs):
    samples = series["samples"]
    row = Row(series["label"], series["situation"], series["applications"], series["limitMs"],
              summarize(milliseconds(series)))
    if samples:
        first = samples[0]
        row.objects, row.calls = first["objects"], first["calls"]
        row.varies = any(s["objects"] != row.objects or s["calls"] != row.calls for s in samples)
    row.floor = costs.floor(row.objects)
    row.model = row.floor
    if row.object_count > 0:
        # Each object's Initialize is part of its activation; every other call is a round trip of its own.
        row.model += costs.overhead + max(0, row.calls - row.object_count) * costs.call
    return row


def probe_times(probes):
    """ActivationProbe's runs: the first activation, the mean of the later two, and what the process paid
    outside its three activations."""
    first, later, outside = [], [], []
    for probe in probes:
        runs = [probe["create"][i] + probe["initialize"][i] + probe["release"][i] for i in range(3)]
        first.append(runs[0])
        later.append((runs[1] + runs[2]) / 2)
        outside.append(probe["wall"] - runs[0] - runs[1] - runs[2])
    return first, later, outside


def round_costs(data):
    activations = data["activations"]
    sta = median(milliseconds(data["startups"]["sta"]))
    first, later, outside = probe_times(data["probes"])
    # A probe run less its three activations is a start-up like MinimalSta's plus what using the service
    # added to the process once; its first activation's extra set-up counts to that as well.
    overhead = max(0.0, median(outside) - sta + median(first) - median(later)) if outside else 0.0
    return Costs(sta, {name: median(activations[name]) for name in CLASSES},
                 median(data["calls"]["service"]), overhead)


def scale_costs(data, costs):
    """The same with the start-up and activations sampled between the scale samples, where there are any:
    the load may have changed since the rounds."""
    scale = data["scale"]
    sta = milliseconds(scale["sta"])
    activations = scale["activations"]
    return Costs(median(sta) if sta else costs.sta,
                 {name: median(activations[name]) if activations[name] else costs.activation[name]
                  for name in CLASSES},
                 costs.call, costs.overhead)


def commands_against_floor(commands, costs, target):
    """What the model accounts for, how many objects a command needs before it can meet the target at all,
    and why each command that misses it does."""
    furthest = None
    for row in commands:
        if row.time.count and row.object_count and row.model > 0:
            fraction = abs(row.time.median - row.model) / row.model
            if furthest is None or fraction > furthest[1]:
                furthest = (row, fraction)
    # The target allows (target - 1) of the floor above it, and a command that reaches the service pays the
    # once-per-process cost above its floor whatever it does: floors below this cannot make room for it.
    least_floor = costs.overhead / (target - 1)
    mean_activation = sum(costs.activation.values()) / len(CLASSES)
    needed = max(0, math.ceil((least_floor - costs.sta) / mean_activation)) if mean_activation > 0 else 0
    missed = [row for row in commands if row.time.count and row.ratio > target]
    roomy = [row for row in missed if row.object_count and row.object_count >= needed]
    return {
        "furthest": furthest[0] if furthest else None,
        "deviation": furthest[1] if furthest else 0.0,
        "within_tolerance": furthest is None or furthest[1] <= MODEL_TOLERANCE,
        "tolerance": MODEL_TOLERANCE,
        "least_floor": least_floor,
        "needed": needed,
        "missed": missed,
        "missed_start_up": [row for row in missed if row.object_count == 0],
        "missed_overhead": [row for row in missed if 0 < row.object_count < needed],
        # Floors with room for the once-per-process cost: the calls' round trips past the target, or the rest.
        "missed_calls": [row for row in roomy if row.model > target * row.floor],
        "missed_own": [row for row in roomy if row.model <= target * row.floor],
    }


def failures(data):
    """Every failed sample, each series once (the commands' help row is the start-up series)."""
    startups = data["startups"]
    scale = data["scale"]
    groups = [[startups["minimal"], startups["ole32"], startups["sta"]], data["commands"],
              [scale["sta"]], scale["idList"], scale["removeAll"], scale["large"]]
    found = []
    for series in (series for group in groups for series in group):
        label = f"{series['label']} ({series['situation']})" if series["situation"] else series["label"]
        found.extend((label, problem) for problem in series["problems"])
    return found


def plot_blocks(scale_rows):
    """gnuplot's data: a block for the id list and one for remove all, each a line per number of
    applications: count, median, lower quartile, upper quartile, floor. Blocks end with two empty lines."""
    text = ""
    for rows in scale_rows:
        for row in rows:
            if row.time.count:
                time = row.time
                text += (f"{row.applications} {time.median:.3f} {time.low:.3f} {time.high:.3f} "
                         f"{row.floor:.3f}\n")
        text += "\n\n"
    return text


def context(data, facts, loads):
    """Everything that performance.md.j2 shows."""
    settings = data["settings"]
    targets = settings["targets"]
    startups = {name: summarize(milliseconds(series)) for name, series in data["startups"].items()}
    costs = round_costs(data)
    commands = [evaluate(series, costs) for series in data["commands"]]
    scale = data["scale"]
    at_scale = scale_costs(data, costs)
    id_list = [evaluate(series, at_scale) for series in scale["idList"]]
    remove_all = [evaluate(series, at_scale) for series in scale["removeAll"]]
    large = [evaluate(series, at_scale) for series in scale["large"]]
    first, later, _ = probe_times(data["probes"])
    activations = data["activations"]
    pipe = data["pipe"]

    measured = [row for row in commands if row.time.count]
    growth = None
    if len(id_list) >= 2 and id_list[0].time.count and id_list[-1].time.count:
        small, big = id_list[0], id_list[-1]
        growth = {
            "small": small,
            "large": big,
            "ratio": big.time.median / small.time.median,
            "per_application_us": 1000 * (big.time.median - small.time.median)
            / (big.applications - small.applications),
        }
    largest_remove_all = remove_all[-1] if remove_all and remove_all[-1].time.count else None
    defaults = settings["defaults"]
    return {
        "facts": facts,
        "load": summarize(loads) if loads else None,
        "settings": settings,
        "reduced": any(settings[name] < defaults[name] for name in defaults),
        "targets": targets,
        "startups": startups,
        "help_ratio": startups["help"].median / startups["sta"].median if startups["sta"].count else 0.0,
        "costs": costs,
        "service": {
            **{name: summarize(samples) for name, samples in activations.items()},
            "call": summarize(data["calls"]["service"]),
            "bare_call": summarize(data["calls"]["bare"]),
            "enter": summarize([probe["enter"] for probe in data["probes"]]),
            "first": summarize(first),
            "later": summarize(later),
            "probe": summarize([probe["wall"] for probe in data["probes"]]),
            "per_line": summarize(pipe["perLine"]),
            "at_once": summarize(pipe["atOnce"]),
        },
        "emulator_work": costs.call - median(data["calls"]["bare"]),
        "trace_line_ms": data["traceLineMs"],
        "pipe": pipe,
        "commands": commands,
        "commands_met": sum(1 for row in measured if row.ratio <= targets["commandOverFloor"]),
        "worst": max(measured, key=lambda row: row.ratio, default=None),
        "analysis": commands_against_floor(commands, costs, targets["commandOverFloor"]),
        "scale_groups": [group for group in (id_list, remove_all, large) if group],
        "large": large,
        "growth": growth,
        "remove_all": largest_remove_all,
        "scale_sta": at_scale.sta,
        "failures": failures(data),
        "plot": plot_blocks([id_list, remove_all]),
        # The id list's panel, and remove all's beside it when measured.
        "panels": 0 if not any(row.time.count for row in id_list)
        else 1 + any(row.time.count for row in remove_all),
    }

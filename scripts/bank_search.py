"""What the bank's measuring scripts share: a one-program song rendered by
FluidSynth with FluidR3 GM and by fmtool convert with a bank written by
make_gm_bank.py with trial steps, and a search that moves one step knob at a
time while the score rises.

A program's steps are a dict of knob name to steps, the form of the step
tables in make_gm_bank.py (TIMBRE_STEPS, ENVELOPE_STEPS).
"""

import argparse
import copy
import functools
import os
import subprocess
import sys
import tempfile
from multiprocessing import Pool

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import make_gm_bank  # noqa: E402
import measure_gm_levels as levels  # noqa: E402
import sound_compare  # noqa: E402
import sound_render  # noqa: E402

RATE = levels.RATE
SQUARE_PROGRAMS = range(72, 88)  # played by convert on the squares: the bank's voice is not heard
DRY = ["-R", "0", "-C", "0"]      # FluidSynth without reverb and chorus


def voice(program):
    return [v for _, vs in make_gm_bank.FAMILIES for v in vs][program]


class Trial:
    """One program's song (`notes` as (key, start s, length s) at velocity
    100, `seconds` long), rendered by FluidSynth once and by convert with the
    bank's table `table` changed for this program."""

    def __init__(self, work, program, notes, seconds, table, fmtool, sf2, fluid_options=()):
        self.work, self.program, self.seconds, self.table, self.fmtool = work, program, seconds, table, fmtool
        self.mid = os.path.join(work, f"p{program}.mid")
        with open(self.mid, "wb") as f:
            f.write(levels.song_bytes(0, program, notes))
        wav = os.path.join(work, f"p{program}.fluid.wav")
        subprocess.run(["fluidsynth", "-ni", "-q", *fluid_options, "-O", "float", "-r", str(RATE), "-F", wav, sf2,
                        self.mid], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.ref = sound_compare.read_mono(wav, seconds)

    def ours(self, steps):
        """Our rendering with `steps` as this program's entry of the table."""
        tables = copy.deepcopy(getattr(make_gm_bank, self.table))
        tables[self.program] = {k: v for k, v in steps.items() if v}
        saved = getattr(make_gm_bank, self.table)
        setattr(make_gm_bank, self.table, tables)
        try:
            bank_text = make_gm_bank.render()
        finally:
            setattr(make_gm_bank, self.table, saved)
        bank = os.path.join(self.work, f"p{self.program}.opm")
        vgz = os.path.join(self.work, f"p{self.program}.vgz")
        wav = os.path.join(self.work, f"p{self.program}.ours.wav")
        with open(bank, "w") as f:
            f.write(bank_text)
        subprocess.run([self.fmtool, "convert", self.mid, "--bank", bank, "-o", vgz], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sound_render.render_vgm(vgz, wav, self.seconds)
        return sound_compare.read_mono(wav, self.seconds)


def climb(score, steps, knobs, passes, better_by):
    """Moves one knob at a time (`knobs`: (name, trial deltas)) through
    `passes` rounds, keeping a move that raises score(steps) by more than
    `better_by`. The steps found, with the score before and after."""
    first = best = score(steps)
    for _ in range(passes):
        for knob, deltas in knobs:
            start = steps.get(knob, 0)
            for delta in deltas:
                candidate = dict(steps, **{knob: start + delta})
                s = score(candidate)
                if s > best + better_by:
                    best, steps = s, candidate
    return {k: v for k, v in steps.items() if v}, first, best


def main(doc, table, search, passes):
    """The command line of a measuring script: runs search(work, program,
    fmtool, sf2, passes) -> (steps, before, after) on the programs asked for
    and prints `table` (the name of a table of make_gm_bank.py) with what it
    found."""
    ap = argparse.ArgumentParser(description=doc.splitlines()[0])
    ap.add_argument("fmtool")
    ap.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    ap.add_argument("--programs", help="comma-separated programs (default: all not on the squares)")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--passes", type=int, default=passes, help=f"rounds over the knobs (default {passes})")
    args = ap.parse_args()
    programs = ([int(p) for p in args.programs.split(",")] if args.programs
                else [p for p in range(128) if p not in SQUARE_PROGRAMS])
    with tempfile.TemporaryDirectory(prefix="gm-search-", dir="/tmp") as work:
        found = search_all(table, functools.partial(search, passes=args.passes), programs,
                           os.path.abspath(args.fmtool), args.sf2, args.jobs, work)
    print(format_table(table, found))


def search_all(table, search, programs, fmtool, sf2, jobs, work):
    """Runs search(work, program, fmtool, sf2) -> (steps, before, after) for
    each program on `jobs` processes, prints each result as it comes and
    returns the table with the steps found in place of the old ones."""
    found = copy.deepcopy(getattr(make_gm_bank, table))
    print("program  before  after  steps")
    with Pool(jobs) as pool:
        args = [(search, work, p, fmtool, sf2) for p in programs]
        for program, (steps, before, after) in zip(programs, pool.imap(_run, args)):
            found.pop(program, None)
            if steps:
                found[program] = steps
            print(f"{program:7d}  {before:6.3f}  {after:5.3f}  {steps}", flush=True)
    return found


def _run(args):
    search, *rest = args
    return search(*rest)


def format_steps(steps):
    return "{" + ", ".join(f'"{k}": {v}' for k, v in sorted(steps.items())) + "}"


def format_table(name, table, value=format_steps):
    """The table as make_gm_bank.py writes it: entries in program order,
    lines under 100 characters."""
    items = [f"{p}: {value(table[p])}," for p in sorted(table)]
    lines, line = [], "   "
    for item in items:
        if len(line) + len(item) + 1 > 100:
            lines.append(line)
            line = "   "
        line += " " + item
    return f"{name} = {{\n" + "\n".join(lines + [line]) + "\n}"

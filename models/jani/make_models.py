#!/usr/bin/env python3
"""Writes kanban.jani and fms.jani beside this script.

Both are CTMCs laid out the way a conversion from a module-based language
lays them out: one automaton per module, global variables, named actions
that synchronise through vectors (the active partner carries the rate, the
passive ones rate 1), and a one-location automaton holding the transient
reward variables. N is an open constant (san --const N=3).
"""
import json
import os

AND, GE, LE = "\u2227", "\u2265", "\u2264"


def op(name, left, right):
    return {"op": name, "left": left, "right": right}


def add(var, amount):
    return {"ref": var, "value": op("+", var, amount)}


def sub(var, amount):
    return {"ref": var, "value": op("-", var, amount)}


def gt0(var):
    return op(">", var, 0)


def ite(test, then, other):
    return {"op": "ite", "if": test, "then": then, "else": other}


def bounded(upper):
    return {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": upper}


def edge(rate, guard, destinations, action=None):
    result = {"location": "l", "rate": {"exp": rate}, "guard": {"exp": guard},
              "destinations": destinations}
    if action:
        result["action"] = action
    return result


def dest(assignments, probability=None):
    result = {"location": "l", "assignments": assignments}
    if probability is not None:
        result["probability"] = {"exp": probability}
    return result


def automaton(name, edges, transient_values=None):
    location = {"name": "l"}
    if transient_values:
        location["transient-values"] = transient_values
    return {"name": name, "locations": [location], "initial-locations": ["l"],
            "edges": edges}


def steady(name, exp):
    return {"name": name, "expression": {"op": "filter", "fun": "values",
            "values": {"op": "Smax", "exp": exp}, "states": {"op": "initial"}}}


def kanban():
    variables, automata = [], []
    for c in range(1, 5):
        for part in ("k", "m", "r", "d"):
            variables.append({"name": f"{part}{c}", "type": bounded("N"),
                              "initial-value": "N" if part == "k" else 0})
    variables += [{"name": "busy", "type": "real", "transient": True, "initial-value": 0},
                  {"name": "leaving", "type": "real", "transient": True, "initial-value": 0}]
    finish_rate = {1: 1.2, 2: 1.4, 3: 1.3, 4: 1.1}
    for c in range(1, 5):
        m, r, d, k = f"m{c}", f"r{c}", f"d{c}", f"k{c}"
        edges = [
            edge(finish_rate[c], gt0(m), [dest([sub(m, 1), add(d, 1)], 0.7),
                                         dest([sub(m, 1), add(r, 1)], 0.3)]),
            edge(0.3, gt0(r), [dest([sub(r, 1), add(m, 1)])]),
        ]
        if c == 1:
            edges.append(edge(1.0, gt0(k), [dest([sub(k, 1), add(m, 1)])]))
            edges.append(edge(0.4, gt0(d), [dest([sub(d, 1), add(k, 1)])], "s1"))
        if c in (2, 3):
            edges.append(edge(1, gt0(k), [dest([sub(k, 1), add(m, 1)])], "s1"))
            edges.append(edge(1, gt0(d), [dest([sub(d, 1), add(k, 1)])], "s2"))
        if c == 4:
            edges.append(edge(0.5, gt0(k), [dest([sub(k, 1), add(m, 1)])], "s2"))
            edges.append(edge(0.9, gt0(d), [dest([sub(d, 1), add(k, 1),
                                                  {"ref": "leaving", "value": 1}])]))
        automata.append(automaton(f"cell{c}", edges))
    busy = op("+", op("+", "m1", "m2"), op("+", "m3", "m4"))
    automata.append(automaton("rewards", [], [{"ref": "busy", "value": busy}]))
    return {
        "jani-version": 1, "name": "kanban", "type": "ctmc",
        "actions": [{"name": "s1"}, {"name": "s2"}],
        "constants": [{"name": "N", "type": "int"}],
        "variables": variables,
        "restrict-initial": {"exp": True},
        "automata": automata,
        "system": {"elements": [{"automaton": a["name"]} for a in automata],
                   "syncs": [{"synchronise": ["s1", "s1", "s1", None, None], "result": "s1"},
                             {"synchronise": [None, "s2", "s2", "s2", None], "result": "s2"}]},
        "properties": [
            steady("busy_machines", "busy"),
            steady("throughput", "leaving"),
            steady("cell1_idle", op("=", "m1", 0)),
            {"name": "full_soon", "expression": {"op": "filter", "fun": "values",
             "values": {"op": "Pmax", "exp": {"op": "F", "exp": op("=", "d4", "N"),
                                              "time-bounds": {"upper": 10}}},
             "states": {"op": "initial"}}},
        ],
    }


def fms():
    places = ["P1", "P2", "P3", "P12", "P1wM1", "P1M1", "P1s", "P1wP2", "P2wM2",
              "P2M2", "P2s", "P2wP1", "P12wM3", "P12M3", "P12s", "P3M2", "P3s"]
    variables = [{"name": p, "type": "int",
                  "initial-value": "N" if p in ("P1", "P2", "P3") else 0} for p in places]
    variables += [{"name": "M1", "type": bounded(3), "initial-value": 3},
                  {"name": "M2", "type": bounded(1), "initial-value": 1},
                  {"name": "M3", "type": bounded(2), "initial-value": 2},
                  {"name": "busy", "type": "real", "transient": True, "initial-value": 0}]
    total = op("+", op("+", "P1", "P2"), op("+", "P3", "P12"))
    load = {"op": "min", "left": 1.0,
            "right": op("/", {"op": "floor", "exp": op("/", op("*", 3, "N"), 2)}, total)}

    def start(part, waiting, working, machine):
        # A part is loaded; it takes a free machine at once or waits.
        return edge(op("*", part, load), gt0(part), [dest([
            sub(part, 1),
            {"ref": machine, "value": ite(gt0(machine), op("-", machine, 1), machine)},
            {"ref": working, "value": ite(gt0(machine), op("+", working, 1), working)},
            {"ref": waiting, "value": ite(gt0(machine), waiting, op("+", waiting, 1))}])])

    def release(waiting, working, machine):
        # The machine goes to the next waiting part at once, if any.
        return [{"ref": waiting, "value": ite(gt0(waiting), op("-", waiting, 1), waiting)},
                {"ref": working, "value": ite(gt0(waiting), working, op("-", working, 1))},
                {"ref": machine, "value": ite(gt0(waiting), machine, op("+", machine, 1))}]

    def join(mine, other):
        # A part waiting for its partner joins it at once when it is there.
        return [{"ref": other, "value": ite(gt0(other), op("-", other, 1), other)},
                {"ref": mine, "value": ite(gt0(other), mine, op("+", mine, 1))},
                {"ref": "P12", "value": ite(gt0(other), op("+", "P12", 1), "P12")}]

    def done(part, shipped, waiting, other, working, mwait, machine, rate, ship, join_p):
        return edge(op("*", rate, working), gt0(working), [
            dest(release(mwait, working, machine) + [add(shipped, 1)], ship),
            dest(release(mwait, working, machine) + join(waiting, other), join_p)])

    def back(shipped, part):
        return edge(op("/", 1.0, 60.0), gt0(shipped),
                    [dest([add(part, shipped), {"ref": shipped, "value": 0}])])

    p1 = automaton("part1", [start("P1", "P1wM1", "P1M1", "M1"),
                             done("P1", "P1s", "P1wP2", "P2wP1", "P1M1", "P1wM1", "M1", 0.25, 0.8, 0.2),
                             back("P1s", "P1"),
                             edge(1, True, [dest([add("P1", "P12s")])], "return12")])
    p2 = automaton("part2", [start("P2", "P2wM2", "P2M2", "M2"),
                             done("P2", "P2s", "P2wP1", "P1wP2", "P2M2", "P2wM2", "M2",
                                  op("/", 1.0, 6.0), 0.6, 0.4),
                             back("P2s", "P2"),
                             edge(1, True, [dest([add("P2", "P12s")])], "return12")])
    p12 = automaton("part12", [
        start("P12", "P12wM3", "P12M3", "M3"),
        edge("P12M3", gt0("P12M3"), [dest(release("P12wM3", "P12M3", "M3") + [add("P12s", 1)])]),
        edge(op("/", 1.0, 60.0), gt0("P12s"), [dest([{"ref": "P12s", "value": 0}])],
             "return12")])
    p3 = automaton("part3", [
        edge(op("*", "P3", load), gt0("P3"), [dest([sub("P3", 1), add("P3M2", 1)])]),
        edge(0.5, op(AND, gt0("P3M2"), gt0("M2")), [dest([sub("P3M2", 1), add("P3s", 1)])]),
        back("P3s", "P3")])
    busy = op("+", op("+", "P1M1", "P2M2"), op("+", "P12M3", "P3M2"))
    rewards = automaton("rewards", [], [{"ref": "busy", "value": busy}])
    automata = [p1, p2, p12, p3, rewards]
    return {
        "jani-version": 1, "name": "fms", "type": "ctmc",
        "features": ["derived-operators"],
        "actions": [{"name": "return12"}],
        "constants": [{"name": "N", "type": "int"}],
        "variables": variables,
        "restrict-initial": {"exp": True},
        "automata": automata,
        "system": {"elements": [{"automaton": a["name"]} for a in automata],
                   "syncs": [{"synchronise": ["return12", "return12", "return12", None, None],
                              "result": "return12"}]},
        "properties": [steady("busy_machines", "busy"),
                       steady("m2_free", op(">", "M2", 0))],
    }


here = os.path.dirname(os.path.abspath(__file__))
for name, model in (("kanban", kanban()), ("fms", fms())):
    with open(os.path.join(here, name + ".jani"), "w", encoding="utf-8") as out:
        json.dump(model, out, indent=1, ensure_ascii=False)
        out.write("\n")

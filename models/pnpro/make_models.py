#!/usr/bin/env python3
"""Writes kanban.pnpro and fms.pnpro (GSPNs, template N) beside this script."""
import os


def project(name, nodes, arcs):
    lines = ['<?xml version="1.0" encoding="UTF-8" standalone="no"?>',
             f'<!-- {name}: written by make_models.py -->',
             f'<project name="{name} net" version="121">',
             f'  <gspn name="{name}" show-color-cmd="false" zoom="100">',
             '    <nodes>']
    lines += ['      ' + node for node in nodes]
    lines += ['    </nodes>', '    <edges>']
    for kind, tail, head, *mult in arcs:
        extra = f' mult="{mult[0]}"' if mult else ''
        lines.append(f'      <arc head="{head}" kind="{kind}"{extra} tail="{tail}"/>')
    lines += ['    </edges>', '  </gspn>', '</project>']
    return '\n'.join(lines) + '\n'


def place(name, marking=None, x=0, y=0):
    mark = f' marking="{marking}"' if marking is not None else ''
    return f'<place{mark} name="{name}" x="{x}.0" y="{y}.0"/>'


def timed(name, delay, servers=None):
    nservers = f' nservers="{servers}"' if servers else ''
    return f'<transition delay="{delay}" name="{name}"{nservers} type="EXP" x="1.0" y="1.0"/>'


def immediate(name, weight=None, priority=None):
    w = f' weight="{weight}"' if weight else ''
    p = f' priority="{priority}"' if priority else ''
    return f'<transition name="{name}"{p} type="IMM"{w} x="1.0" y="1.0"/>'


def kanban():
    nodes = ['<template name="N" type="INTEGER" x="1.0" y="1.0"/>']
    arcs = []
    rates = {1: "1.2", 2: "1.4", 3: "1.3", 4: "1.1"}
    for c in range(1, 5):
        nodes += [place(f"kanban{c}", "N", 5 * c, 2), place(f"machining{c}", None, 5 * c, 4),
                  place(f"rework{c}", None, 5 * c, 6), place(f"check{c}", None, 5 * c, 8),
                  place(f"done{c}", None, 5 * c, 10)]
        nodes += [timed(f"finish{c}", rates[c], 1), immediate(f"good{c}", "0.7"),
                  immediate(f"bad{c}", "0.3"), timed(f"back{c}", "0.3", 1)]
        arcs += [("INPUT", f"machining{c}", f"finish{c}"), ("OUTPUT", f"finish{c}", f"check{c}"),
                 ("INPUT", f"check{c}", f"good{c}"), ("OUTPUT", f"good{c}", f"done{c}"),
                 ("INPUT", f"check{c}", f"bad{c}"), ("OUTPUT", f"bad{c}", f"rework{c}"),
                 ("INPUT", f"rework{c}", f"back{c}"), ("OUTPUT", f"back{c}", f"machining{c}")]
    nodes += [timed("enter", "1.0", 1), timed("move1", "0.4", 1), timed("move2", "0.5", 1),
              timed("leave", "0.9", 1)]
    arcs += [("INPUT", "kanban1", "enter"), ("OUTPUT", "enter", "machining1"),
             ("INPUT", "done1", "move1"), ("INPUT", "kanban2", "move1"),
             ("INPUT", "kanban3", "move1"), ("OUTPUT", "move1", "kanban1"),
             ("OUTPUT", "move1", "machining2"), ("OUTPUT", "move1", "machining3"),
             ("INPUT", "done2", "move2"), ("INPUT", "done3", "move2"),
             ("INPUT", "kanban4", "move2"), ("OUTPUT", "move2", "kanban2"),
             ("OUTPUT", "move2", "kanban3"), ("OUTPUT", "move2", "machining4"),
             ("INPUT", "done4", "leave"), ("OUTPUT", "leave", "kanban4")]
    return project("kanban", nodes, arcs)


def fms():
    nodes = ['<template name="N" type="INTEGER" x="1.0" y="1.0"/>',
             '<constant consttype="REAL" name="back" value="1.0/60.0" x="1.0" y="2.0"/>',
             '<constant consttype="INTEGER" name="limit" value="3*N/2" x="1.0" y="3.0"/>']
    names = ["P1", "P2", "P3", "M1", "M2", "M3", "P1wM1", "P1M1", "P1d", "P1s", "P1wP2",
             "P2wM2", "P2M2", "P2d", "P2s", "P2wP1", "P12", "P12wM3", "P12M3", "P12s",
             "P3M2", "P3s"]
    marks = {"P1": "N", "P2": "N", "P3": "N", "M1": "3", "M2": "1", "M3": "2"}
    nodes += [place(n, marks.get(n), i, 1) for i, n in enumerate(names)]
    load = "Min[1.0, Fract[limit, #P1 + #P2 + #P3 + #P12]]"
    arcs = []

    def loader(part, target):
        nodes.append(timed(f"t{part}", f"#{part} * {load}"))
        arcs.extend([("INPUT", part, f"t{part}"), ("OUTPUT", f"t{part}", target)])

    def machine(name, machine_place, waiting, working):
        nodes.append(immediate(f"t{name}"))
        arcs.extend([("INPUT", machine_place, f"t{name}"), ("INPUT", waiting, f"t{name}"),
                     ("OUTPUT", f"t{name}", working)])

    def returns(shipped, parts):
        nodes.append(f'<transition delay="back" guard="#{shipped} &gt; 0" name="t{shipped}"'
                     f' nservers="1" type="EXP" x="2.0" y="2.0"/>')
        arcs.append(("INPUT", shipped, f"t{shipped}", f"#{shipped}"))
        for part in parts:
            arcs.append(("OUTPUT", f"t{shipped}", part, f"#{shipped}"))

    loader("P1", "P1wM1")
    machine("M1", "M1", "P1wM1", "P1M1")
    nodes.append(timed("tP1M1", "0.25"))  # infinite server: 0.25 per busy machine
    arcs += [("INPUT", "P1M1", "tP1M1"), ("OUTPUT", "tP1M1", "P1d"), ("OUTPUT", "tP1M1", "M1")]
    nodes += [immediate("tP1ship", "0.8"), immediate("tP1wait", "0.2")]
    arcs += [("INPUT", "P1d", "tP1ship"), ("OUTPUT", "tP1ship", "P1s"),
             ("INPUT", "P1d", "tP1wait"), ("OUTPUT", "tP1wait", "P1wP2")]
    returns("P1s", ["P1"])
    loader("P2", "P2wM2")
    machine("M2", "M2", "P2wM2", "P2M2")
    nodes.append(timed("tP2M2", "1.0/6.0", 1))
    arcs += [("INPUT", "P2M2", "tP2M2"), ("OUTPUT", "tP2M2", "P2d"), ("OUTPUT", "tP2M2", "M2")]
    nodes += [immediate("tP2ship", "0.6"), immediate("tP2wait", "0.4")]
    arcs += [("INPUT", "P2d", "tP2ship"), ("OUTPUT", "tP2ship", "P2s"),
             ("INPUT", "P2d", "tP2wait"), ("OUTPUT", "tP2wait", "P2wP1")]
    returns("P2s", ["P2"])
    nodes.append(immediate("tx"))
    arcs += [("INPUT", "P1wP2", "tx"), ("INPUT", "P2wP1", "tx"), ("OUTPUT", "tx", "P12")]
    loader("P12", "P12wM3")
    machine("M3", "M3", "P12wM3", "P12M3")
    nodes.append(timed("tP12M3", "1.0"))
    arcs += [("INPUT", "P12M3", "tP12M3"), ("OUTPUT", "tP12M3", "P12s"),
             ("OUTPUT", "tP12M3", "M3")]
    returns("P12s", ["P1", "P2"])
    loader("P3", "P3M2")
    # P3 parts use M2 only while it is free, without taking it.
    nodes.append('<transition delay="0.5" guard="#M2 &gt; 0" name="tP3M2" nservers="1"'
                 ' type="EXP" x="3.0" y="3.0"/>')
    arcs += [("INPUT", "P3M2", "tP3M2"), ("OUTPUT", "tP3M2", "P3s")]
    returns("P3s", ["P3"])
    return project("fms", nodes, arcs)


here = os.path.dirname(os.path.abspath(__file__))
for name, text in (("kanban", kanban()), ("fms", fms())):
    with open(os.path.join(here, name + ".pnpro"), "w", encoding="utf-8") as out:
        out.write(text)

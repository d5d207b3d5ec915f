#!/usr/bin/python3
"""Writes examples/site-plan.dxf, the bundled site plan: three rings of an arena traced on layer
RINGS, among a site boundary, a road with arcs, a building, trees (an inserted block), texts,
construction lines on a layer that is off, and a title frame in paper space.

    generate_ovals --oa 40 --ob 24 --oc 32 --dc 20 --ae 8,12,16 --cx 2400120.35 --cy 5000085.60 \
        --rotation -28 --noise 0.02 --points 72,80,96 --decimals 3 --seed 7 --output rings.dxf
    tools/make_site_plan.py rings.dxf examples/site-plan.dxf
"""
import sys

import ezdxf


def main():
    source = ezdxf.readfile(sys.argv[1])
    rings = [[(v.dxf.location.x, v.dxf.location.y) for v in p.vertices] for p in source.modelspace().query("POLYLINE")]
    pts = [p for r in rings for p in r]
    cx = round(sum(p[0] for p in pts) / len(pts), 1)
    cy = round(sum(p[1] for p in pts) / len(pts), 1)

    doc = ezdxf.new("R2010")
    doc.units = 6  # metres
    msp = doc.modelspace()
    for name, colour in (("RINGS", 1), ("SITE", 7), ("ROAD", 8), ("BUILDINGS", 5), ("TREES", 3),
                         ("TEXT", 7), ("CONSTRUCTION", 9), ("FRAME", 7)):
        doc.layers.add(name, color=colour)
    doc.layers.get("CONSTRUCTION").off()

    for ring in rings:
        msp.add_lwpolyline(ring, close=True, dxfattribs={"layer": "RINGS"})
    msp.add_lwpolyline([(cx - 160, cy - 130), (cx + 175, cy - 125), (cx + 185, cy + 120), (cx - 150, cy + 135)],
                       close=True, dxfattribs={"layer": "SITE"})
    msp.add_lwpolyline([(cx - 160, cy - 100, 0, 0, 0.25), (cx - 20, cy - 108, 0, 0, -0.15), (cx + 180, cy - 82)],
                       format="xyseb", dxfattribs={"layer": "ROAD"})
    msp.add_lwpolyline([(cx - 160, cy - 112, 0, 0, 0.25), (cx - 20, cy - 120, 0, 0, -0.15), (cx + 180, cy - 94)],
                       format="xyseb", dxfattribs={"layer": "ROAD"})
    msp.add_lwpolyline([(cx + 95, cy + 60), (cx + 140, cy + 62), (cx + 139, cy + 95), (cx + 94, cy + 93)],
                       close=True, dxfattribs={"layer": "BUILDINGS"})
    tree = doc.blocks.new("TREE")
    tree.add_circle((0, 0), 2.5)
    tree.add_point((0, 0))
    for dx, dy in ((-120, 80), (-100, 95), (-130, 40), (110, -60), (130, -40)):
        msp.add_blockref("TREE", (cx + dx, cy + dy), dxfattribs={"layer": "TREES"})
    msp.add_text("ARENA", dxfattribs={"layer": "TEXT", "height": 6}).set_placement((cx - 18, cy))
    msp.add_text("Via dell'Anfiteatro", dxfattribs={"layer": "TEXT", "height": 3}).set_placement((cx - 60, cy - 125))
    msp.add_text("Museo", dxfattribs={"layer": "TEXT", "height": 3}).set_placement((cx + 100, cy + 75))
    msp.add_line((cx - 80, cy), (cx + 80, cy), dxfattribs={"layer": "CONSTRUCTION"})
    msp.add_line((cx, cy - 60), (cx, cy + 60), dxfattribs={"layer": "CONSTRUCTION"})
    layout = doc.layouts.get("Layout1")
    layout.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True, dxfattribs={"layer": "FRAME"})
    layout.add_text("Site plan 1:1000", dxfattribs={"layer": "FRAME", "height": 5}).set_placement((300, 10))
    doc.saveas(sys.argv[2])


main()

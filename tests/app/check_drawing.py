"""Checks a drawing written by kelmar with an independent DXF reader.

usage: check_drawing.py DRAWING POINTS CURVES
Exits 0 when the drawing reads and audits without errors and holds what a user relies on:
one POINT per digitised point first, then 26 entities for the first curve and 16 for each
later one, on their layers and colours, with consecutive arcs meeting end to start.
"""
import math
import sys

import ezdxf

LAYER_COLOURS = {
    "assi": 2, "triangolo": 1, "raggi": 4, "archi": 7,
    "Maggiore_scarto_doppio": 1, "Scarto": 2, "Minore_scarto": 7,
}


def fail(message):
    print(message)
    sys.exit(1)


def arc_end(arc, angle):
    centre, radius = arc.dxf.center, arc.dxf.radius
    a = math.radians(angle)
    return (centre.x + radius * math.cos(a), centre.y + radius * math.sin(a))


def main():
    path, points, curves = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    if auditor.has_errors:
        fail("audit errors: %s" % [str(e.message) for e in auditor.errors])
    entities = list(doc.modelspace())
    expected = points + 26 + 16 * (curves - 1)
    if len(entities) != expected:
        fail("%d entities, expected %d" % (len(entities), expected))
    for e in entities:
        layer = e.dxf.layer
        if LAYER_COLOURS.get(layer) != e.dxf.color:
            fail("%s on layer %r has colour %s" % (e.dxftype(), layer, e.dxf.color))
    if any(e.dxftype() != "POINT" for e in entities[:points]):
        fail("the drawing does not start with one POINT per point")

    at = points
    for curve in range(1, curves + 1):
        kinds = [("LINE", "assi")] * 2 + [("LINE", "triangolo")] * 8 if curve == 1 else []
        kinds += [("LINE", "raggi")] * 8 + [("ARC", "archi")] * 8
        block = entities[at:at + len(kinds)]
        at += len(kinds)
        for e, (kind, layer) in zip(block, kinds):
            if (e.dxftype(), e.dxf.layer) != (kind, layer):
                fail("curve %d: %s on %s where %s on %s was expected"
                     % (curve, e.dxftype(), e.dxf.layer, kind, layer))
        arcs = block[-8:]
        size = max(a.dxf.radius for a in arcs)
        for k in range(8):
            end = arc_end(arcs[k], arcs[k].dxf.end_angle)
            start = arc_end(arcs[(k + 1) % 8], arcs[(k + 1) % 8].dxf.start_angle)
            gap = math.hypot(end[0] - start[0], end[1] - start[1])
            if gap > 1e-9 * size:
                fail("curve %d: arc %d ends %.3g away from the start of the next" % (curve, k + 1, gap))
    print("ok")


if __name__ == "__main__":
    main()

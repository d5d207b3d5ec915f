#!/usr/bin/python3
"""Writes the test plans of kelmar's plan reading from a file of ring points.

    make_plans.py RINGS OUTDIR

RINGS holds one point a line, "ring x y" (ring counted from 1). OUTDIR receives:
  rings.dxf     the rings alone, one closed LWPOLYLINE each on layer 0
  site.dxf      the rings on layer RINGS among a site boundary and a road with arcs (SITE),
                a text, an inserted block, a layer switched off, a frozen layer, and a
                title frame in paper space; ring 2 repeats its first vertex at its end
  r12.dxf       the same rings as release-12 POLYLINE entities with the group codes at the
                left edge of their lines, and a road on layer SITE
  points.dxf    each ring as POINT entities on its own layer RING<j>, with texts beside
  spline.dxf    each ring as one closed SPLINE through its points, on layer RINGS
  fitspline.dxf each ring as a SPLINE given by its points as fit points alone (no control
                points), the first repeated at the end, on layer RINGS
  mirrored.dxf  the rings as LWPOLYLINE entities with extrusion (0, 0, -1), drawn so that
                they lie where the rings lie
  pieces.dxf    each ring in three pieces with gaps, on its own layer WALL<j>, with a text
  pieces_rings.dxf  the points of those pieces as one ring each, for comparison
  binary.dxf    the site drawing as binary DXF
"""
import math
import sys

import ezdxf


def read_rings(path):
    rings = {}
    with open(path) as f:
        for line in f:
            j, x, y = line.split()
            rings.setdefault(int(j), []).append((float(x), float(y)))
    return [rings[j] for j in sorted(rings)]


def centre_of(rings):
    pts = [p for r in rings for p in r]
    return (sum(p[0] for p in pts) / len(pts), sum(p[1] for p in pts) / len(pts))


def add_site(doc, msp, rings, ring_layer):
    cx, cy = centre_of(rings)
    doc.layers.add("SITE")
    doc.layers.add("CONSTR").off()
    doc.layers.add("FROZEN").freeze()
    doc.layers.add("FRAME")
    msp.add_lwpolyline([(cx - 150, cy - 120), (cx + 160, cy - 120), (cx + 170, cy + 110), (cx - 140, cy + 120)],
                       close=True, dxfattribs={"layer": "SITE"})
    # A road with arcs: x, y, start width, end width, bulge.
    msp.add_lwpolyline([(cx - 150, cy - 90, 0, 0, 0.3), (cx - 20, cy - 95, 0, 0, -0.2), (cx + 150, cy - 70)],
                       format="xyseb", dxfattribs={"layer": "SITE"})
    msp.add_text("Arena", dxfattribs={"layer": "SITE", "height": 5}).set_placement((cx, cy))
    tree = doc.blocks.new("TREE")
    tree.add_circle((0, 0), 2)
    tree.add_line((-2, 0), (2, 0))
    tree.add_text("T", dxfattribs={"height": 1})
    msp.add_blockref("TREE", (cx + 100, cy + 80), dxfattribs={"layer": "SITE"})
    msp.add_line((cx - 100, cy), (cx + 100, cy), dxfattribs={"layer": "CONSTR"})
    msp.add_line((cx, cy - 100), (cx, cy + 100), dxfattribs={"layer": "CONSTR"})
    msp.add_circle((cx, cy), 30, dxfattribs={"layer": "FROZEN"})
    layout = doc.layouts.get("Layout1")
    layout.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True, dxfattribs={"layer": "FRAME"})
    layout.add_text("Title", dxfattribs={"layer": "FRAME"}).set_placement((10, 10))


def main():
    rings = read_rings(sys.argv[1])
    out = sys.argv[2].rstrip("/") + "/"

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    for ring in rings:
        msp.add_lwpolyline(ring, close=True)
    doc.saveas(out + "rings.dxf")

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    doc.layers.add("RINGS")
    add_site(doc, msp, rings, "RINGS")
    for j, ring in enumerate(rings):
        if j == 1:
            msp.add_lwpolyline(ring + [ring[0]], dxfattribs={"layer": "RINGS"})
        else:
            msp.add_lwpolyline(ring, close=True, dxfattribs={"layer": "RINGS"})
    doc.saveas(out + "site.dxf")
    doc.saveas(out + "binary.dxf", fmt="bin")

    doc = ezdxf.new("R12")
    msp = doc.modelspace()
    doc.layers.add("RINGS")
    doc.layers.add("SITE")
    cx, cy = centre_of(rings)
    msp.add_polyline2d([(cx - 150, cy - 90), (cx + 150, cy - 70)], dxfattribs={"layer": "SITE"})
    for ring in rings:
        msp.add_polyline2d(ring, close=True, dxfattribs={"layer": "RINGS"})
    doc.saveas(out + "r12.dxf")
    with open(out + "r12.dxf") as f:
        lines = [line.lstrip(" ") for line in f]
    with open(out + "r12.dxf", "w") as f:
        f.writelines(lines)

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    for j, ring in enumerate(rings):
        layer = "RING%d" % (j + 1)
        doc.layers.add(layer)
        for p in ring:
            msp.add_point(p, dxfattribs={"layer": layer})
        msp.add_text(str(j + 1), dxfattribs={"layer": layer}).set_placement(ring[0])
    doc.saveas(out + "points.dxf")

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    doc.layers.add("RINGS")
    for ring in rings:
        msp.add_spline_control_frame(ring + [ring[0]], degree=3, method="chord", dxfattribs={"layer": "RINGS"})
    doc.saveas(out + "spline.dxf")

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    doc.layers.add("RINGS")
    for ring in rings:
        msp.add_spline(fit_points=ring + [ring[0]], dxfattribs={"layer": "RINGS"})
    doc.saveas(out + "fitspline.dxf")

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    for ring in rings:
        # Seen from below, the object's X runs the other way: a point drawn at x lies at -x.
        msp.add_lwpolyline([(-x, y) for x, y in ring], close=True, dxfattribs={"extrusion": (0, 0, -1)})
    doc.saveas(out + "mirrored.dxf")

    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    kept = []
    for j, ring in enumerate(rings):
        layer = "WALL%d" % (j + 1)
        doc.layers.add(layer)
        n = len(ring)
        cuts = [0, n // 3, 2 * n // 3, n]
        ring_kept = []
        for k in range(3):
            piece = ring[cuts[k]:cuts[k + 1] - 2]  # two points lost at each gap
            msp.add_lwpolyline(piece, dxfattribs={"layer": layer})
            ring_kept += piece
        kept.append(ring_kept)
    msp.add_text("wall", dxfattribs={"layer": "WALL1"}).set_placement(rings[0][0])
    doc.saveas(out + "pieces.dxf")
    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    for ring in kept:
        msp.add_lwpolyline(ring)
    doc.saveas(out + "pieces_rings.dxf")


main()

#!/usr/bin/python3
"""Renders a kelmar drawing ("kelmar.dxf") to a PNG picture on a white background.

Usage: /usr/bin/python3 tools/render_drawing.py kelmar.dxf out.png [--title TEXT]

Needs Debian's python3-ezdxf (its drawing add-on) and python3-matplotlib.
"""

import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.lines import Line2D

import ezdxf
from ezdxf.addons.drawing import Frontend, RenderContext
from ezdxf.addons.drawing.config import Configuration
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend

# The drawing's own colours are chosen for a black CAD screen; yellow (2) and white (7)
# vanish on paper, so every layer gets a colour that reads on white, in the same hue where
# the hue works. The layers are drawn in this order: the radii run along the sides of the
# triangles and would hide them, and the points stay on top of everything.
LAYERS = {
    # layer: (colour, line weight in mm, legend text)
    "raggi": ("#1f8fa6", 0.25, "radii to the arc junctions"),
    "archi": ("#000000", 0.6, "arcs of the fitted ovals"),
    "assi": ("#a07800", 0.35, "axes"),
    "triangolo": ("#e0201b", 0.6, "construction triangles"),
    "Minore_scarto": ("#2e9e3e", 0.25, "points off by at most the residual"),
    "Scarto": ("#f08c00", 0.25, "points off by more than the residual"),
    "Maggiore_scarto_doppio": ("#d0103a", 0.35, "points off by more than twice the residual"),
}
POINT_LAYERS = ("Minore_scarto", "Scarto", "Maggiore_scarto_doppio")
OTHER_LAYER = ("#7f7f7f", 0.25, "")

# Point marker: a circle (32) with a dot (0) in it, in the DXF point-display convention.
POINT_MODE = 32
# Marker size as a share of the larger extent of the drawing.
POINT_SIZE_SHARE = 0.006


class LayerColours(Frontend):
    """Draws every entity in the colour and weight of its layer."""

    def override_properties(self, entity, properties):
        properties.color, properties.lineweight, _ = LAYERS.get(entity.dxf.layer, OTHER_LAYER)


def drawing_extent(entities):
    """The larger side of the box around every point, line end and arc centre +/- radius."""
    xs, ys = [], []
    for e in entities:
        kind = e.dxftype()
        if kind == "POINT":
            xs.append(e.dxf.location.x)
            ys.append(e.dxf.location.y)
        elif kind == "LINE":
            xs += [e.dxf.start.x, e.dxf.end.x]
            ys += [e.dxf.start.y, e.dxf.end.y]
        elif kind == "ARC":
            c, r = e.dxf.center, e.dxf.radius
            xs += [c.x - r, c.x + r]
            ys += [c.y - r, c.y + r]
    if not xs:
        return 1.0
    return max(max(xs) - min(xs), max(ys) - min(ys)) or 1.0


def render(source, target, title):
    doc = ezdxf.readfile(source)
    msp = doc.modelspace()
    entities = list(msp)
    rank = {layer: i for i, layer in enumerate(LAYERS)}
    ordered = sorted(entities, key=lambda e: rank.get(e.dxf.layer, -1))

    fig = plt.figure(figsize=(10, 8.5), dpi=150)
    ax = fig.add_axes([0.02, 0.1, 0.96, 0.82])
    ctx = RenderContext(doc)
    ctx.set_current_layout(msp)
    ctx.current_layout_properties.set_colors(bg="#ffffff")
    config = Configuration.defaults().with_changes(
        pdmode=POINT_MODE, pdsize=POINT_SIZE_SHARE * drawing_extent(entities)
    )
    backend = MatplotlibBackend(ax, adjust_figure=False)
    frontend = LayerColours(ctx, backend, config)
    frontend.draw_entities(ordered)
    backend.finalize()
    fig.patch.set_facecolor("#ffffff")
    ax.set_facecolor("#ffffff")
    ax.set_aspect("equal")
    ax.autoscale()
    ax.margins(0.03)
    ax.set_axis_off()

    present = {e.dxf.layer for e in entities}
    handles = []
    for layer, (colour, _, text) in LAYERS.items():
        if layer not in present:
            continue
        if layer in POINT_LAYERS:
            handles.append(Line2D([], [], color=colour, marker="o", markerfacecolor="none", linestyle="",
                                  label=f"{text} ({layer})"))
        else:
            handles.append(Line2D([], [], color=colour, label=f"{text} ({layer})"))
    fig.legend(handles=handles, loc="lower center", ncol=2, frameon=False, fontsize=9)
    fig.suptitle(title, fontsize=13, y=0.97)
    fig.savefig(target, facecolor="#ffffff")
    plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(description="Render a kelmar drawing to a PNG picture.")
    parser.add_argument("drawing", help='the DXF drawing, normally "kelmar.dxf"')
    parser.add_argument("picture", help="the PNG file to write")
    parser.add_argument("--title", default=None, help="title above the picture")
    args = parser.parse_args(argv)
    title = args.title or os.path.basename(args.drawing)
    try:
        render(args.drawing, args.picture, title)
    except (IOError, ezdxf.DXFStructureError) as error:
        print(f"render_drawing: cannot render {args.drawing}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

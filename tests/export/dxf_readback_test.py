"""The DXF files dorvan writes, read back by an independent DXF reader (ezdxf).

For every drawing (the real ones, the samples and the test writer's) the reference tool
writes a DXF and what the reader read; here the DXF must load, audit without errors or
fixes, and hold the same entities by kind, layers, texts, coordinates and inserts.
Exit 77 (skipped) when ezdxf is not installed.
"""
import collections
import glob
import json
import math
import os
import subprocess
import sys


def xy(v):
    return (v.x, v.y)

try:
    import ezdxf
    from ezdxf.lldxf.encoding import decode_dxf_unicode
except ImportError:
    print("SKIPPED: python3-ezdxf is not installed, the DXF read-back test cannot run")
    sys.exit(77)


def close(a, b):
    return math.isclose(a, b, rel_tol=1e-6, abs_tol=1e-6)


def text_of(entity):
    # \U+ escapes decoded; a character beyond the basic plane comes as two surrogates.
    decoded = decode_dxf_unicode(entity.dxf.text)
    return decoded.encode("utf-16", "surrogatepass").decode("utf-16")


def check(case, out):
    problems = []
    doc = ezdxf.readfile(os.path.join(out, case["dxf"]))
    auditor = doc.audit()
    for entry in list(auditor.errors) + list(auditor.fixes):
        problems.append(f"audit: {entry.message}")
    if doc.header.get("$INSUNITS") != 4 or doc.header.get("$DWGCODEPAGE") != "ANSI_932":
        problems.append("header: $INSUNITS or $DWGCODEPAGE wrong")
    if case["hostile"]:
        return problems
    exp = case["expected"]
    msp = list(doc.modelspace())
    counts = dict(collections.Counter(e.dxftype() for e in msp))
    if counts != exp["counts"]:
        problems.append(f"counts {counts} != {exp['counts']}")
    layers = sorted(l.dxf.name for l in doc.layers if l.dxf.name != "Defpoints")
    if layers != sorted(exp["layers"]):
        problems.append(f"layers {layers} != {sorted(exp['layers'])}")
    off = sorted(l.dxf.name for l in doc.layers if l.is_off())
    if off != sorted(exp["off"]):
        problems.append(f"layers off {off} != {sorted(exp['off'])}")

    def compare(what, got, want):
        if len(got) != len(want):
            problems.append(f"{what}: {len(got)} != {len(want)}")
            return
        for k, (g, w) in enumerate(zip(got, want)):
            for a, b in zip(g, w):
                same = a == b if isinstance(b, str) else close(a, b)
                if not same:
                    problems.append(f"{what} {k}: {g} != {w}")
                    break

    compare("lines", [(*xy(e.dxf.start), *xy(e.dxf.end)) for e in msp if e.dxftype() == "LINE"], exp["lines"])
    curves = []
    for e in msp:
        if e.dxftype() in ("CIRCLE", "ARC"):
            curves.append((e.dxftype(), *xy(e.dxf.center), e.dxf.radius))
        elif e.dxftype() == "ELLIPSE":
            curves.append(("ELLIPSE", *xy(e.dxf.center), e.dxf.major_axis.magnitude))
    compare("curves", curves, exp["curves"])
    compare("points", [xy(e.dxf.location) for e in msp if e.dxftype() == "POINT"], exp["points"])
    compare("texts", [(text_of(e), *xy(e.dxf.insert), e.dxf.height) for e in msp if e.dxftype() == "TEXT"],
            exp["texts"])
    inserts = [(e.dxf.name, *xy(e.dxf.insert), e.dxf.xscale, e.dxf.yscale, e.dxf.rotation)
               for e in msp if e.dxftype() == "INSERT"]
    if not exp["insert_names"]:
        inserts = [i[1:] for i in inserts]
        exp["inserts"] = [i[1:] for i in exp["inserts"]]
    compare("inserts", inserts, exp["inserts"])
    if exp["blocks"] is not None:
        for name, want in exp["blocks"].items():
            got = dict(collections.Counter(e.dxftype() for e in doc.blocks.get(name)))
            if got != want:
                problems.append(f"block {name}: {got} != {want}")
    return problems


def main():
    tool, out, *folders = sys.argv[1:]
    drawings = sorted(p for folder in folders for p in glob.glob(os.path.join(folder, "*.jww")))
    if not drawings:
        print("note: no real drawings found; only the test writer's drawings are checked")
    run = subprocess.run([tool, out, *drawings], timeout=300)
    if run.returncode != 0:
        print(f"FAILED: the reference tool ended with {run.returncode}")
        return 1
    passed = failed = 0
    for path in sorted(glob.glob(os.path.join(out, "*.json"))):
        with open(path, encoding="utf-8") as file:
            case = json.load(file)
        problems = check(case, out)
        if problems:
            failed += 1
            print(f"FAIL {case['source']}")
            for problem in problems[:10]:
                print(f"    {problem}")
        else:
            passed += 1
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())

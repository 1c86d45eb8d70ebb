#!/usr/bin/env python3
"""Writes the sweep's command table from the engine's public command headers.

Every declaration at file scope of a command header becomes one row: name, module, the header it
comes from (the sweep's case), one kind per parameter, whether its comment allows a quiet call,
and a thunk that calls it with values taken from the sweep's argument slots. A declaration whose
return or parameter type the script does not know fails the build unless exclusions.h names it.
Usage: make_command_table.py SRC_DIR EXCLUSIONS_H OUTPUT_INC
"""
import os
import re
import sys

MODULES = ("bitmap camera csg display draw2d file ftp image input light maths memblock multiplayer "
           "music object3d particles sound sprite system terrain text universe video world").split()
# Headers beside a module's own that declare commands (besides every *_commands.h).
EXTRA_HEADERS = ["object3d/appearance.h", "object3d/positioning.h", "object3d/primitive_makers.h",
                 "object3d/object_copies.h", "object3d/query_commands.h",
                 "object3d/static_boxes.h", "text/strings.h", "core/core_exports.h"]

# Module entries and the words of the link table: the core calls them, never a program.
ENTRY = re.compile(r"(Constructor|Destructor|SetErrorHandler|PassCoreData|RefreshD3D)(Export)?$|"
                   r"^\w+Link\w*Functions$|^Link\w+$|LinkTextureClearer$|SetSettingWord$|"
                   r"EmptyEntry$|ForModule$")
# Types that only the engine's own modules hold: a declaration taking one is a bridge function.
BRIDGE_TYPE = re.compile(r"Record|D3D|IDirect|HMODULE|HWND|HINSTANCE|HICON|CoreData|WAVEFORMAT|"
                         r"vector<|Universe|ObjectPosition|ReplacingFile|ObjectFileUse|Fn$|"
                         r"CapabilityFlag|RuntimeArray|\(\*|\*\*|&|Sender|Placement|Bridge|InternalData|"
                         r"ShadowColourSettings|StaticBoxList|VertexDataTarget|VectorEntries|long$")
INT_TYPES = {"int32_t", "uint32_t", "uint8_t", "int", "bool", "DWORD", "int64_t", "uint16_t",
             "const int32_t", "D3DCOLOR", "long"}
FLOAT_TYPES = {"float", "double"}
OUT_TYPES = {"int32_t*", "float*", "uint32_t*", "const float*", "const int32_t*", "uint8_t*",
             "const uint8_t*", "double*", "int64_t*"}
RETURN_TYPES = INT_TYPES | FLOAT_TYPES | {"void", "char*", "const char*", "uint8_t*", "void*", "float*"}

# Which item a parameter names: by its own name, then by the module's default names.
ITEM_BY_NAME = {"image": "image", "edgeImage": "image", "sprite": "sprite", "sound": "sound",
                "object": "object", "objectA": "object", "objectB": "object", "mesh": "mesh",
                "newMesh": "mesh", "limb": "limb", "child": "limb", "parent": "limb",
                "camera": "camera", "bitmap": "bitmap", "block": "memblock",
                "effect": "effect", "vector": "maths"}
for i in range(1, 7):
    ITEM_BY_NAME["image%d" % i] = "image"
DEFAULT_ITEM = {
    "bitmap": ("bitmap", "n from to"), "camera": ("camera", "n"), "csg": ("object", "n a b"),
    "image": ("image", "n"), "light": ("light", "n"), "music": ("music", "n"),
    "maths": ("maths", "id a b c d result source destination matrix axis eye at up view "
                        "projection world"),
    "object3d": ("object", "n source target"), "particles": ("emitter", "id"),
    "sound": ("sound", "n existing"), "sprite": ("sprite", "n a b newNumber"),
    "terrain": ("terrain", "n"), "video": ("animation", "n"), "system": ("dll", "slot"),
    "file": ("fileslot", "slot"), "world": ("worldslot", "slot"),
    "memblock": ("memblock", "n from to"),
    "multiplayer": ("player", "player"), "universe": ("object", "n"),
}
# Sizes: a dimension or a number of elements, which the engine multiplies or adds to a position.
SIZE = set(("width height size count length radius radiusX radiusY segments rings xSegments "
            "zSegments across down limbs vertexCount indexCount sizeHint destinationSize bytes "
            "frames").split())
# Other counts: of time, or a limit.
COUNT = set("duration milliseconds ms rate delay maximumPlayers".split())
POSITION = set(("x y z x1 y1 x2 y2 left top right bottom toLeft toTop toRight toBottom position "
                "fromPosition toPosition start end first last from to index vertex firstVertex "
                "endVertex firstIndex endIndex sourceX sourceY destinationX destinationY centreX "
                "centreY row tile frame element component stage").split())
QUIET = re.compile(r"no error|never raises|without errors?|\bnothing\b|ignored|no-op|quietly|"
                   r"returns at once|(-1|0|1|null|false) when (the \w+ is )?missing|without the number "
                   r"checks|always (0|true)", re.I)
# Headers whose item numbers name another kind than their module's.
DEFAULT_BY_PART = {"mesh_item_commands": "mesh", "lightmap_commands": "object"}


# Queries whose answer for a missing item is the answer itself.
EXISTENCE = re.compile(r"Exists?(Export)?$|^Is\w*Open$")


def declarations(path):
    """File-scope declarations of a header with the comment lines just above each."""
    found, depth, text, comment, macro = [], 0, "", [], False
    for line in open(path, encoding="utf-8"):
        stripped = line.strip()
        # A #define and its continued lines, and the X-macro lists they expand: functions of no
        # parameters, which no wrong value reaches.
        if macro or stripped.startswith("#define") or re.match(r"^[A-Z0-9_]+\(", stripped):
            macro = stripped.endswith("\\")
            continue
        if stripped.startswith("//"):
            comment.append(stripped[2:].strip())
            continue
        code = re.sub(r"//.*", "", line).strip()
        if depth == 0 and not text and (not code or code.startswith("#")):
            comment = []
            continue
        if depth:
            depth = max(0, depth + code.count("{") - code.count("}"))
            comment = []
            continue
        text += " " + code
        if text.count("{") > text.count("}"):
            depth, text, comment = text.count("{") - text.count("}"), "", []
        elif text.rstrip().endswith((";", "}")):
            found.append((text.strip(), " ".join(comment)))
            text, comment = "", []
    return found


FUNCTION = re.compile(r"^(?:inline\s+)?([\w:\s\*&]*?[\w\*&])\s*\b(\w+)\s*\((.*)\)\s*;$")
PARAMETER = re.compile(r"^(.*?[\w\*])\s*\b(\w+)$")


def bare(cxx_type):
    return re.sub(r"\bstd::", "", cxx_type).replace(" *", "*").strip()


def parameter_kind(module, part, name, cxx_type):
    """The sweep's kind of one parameter; None when the type is unknown."""
    t = bare(cxx_type)
    if t == "const char*":
        return "string"
    if t == "char*":
        return "previous" if name == "previous" or name.startswith("old") else "out"
    if t in OUT_TYPES:
        return "out"
    if t in FLOAT_TYPES:
        return "float"
    if t not in INT_TYPES:
        return None
    if name in ITEM_BY_NAME and not (module == "particles" and name == "b"):
        return "item:" + ITEM_BY_NAME[name]
    default = DEFAULT_ITEM.get(module)
    if default and name in default[1].split():
        return "item:" + DEFAULT_BY_PART.get(part, default[0])
    if name in SIZE:
        return "size"
    if name in COUNT:
        return "count"
    if name in POSITION:
        return "position"
    return "int"


def thunk(name, ret, params):
    """A lambda that calls the command with the sweep's argument slots."""
    args = []
    for i, (cxx_type, _, kind) in enumerate(params):
        if kind == "string":
            args.append("a.s[%d]" % i)
        elif kind == "previous":
            args.append("nullptr")
        elif kind == "out":
            args.append("reinterpret_cast<%s>(a.out[%d])" % (cxx_type, i))
        elif kind == "float":
            args.append("static_cast<%s>(a.f[%d])" % (cxx_type, i))
        else:
            args.append("static_cast<%s>(a.i[%d])" % (cxx_type.replace("const ", ""), i))
    pointer = "%s (*)(%s)" % (ret, ", ".join(p[0] for p in params))
    call = "static_cast<%s>(&%s)(%s)" % (pointer, name, ", ".join(args))
    if bare(ret) == "void":
        return "[](SweepArgs& a) { (void)a; %s; }" % call
    return "[](SweepArgs& a) { SweepReturn(a, %s); }" % call


def headers(src):
    # The object module's own header holds its checks and makers for other 3D code: no commands.
    names = ["%s/%s.h" % (m, m) for m in MODULES if m != "object3d"]
    for module in sorted(os.listdir(src)):
        folder = os.path.join(src, module)
        if module in MODULES and os.path.isdir(folder):
            names += ["%s/%s" % (module, f) for f in sorted(os.listdir(folder))
                      if f.endswith("_commands.h")]
    return list(dict.fromkeys(names + EXTRA_HEADERS))


def exclusions(path):
    text = open(path, encoding="utf-8").read()
    return dict(re.findall(r'SWEEP_EXCLUDE\((\w+),\s*"((?:[^"\\]|\\.)*)"', text))


def main(src, exclusions_path, output):
    excluded, rows, unknown, bridges, entries, seen = exclusions(exclusions_path), [], [], 0, 0, set()
    for header in headers(src):
        module, part = header.split("/")[0], os.path.basename(header)[:-2]
        for text, comment in declarations(os.path.join(src, header)):
            if re.match(r"^(struct|class|enum|using|extern|constexpr|template|namespace)\b", text):
                continue
            match = FUNCTION.match(text)
            if not match:
                unknown.append("%s: %s" % (header, text[:80]))
                continue
            ret, name, plist = match.groups()
            if name in seen:
                continue
            seen.add(name)
            if ENTRY.search(name):
                entries += 1
                continue
            params = []
            for raw in [p.strip() for p in plist.split(",") if p.strip() not in ("", "void")]:
                raw = re.sub(r"\s*=.*$", "", raw)
                pm = PARAMETER.match(raw)
                cxx_type, pname = (pm.group(1), pm.group(2)) if pm else (raw, "")
                params.append((cxx_type, pname, parameter_kind(module, part, pname, cxx_type)))
            if name in excluded:
                continue
            if BRIDGE_TYPE.search(ret) or any(BRIDGE_TYPE.search(p[0]) for p in params):
                bridges += 1
                continue
            if bare(ret) not in RETURN_TYPES or any(p[2] is None for p in params):
                unknown.append("%s: %s" % (header, name))
                continue
            rows.append('SWEEP_ROW("%s", "%s", "%s", "%s", %s, %s)' % (
                name, module, part, " ".join(p[2] for p in params),
                "true" if QUIET.search(comment) or EXISTENCE.search(name) else "false",
                thunk(name, ret, params)))
    stale = sorted(set(excluded) - seen)
    if unknown or stale:
        for u in unknown:
            sys.stderr.write("sweep: cannot classify %s (add it to exclusions.h with a reason)\n" % u)
        for s in stale:
            sys.stderr.write("sweep: exclusions.h names %s, which no command header declares\n" % s)
        return 1
    with open(output, "w", encoding="utf-8") as out:
        out.write("// Generated by tests/sweep/make_command_table.py: do not edit.\n")
        for header in headers(src):
            out.write('#include "%s"\n' % header)
        out.write("#define SWEEP_BRIDGE_COUNT %d\n#define SWEEP_ENTRY_COUNT %d\n" % (bridges, entries))
        out.write("#define SWEEP_ROWS \\\n" + ", \\\n".join(rows) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))

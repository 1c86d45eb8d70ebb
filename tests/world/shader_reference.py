"""A second reader of ".shader" scripts for the world tests, written apart from the engine's: it
reads a script line by line, takes the first word of a line outside any block as a shader name,
counts the blocks inside a shader's block that hold a line as its stages (an empty block is
none) and notes each stage's first picture. It reads well-formed scripts (braces on lines of
their own) as the engine must."""

import re

_LINE = re.compile(r"\r\n|\r|\n")
_COMMENT = re.compile(r"(^|\s)//.*")


def shader_definitions(text):
    """[(name, [first picture of each stage, or ""])] in script order, names repeated as they are."""
    found = []
    depth = 0
    current = None
    opened = False  # a stage block begun, no line read in it yet
    for line in _LINE.split(text):
        tokens = _COMMENT.sub("", line).split()
        if not tokens:
            continue
        if tokens[0] in ("{", "}"):
            for token in tokens:
                depth += 1 if token == "{" else -1 if token == "}" else 0
                opened = depth == 2 and token == "{"
            continue
        if depth == 0:
            current = (tokens[0], [])
            found.append(current)
        if depth == 2 and opened and current is not None:
            current[1].append("")
            opened = False
        if depth == 2 and current is not None and current[1] and len(tokens) > 1:
            keyword = tokens[0].lower()
            if keyword in ("map", "clampmap"):
                current[1][-1] = tokens[1]
            elif keyword == "animmap" and len(tokens) > 2:
                current[1][-1] = tokens[2]
    return found


def first_definitions(scripts):
    """The first definition of every name (compared without regard to case) over the scripts,
    given as (member name, text) in reading order: [(name, member, [stage pictures])]."""
    seen = set()
    out = []
    for member, text in scripts:
        for name, stages in shader_definitions(text):
            if name.lower() in seen:
                continue
            seen.add(name.lower())
            out.append((name, member, stages))
    return out

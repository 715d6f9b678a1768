"""The signature lines pybind11 writes into each function's __doc__, read
back: one line for an element-wise function, the numbered overloads of a
draw function."""
import re


def split_params(sig):
    """[(name, type text, default text or None)] of one signature line."""
    inner = sig[sig.index("(") + 1: sig.rindex(") ->")]
    parts, depth, cur = [], 0, ""
    for ch in inner:
        depth += ch in "[(<"
        depth -= ch in "])>"
        if ch == "," and depth == 0:
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    parts.append(cur)
    out = []
    for p in filter(str.strip, parts):
        name, rest = p.split(":", 1)
        typ, _, default = rest.partition(" = ")
        out.append((name.strip(), typ.strip(), default.strip() or None))
    return out


def forms(fn):
    """[(parameters, return type text)] of every overload of `fn`, in order."""
    lines = fn.__doc__.strip().splitlines()
    numbered = [re.sub(r"^\d+\.\s*", "", l.strip()) for l in lines if re.match(r"^\d+\.\s", l.strip())]
    return [(split_params(s), s.rsplit("->", 1)[1].strip()) for s in (numbered or lines[:1])]

#!/usr/bin/env python3
"""Lists the functions of the product's C++ sources by length, longest first, and fails when one is
longer than the limit. Counts from the line the function's head starts on to its closing brace.
A brace-matching count, not a parser: comments, strings and preprocessor lines are blanked first, and
a block counts as a function when its head has a parameter list and is not a class, namespace or
initializer. Lambdas and local classes count as part of the function around them.

    scripts/long-functions.py [--limit N] [--top N] [DIR...]   (default: the product's folders)
"""
import argparse
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
PRODUCT = ["support", "builder", "workspace", "gui", "app"]
SKIPPED = {"tests", "fuzz", "bench"}


def blank(text):
    """The text with comments, string and character literals and preprocessor lines turned into
    spaces, line breaks kept, so braces inside them are not counted."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # a directive, with its continuation lines
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        if c in " \t":
            out.append(c)
            i += 1
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif (m := re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', text[i:i + 40])) and (
                i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            close = ")" + m.group(1) + '"'
            end = text.find(close, i + m.end())
            end = n if end < 0 else end + len(close)
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            # a digit separator (1'000) is not a character literal
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(" " * (min(j + 1, n) - i))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


CLASS_HEAD = re.compile(r"\b(class|struct|union|enum)\b[^()]*$")
SCOPE_HEAD = re.compile(r"^(\s*(inline\s+)?namespace\b[\w:\s]*|\s*extern\s*)$")
INIT_BRACE = re.compile(r"[\w>]\s*$")  # m_x{...} in a constructor's initializer list


def functions(path):
    text = blank(path.read_text(encoding="utf-8", errors="replace"))
    found = []
    stack = []  # per open brace: "scope", "function", "init"; or "inner" inside a function
    head_start = 0  # offset where the text before the next "{" began
    in_function = 0
    function_head = None
    for i, c in enumerate(text):
        if c == ";" and not in_function and not (stack and stack[-1] == "init"):
            head_start = i + 1
        elif c == "{":
            if in_function:
                stack.append("inner")
                in_function += 1
                continue
            head = text[head_start:i]
            flat = " ".join(head.split())
            if stack and stack[-1] == "init":
                kind = "init"
            elif SCOPE_HEAD.match(flat) or flat == "":
                kind = "scope"
            elif CLASS_HEAD.search(flat):
                kind = "scope"
            elif "(" in flat and not re.search(r"(?<!operator)(?<![=!<>])=(?!=)", flat.split("(")[0]):
                # ") : m_a(1), m_b" before "{" is an initializer-list member, not the body
                if re.search(r"\)\s*:[^:]", flat) and INIT_BRACE.search(flat) and not flat.endswith(
                        ("const", "override", "final", "noexcept")):
                    kind = "init-member"
                else:
                    kind = "function"
            else:
                kind = "init"
            if kind == "function":
                stack.append("function")
                in_function = 1
                function_head = head_start + (len(head) - len(head.lstrip()))
                name = re.findall(r"([~\w:]+(?:operator\s*\S+)?)\s*\(", flat)
                found.append([name[0] if name else flat[:40], text.count("\n", 0, function_head) + 1, 0])
            elif kind == "init-member":
                stack.append("init-member")
            else:
                stack.append(kind)
                head_start = i + 1
        elif c == "}":
            if not stack:
                continue
            kind = stack.pop()
            if in_function:
                in_function -= 1
                if in_function == 0:
                    found[-1][2] = text.count("\n", 0, i) + 1
                    head_start = i + 1
            elif kind == "init-member":
                pass  # the head goes on to the body's "{"
            else:
                head_start = i + 1
    return [(name, path, first, last - first + 1) for name, first, last in found]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--limit", type=int, default=80)
    parser.add_argument("--top", type=int, default=3)
    parser.add_argument("dirs", nargs="*")
    args = parser.parse_args()
    roots = [pathlib.Path(d) for d in args.dirs] or [ROOT / d for d in PRODUCT]
    all_functions = []
    for root in roots:
        for path in sorted(root.rglob("*")):
            if path.suffix in (".cpp", ".h") and not SKIPPED & set(path.relative_to(root).parts):
                all_functions += functions(path)
    all_functions.sort(key=lambda f: -f[3])
    too_long = [f for f in all_functions if f[3] > args.limit]
    for name, path, line, length in all_functions[:max(args.top, len(too_long))]:
        try:
            shown = path.resolve().relative_to(ROOT)
        except ValueError:
            shown = path
        print(f"{length:5d} lines  {shown}:{line}  {name}")
    print(f"{len(all_functions)} functions; {len(too_long)} longer than {args.limit} lines")
    return 1 if too_long else 0


if __name__ == "__main__":
    sys.exit(main())

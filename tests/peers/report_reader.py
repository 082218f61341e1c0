#!/usr/bin/python3
"""Reads an exception report text back, independently of the program's code.

Usage: report_reader.py REPORT_FILE

The report is CR LF text: a banner, numbered label-and-value sections, tables
(title ending ":", a rule, a header row starting "|", a rule, rows, a closing
rule and an empty line), disabled sections (title, short rule, empty line), the
assembler listing and the CPU part (registers, then a stack and memory dump read
by its fixed columns).

Prints one line per finding:
  field S.F Label=value          (a multi-line value's line ends written \\n)
  table Title rows=N blocks=M    (M thread or leak captions framed in the rows)
  cell Title ROW Column=value    (ROW counts from 1)
  disabled Title
  text Title lines=N
  cpu REG=value
  dump I ADDRESS FIRSTBYTE       (the line's dumped address and first byte)
Exits 1 with a message on anything that breaks the layout.
"""
import re
import sys

FIELD = re.compile(r"^  (\d+)\.(\d+) (.*?) *: (.*)$")
REGISTER = re.compile(r"([A-Z]{3}): (.{8})")


class LayoutError(Exception):
    pass


def is_rule(line):
    return len(line) > 0 and set(line) == {"-"}


def unescape(lines):
    out = []
    for i, line in enumerate(lines):
        if len(lines) > 1:
            line = "" if line == "." else line.replace(":_", ": ")
        out.append(line)
    return "\\n".join(out)


def read_fields(lines, i, emit):
    """A general section from its first field line; returns the index after it."""
    rule = lines[i - 1]
    widest = 0
    current = None  # (number, label, value column, value lines)

    def flush():
        if current:
            emit("field %s %s=%s" % (current[0], current[1], unescape(current[3])))

    while i < len(lines) and lines[i] != "":
        line = lines[i]
        m = FIELD.match(line)
        if m:
            flush()
            column = line.index(": ") + 2
            current = ("%s.%s" % (m.group(1), m.group(2)), m.group(3), column, [m.group(4)])
        elif line.startswith(" ") and current:
            if line[:current[2]].strip():
                raise LayoutError("continuation line off the value column: %r" % line)
            current[3].append(line[current[2]:])
        else:
            break  # the next part's title
        widest = max(widest, len(line))
        i += 1
    flush()
    if len(rule) != widest:
        raise LayoutError("section rule of %d for lines of %d" % (len(rule), widest))
    return i


def read_table(title, lines, i, emit):
    """A table from its header row; returns the index after its empty line."""
    rule = lines[i - 1]
    header = lines[i]
    if len(header) != len(rule):
        raise LayoutError("%s: header of %d under a rule of %d" % (title, len(header), len(rule)))
    columns = [c.strip() for c in header.split("|")[1:-1]]
    if lines[i + 1] != rule:
        raise LayoutError("%s: no rule under the header" % title)
    i += 2
    rows = blocks = 0
    while lines[i] != rule:
        line = lines[i]
        if len(line) != len(rule) or not line.startswith("|") or not line.endswith("|"):
            raise LayoutError("%s: row of %d in a table of %d: %r" % (title, len(line), len(rule), line))
        cells = line.split("|")[1:-1]
        if len(cells) == 1:  # a thread rule, an empty framed line or a caption
            inner = cells[0]
            if inner.strip() and not is_rule(inner):
                blocks += 1
                emit("caption %s %s" % (title, inner.rstrip()))
        elif len(cells) == len(columns):
            rows += 1
            for name, cell in zip(columns, cells):
                emit("cell %s %d %s=%s" % (title, rows, name, cell.rstrip()))
        else:
            raise LayoutError("%s: %d cells under %d columns" % (title, len(cells), len(columns)))
        i += 1
    if lines[i + 1] != "":
        raise LayoutError("%s: no empty line after the table" % title)
    emit("table %s rows=%d blocks=%d" % (title, rows, blocks))
    return i + 2


def read_cpu(lines, i, emit):
    """The CPU part from its "EAX" line."""
    while i < len(lines) and lines[i]:
        for name, value in REGISTER.findall(lines[i]):
            emit("cpu %s=%s" % (name, value.strip() if value.startswith("?") else value))
        i += 1
    i += 1  # empty line
    if i + 1 >= len(lines) or "Memory Dump:" not in lines[i] or lines[i].index("Memory Dump:") != 21:
        raise LayoutError("no dump heading over column 22")
    i += 2
    n = 0
    while i < len(lines) and lines[i]:
        d = lines[i]
        if len(d) != 96 or d[8:10] != ": " or d[18:21] != "   " or d[29:31] != ": " or d[79] != " ":
            raise LayoutError("dump line out of its columns: %r" % d)
        codes = d[31:79].split()
        chars = d[80:96]
        for code, char in zip(codes, chars):
            value = int(code, 16)
            expected = chr(value) if 32 <= value <= 126 else "."
            if char != expected:
                raise LayoutError("dump character %r for byte %s" % (char, code))
        int(d[0:8], 16), int(d[10:18], 16)
        emit("dump %d %s %s" % (n, d[21:29], codes[0]))
        n += 1
        i += 1
    if n not in (0, 16):
        raise LayoutError("a dump of %d lines" % n)
    return i


def read_report(data, emit):
    text = data.decode("latin-1")
    if re.search(r"\r(?!\n)|(?<!\r)\n", text):
        raise LayoutError("a line end that is not CR LF")
    lines = text.split("\r\n")
    if not lines[0].startswith("QuelbaLog ") or lines[1] != "":
        raise LayoutError("no banner")
    i = 2
    while i < len(lines):
        line = lines[i]
        if line == "":
            i += 1
        elif line.endswith(":") and i + 1 < len(lines) and is_rule(lines[i + 1]):
            title = line[:-1]
            after = lines[i + 2] if i + 2 < len(lines) else ""
            if after.startswith("EAX"):
                i = read_cpu(lines, i + 2, emit)
            elif after.startswith("|"):
                i = read_table(title, lines, i + 2, emit)
            elif FIELD.match(after):
                i = read_fields(lines, i + 2, emit)
            elif after == "":
                if len(lines[i + 1]) != len(title) + 1:
                    raise LayoutError("%s: disabled rule of %d" % (title, len(lines[i + 1])))
                emit("disabled %s" % title)
                i += 3
            else:
                j = i + 2
                while j < len(lines) and lines[j] and not lines[j].endswith(":"):
                    j += 1
                emit("text %s lines=%d" % (title, j - i - 2))
                i = j
        else:
            raise LayoutError("line %d out of place: %r" % (i + 1, line))


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    out = []
    try:
        read_report(data, out.append)
    except (LayoutError, IndexError, ValueError) as error:
        print("\n".join(out))
        print("layout error: %s" % error)
        return 1
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Checks an XML log against the text log it was made from.

Usage: report_xml_check.py LOG.qlf LOG.xml

Reads the text log on its own (entries, numbered fields, tables, registers) and
the XML with xml.etree, then compares every attribute of the XML with what the
text says. Prints "ok" and exits 0, or prints each difference and exits 1.
"""
import sys
import xml.etree.ElementTree as ET


def decode(data):
    # The log is in the ANSI code page; bytes it leaves unassigned keep their value.
    out = []
    for b in data:
        try:
            out.append(bytes([b]).decode("cp1252"))
        except UnicodeDecodeError:
            out.append(chr(b))
    text = "".join(out)
    return text.replace("\r\n", "\n").replace("\r", "\n")


def xml_text(value):
    # Control characters other than tab and line ends have no XML form.
    return "".join("?" if ord(c) < 32 and c not in "\t\n" else c for c in value)


def entries(text):
    for chunk in text.split("\n\n\n\n"):
        chunk = chunk.lstrip("\n")
        if "-\n|" in chunk:
            yield chunk


def tables(lines):
    """Each table as its list of lines, found by rule + "|" header."""
    found = []
    i = 0
    while i + 1 < len(lines):
        if lines[i].startswith("-") and lines[i + 1].startswith("|"):
            j = i + 3  # header row and the rule under it
            body = []
            while j < len(lines) and not (lines[j].startswith("-") and (j + 1 >= len(lines) or lines[j + 1] == "")):
                body.append(lines[j])
                j += 1
            found.append(body)
            i = j + 1
        else:
            i += 1
    return found


def cells(line):
    return [c.strip(" ") for c in line.strip("|").split("|")] if line.startswith("|") else []


def field_value(lines, start, colon):
    value = [lines[start][colon + 2:]]
    k = start + 1
    while k < len(lines) and lines[k].startswith("   "):
        value.append(lines[k].lstrip(" "))
        k += 1
    if len(value) > 1 and value[0] == ".":
        value = value[1:]
    if len(value) > 1 and value[-1] == ".":
        value = value[:-1]
    value = ["" if v == "." else v.replace(":_", ": ") for v in value]
    return "\n".join(value)


def general_part(lines):
    """The lines before the first table's title, trailing line ends and blanks removed."""
    end = len(lines)
    for n, line in enumerate(lines):
        if line.startswith("-") and n + 1 < len(lines) and lines[n + 1].startswith("|"):
            end = max(n - 1, 0)
            break
    part = lines[:end]
    while part and part[-1].strip(" ") == "":
        part.pop()
    if part:
        part[-1] = part[-1].rstrip(" ")
    return part


def general_fields(lines):
    fields = {}
    lines = general_part(lines)
    for n, line in enumerate(lines):
        if line.startswith("  ") and len(line) > 2 and line[2] != " " and ": " in line:
            head, colon = line, line.index(": ")
            number = head[2:].split(" ", 1)[0]
            label = head[2 + len(number):colon].strip()
            fields[number] = (label, field_value(lines, n, colon))
    return fields


def check(log_path, xml_path):
    problems = []
    text = decode(open(log_path, "rb").read())
    root = ET.parse(xml_path).getroot()
    logs = root.findall("Log")
    items = list(entries(text))
    if len(logs) != len(items):
        return ["%d entries but %d Log elements" % (len(items), len(logs))]
    for number, (entry, log) in enumerate(zip(items, logs), 1):
        lines = entry.split("\n")

        def expect(where, got, want):
            if got != want:
                problems.append("entry %d %s: XML %r, text %r" % (number, where, got, want))

        version = lines[0][10:]
        expect("Version", log.get("Version"), version)
        fields = general_fields(lines)
        seen = 0
        for line in log.iter("Line"):
            if line.get("ID") and "." in line.get("ID"):
                seen += 1
                label, value = fields.get(line.get("ID"), (None, None))
                expect("field %s label" % line.get("ID"), line.get("Label"), label)
                got = line.get("Value")
                expect("field %s value" % line.get("ID"), got.replace("\r\n", "\n") if got else got,
                       xml_text(value) if value else value)
        expect("field count", seen, len(fields))
        found = tables(lines)
        rows = [c for c in (cells(l) for l in found[0] if not l.startswith("|-")) if len(c) >= 6] if found else []
        xml_rows = [l for t in log.findall("CallStack") for l in t.iter("Line")]
        expect("call-stack rows", len(xml_rows), len(rows))
        for row, item in zip(rows, xml_rows):
            if row[2].startswith("?"):
                continue
            number_cell, _, offset = row[5].partition("[")
            want = [row[0], row[1], row[2], row[3], row[4].replace("@", "_", 1) if row[4].startswith("@") else row[4],
                    number_cell, offset.rstrip("]")]
            got = [item.get(k) for k in ("Address", "Module", "Unit", "Class", "Procedure", "Number", "Offset")]
            expect("row " + row[0], got, [xml_text(w) for w in want])
        for index, (name, keys) in enumerate([
                ("Module", ("Handle", "Name", "Description", "Version", "Size", "Modified", "Path")),
                ("Process", ("ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path"))], 1):
            if name == "Process" and version < "6.0":
                continue
            table = [c for c in (cells(l) for l in found[index]) if c] if len(found) > index else []
            elements = list(log.iter(name))
            expect(name + " rows", len(elements), len(table))
            for row, item in zip(table, elements):
                if name == "Module" and len(row) < 7:
                    row = row[:5] + [None, row[5] if len(row) > 5 else ""]
                for key, want in zip(keys, row):
                    expect("%s %s" % (name, key), item.get(key), None if want is None else xml_text(want))
        registers = log.find("CPU/Registers")
        eax = [i for i, l in enumerate(lines) if l.startswith("EAX: ")]
        if eax:
            i = eax[0]
            for r, (left, right) in enumerate([("EAX", "EDI"), ("EBX", "ESI"), ("ECX", "ESP"), ("EDX", "EIP")]):
                expect(left, registers.get(left) if registers is not None else None, lines[i + r][5:13])
                expect(right, registers.get(right) if registers is not None else None, lines[i + r][21:29])
        else:
            expect("registers", registers, None)
    return problems


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    problems = check(sys.argv[1], sys.argv[2])
    for p in problems:
        print(p)
    if not problems:
        print("ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

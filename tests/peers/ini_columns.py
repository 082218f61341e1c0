#!/usr/bin/python3
"""Reads and writes the [Coordinates] section of the logger's settings file with
configparser, as another program editing it would.

Usage: ini_columns.py FILE read KEY          prints the value
       ini_columns.py FILE write KEY=VALUE... sets each value verbatim
"""
import configparser
import sys


def main():
    path, action = sys.argv[1], sys.argv[2]
    config = configparser.ConfigParser(interpolation=None)
    config.optionxform = str  # keep the keys' case
    config.read(path)
    if not config.has_section("Coordinates"):
        config.add_section("Coordinates")
    section = config["Coordinates"]
    if action == "read":
        print(section[sys.argv[3]])
        return 0
    for pair in sys.argv[3:]:
        key, value = pair.split("=", 1)
        section[key] = value
    with open(path, "w") as out:
        config.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Reference texts for the logger's text helpers, from Python's own date, time and
HTML code.

  durations N          the duration text of every whole second 0..N, one per line
  dates COUNT SEED     COUNT instants in several zones: epoch, local y m d H M S, the
                       offset in minutes and the expected date text, tab-separated
  readback FILE        FILE holds "epoch<TAB>text" lines; prints the lines whose text
                       email.utils does not read back as that instant, then "ok N"
  html FILE            FILE holds "original-hex<TAB>escaped-hex" lines; prints the
                       lines that html.parser does not read back, then "ok N"
"""
import datetime
import email.utils
import html.parser
import random
import sys
import zoneinfo

ZONES = ["UTC", "Asia/Kolkata", "Asia/Kathmandu", "America/New_York", "Europe/Rome",
         "Australia/Adelaide", "America/St_Johns", "Pacific/Chatham"]


def plural(n, unit):
    return "%d %s%s" % (n, unit, "s" if n >= 2 else "")


def duration(seconds):
    td = datetime.timedelta(seconds=seconds)
    h, rest = divmod(td.seconds, 3600)
    m, s = divmod(rest, 60)
    parts = []
    if td.days >= 1:
        parts.append(plural(td.days, "day"))
    if h >= 1:
        parts.append(plural(h, "hour"))
    if m >= 1:
        parts.append(plural(m, "minute"))
    parts.append(plural(s, "second"))
    return ", ".join(parts)


def date_text(local):
    days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
    months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
    off = int(local.utcoffset().total_seconds() // 60)
    sign = "-" if off < 0 else "+"
    zone = "%s%02d%02d" % (sign, abs(off) // 60, abs(off) % 60)
    return "%s, %d %s %d %02d:%02d:%02d %s" % (days[local.weekday()], local.day, months[local.month - 1],
                                              local.year, local.hour, local.minute, local.second, zone), off


class Collector(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.out = []

    def handle_data(self, data):
        self.out.append(data)


def main():
    cmd = sys.argv[1]
    if cmd == "durations":
        sys.stdout.write("".join(duration(s) + "\n" for s in range(int(sys.argv[2]) + 1)))
    elif cmd == "dates":
        rnd = random.Random(int(sys.argv[3]))
        zones = [zoneinfo.ZoneInfo(z) for z in ZONES]
        lo = int(datetime.datetime(1971, 1, 1, tzinfo=datetime.timezone.utc).timestamp())
        hi = int(datetime.datetime(2037, 12, 31, tzinfo=datetime.timezone.utc).timestamp())
        lines = []
        for i in range(int(sys.argv[2])):
            epoch = rnd.randint(lo, hi)
            if i % 4 == 0:
                # Close to a daylight-saving change of New York or Rome: the second
                # Sunday of March or last of October, around 01:00-03:00 local.
                year = rnd.randint(1990, 2036)
                month = rnd.choice([3, 10, 11])
                base = datetime.datetime(year, month, rnd.randint(1, 28), tzinfo=datetime.timezone.utc)
                epoch = int(base.timestamp()) + rnd.randint(0, 8 * 3600)
            zone = zones[i % len(zones)]
            local = datetime.datetime.fromtimestamp(epoch, zone)
            text, off = date_text(local)
            lines.append("%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%s\n" % (epoch, local.year, local.month, local.day,
                                                               local.hour, local.minute, local.second, off, text))
        sys.stdout.write("".join(lines))
    elif cmd == "readback":
        n = 0
        with open(sys.argv[2], encoding="ascii") as f:
            for line in f:
                epoch, text = line.rstrip("\n").split("\t")
                got = email.utils.parsedate_to_datetime(text)
                if int(got.timestamp()) != int(epoch):
                    print("bad", epoch, text)
                n += 1
        print("ok", n)
    elif cmd == "html":
        n = 0
        with open(sys.argv[2], encoding="ascii") as f:
            for line in f:
                orig_hex, esc_hex = line.rstrip("\n").split("\t")
                orig = bytes.fromhex(orig_hex).decode("latin-1")
                esc = bytes.fromhex(esc_hex).decode("latin-1")
                p = Collector()
                p.feed(esc)
                p.close()
                back = "".join(p.out).replace("\xa0", " ")
                if back != orig:
                    print("bad", repr(orig), repr(esc), repr(back))
                n += 1
        print("ok", n)


main()

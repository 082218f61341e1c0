#!/usr/bin/python3
"""Reference encoder of the logger's options stream, written from the stream's
item table, independently of the C++ reader and writer. It writes the golden
files under tests/data/options/:

  default.bin            the stream of new options (current format)
  v<N>.bin               a stream of format N with a distinct value in every item,
                         followed by the 8 bytes TRAILER!
  v<N>.expected.bin      the current-format stream of new options after loading
                         v<N>.bin (the migrations applied)
  roundtrip.bin          current-format stream of options with every field changed

Run:  /usr/bin/python3 tests/peers/options_ref.py tests/data/options
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from options_ref_texts import DEFAULT_TEXTS  # noqa: E402

XOR_KEY = 0x5C
SENDER_PLACEHOLDER = "yourname@example.com"
TRAILER = b"TRAILER!"
CURRENT = 6104

HTML_PAGE = ("<html>\r\n  <head>\r\n  </head>\r\n  <body TopMargin=10 LeftMargin=10>\r\n"
             "    <table width=\"100%\" border=\"0\">\r\n      <tr>\r\n        <td nowrap>\r\n"
             "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n"
             "            <%HTML_TAG%>\r\n          </font>\r\n        </td>\r\n      </tr>\r\n"
             "    </table>\r\n  </body>\r\n</html>")


def defaults():
    return {
        "StreamByte1": 0, "StreamByte2": 1, "LogFlags": 48, "ReportInMailBody": 0,
        "SaveLogFile": 1, "InitialPage": 0, "FreezeWatch": 0, "FreezeSeconds": 60,
        "SenderEmail": SENDER_PLACEHOLDER, "SmtpHost": "", "SmtpPort": 25, "SmtpUser": "",
        "SmtpPassword": "", "TerminateAction": 2, "LogCapacity": 32, "TerminateButtonAfter": 3,
        "MailRecipients": "", "MailSubject": "", "MailMode": 0, "ReportFields": [0xFF] * 6,
        "LogFolder": "", "WebSendMode": 0, "WebUrl": "", "WebUser": "", "WebPassword": "",
        "WebUrlPort": 0, "AttachedFiles": "", "ProcessFlags": 81, "DialogFlags": 399,
        "AutoCloseSeconds": 0, "SupportUrl": "", "HtmlPage": HTML_PAGE, "StackDetailFlags": 15,
        "CatchFlags": 88, "StreamByte35": 30, "ErrorBurstAction": 2, "ErrorBurstCount": 10,
        "ErrorBurstMinutes": 1, "StreamByte39": 1, "AskBeforeSending": 2,
        "ProxyHost": "", "ProxyUser": "", "ProxyPassword": "", "ProxyPort": 8080,
        "TrackerLogin": "", "TrackerPassword": "", "TrackerAssignedTo": "",
        "TrackerProject": "", "TrackerCategory": "", "FogBugzTrialId": "",
        "ArchivePassword": "", "Filters": [], "MailBody": "", "Texts": list(DEFAULT_TEXTS),
        "LanguageName": "English",
    }


# --- primitive items -------------------------------------------------------

def B(v):
    return struct.pack("<B", v)


def W(v):
    return struct.pack("<H", v)


def D(v):
    return struct.pack("<i", v)


def S(text):
    data = text.encode("latin-1")
    # A single line end that closes the text is not stored.
    if len(data) >= 2 and data.find(b"\r\n") == len(data) - 2:
        data = data[:-2]
    return struct.pack("<I", len(data)) + bytes(b ^ XOR_KEY for b in data)


# --- current format: items 1..212 in order ---------------------------------

def encode_current(o):
    out = b""
    out += B(o["StreamByte1"]) + B(o["StreamByte2"]) + B(o["LogFlags"])
    out += B(o["ReportInMailBody"]) + B(o["SaveLogFile"]) + B(o["InitialPage"])
    out += B(o["FreezeWatch"]) + D(o["FreezeSeconds"])
    out += S(o["SenderEmail"]) + S(o["SmtpHost"]) + W(o["SmtpPort"])
    out += S(o["SmtpUser"]) + S(o["SmtpPassword"]) + B(o["TerminateAction"])
    out += D(o["LogCapacity"]) + D(o["TerminateButtonAfter"])
    out += S(o["MailRecipients"]) + S(o["MailSubject"]) + B(o["MailMode"])
    out += bytes(o["ReportFields"])
    out += S(o["LogFolder"]) + B(o["WebSendMode"])
    out += S(o["WebUrl"]) + S(o["WebUser"]) + S(o["WebPassword"]) + D(o["WebUrlPort"])
    out += S(o["AttachedFiles"]) + W(o["ProcessFlags"]) + W(o["DialogFlags"])
    out += D(o["AutoCloseSeconds"]) + S(o["SupportUrl"]) + S(o["HtmlPage"])
    out += B(o["StackDetailFlags"]) + W(o["CatchFlags"]) + B(o["StreamByte35"])
    out += B(o["ErrorBurstAction"]) + D(o["ErrorBurstCount"]) + D(o["ErrorBurstMinutes"])
    out += B(o["StreamByte39"]) + B(o["AskBeforeSending"])
    out += S(o["ProxyHost"]) + S(o["ProxyUser"]) + S(o["ProxyPassword"]) + W(o["ProxyPort"])
    for k in ("TrackerLogin", "TrackerPassword", "TrackerAssignedTo", "TrackerProject",
              "TrackerCategory", "FogBugzTrialId", "ArchivePassword"):
        out += S(o[k])
    out += D(len(o["Filters"]))
    for f in o["Filters"]:
        out += B(f["Enabled"]) + S(f["ClassName"]) + S(f["Message"])
        out += B(f["Mode1"]) + B(f["Mode2"]) + B(f["Mode3"]) + B(f["Mode4"])
    out += S(o["MailBody"])
    for t in o["Texts"]:
        out += S(t)
    out += S(o["LanguageName"])
    return out


# --- older formats ---------------------------------------------------------

def text_in_stream(i, v):
    """Whether text i is stored in a stream of version v (loading rule 15)."""
    if i == 20 and v < 420:
        return False
    if i == 19 and v < 421:
        return False
    if v < 450 and (i in (9, 10, 15, 16, 22, 23, 24, 41, 68, 81, 47, 48) or i >= 110):
        return False
    if v < 500 and (i in (25, 42, 131, 144, 145) or 72 <= i <= 77 or 84 <= i <= 91
                    or 98 <= i <= 104):
        return False
    if i == 41 and v < 6000:
        return False
    if i in (17, 18) and 500 <= v < 6000:
        return False
    if v < 6000 and (i in (2, 21, 43, 83, 113) or 11 <= i <= 14 or 26 <= i <= 36
                     or 51 <= i <= 60 or 105 <= i <= 109 or 113 <= i <= 113
                     or 117 <= i <= 122 or 133 <= i <= 140 or 146 <= i <= 157):
        return False
    return True


def bits_text(fields):
    return "".join("1" if fields[k // 8] >> (k % 8) & 1 else "0" for k in range(48))


def from_bits_text(text):
    out = [0] * 6
    for k in range(48):
        if text[k] == "1":
            out[k // 8] |= 1 << (k % 8)
    return out


def insert_at(text, pos, ins):  # pos is 1-based
    return text[:pos - 1] + ins + text[pos - 1:]


def migrate_fields(old):
    text = bits_text(list(old) + [0] * (6 - len(old)))
    if len(old) == 5:
        inserts = [(6, "1"), (10, "1"), (13, "1111"), (23, "1111"), (34, "111"),
                   (41, "1"), (48, "1")]
    else:
        inserts = [(5, "11"), (10, "1"), (13, "1111"), (23, "1111"), (31, "111111"),
                   (42, "1111111")]
    for pos, ins in inserts:
        text = insert_at(text, pos, ins)
    return from_bits_text(text[:48])


def old_stream(v):
    """A version-v stream with a distinct value in every item, and the options that
    loading it onto new options must give."""
    e = defaults()
    out = b""
    tag = "-v%d" % v
    out += B(11) + B(12) + B(0x2B)
    e["StreamByte1"], e["StreamByte2"], e["LogFlags"] = 11, 12, 0x2B
    if v < 500:
        out += B(1)  # "send without asking"; inverted before 450
        b = 1
        if v < 450:
            b = 0
        if b == 0:
            e["AskBeforeSending"] = 0
    out += B(1)
    e["ReportInMailBody"] = 1
    if 450 <= v < 500:
        out += B(1) + B(0) + B(1)  # bits 2, 4, 0 of ProcessFlags
        e["ProcessFlags"] = (e["ProcessFlags"] | 4) & ~16 | 1
    if v >= 401:
        out += B(0) + B(3)
        e["SaveLogFile"] = 0
        e["InitialPage"] = 5 if v < 6000 else 3
    if 403 <= v < 500:
        out += B(1)
        e["DialogFlags"] |= 64
    freeze_message = ""
    if v >= 420:
        out += B(1) + D(5000)
        e["FreezeWatch"] = 1
        e["FreezeSeconds"] = 5 if v < 422 else 5000
    if v < 6000:
        freeze_message = "frozen" + tag
        out += S(freeze_message)
    if v >= 450:
        out += S("sender" + tag)
        e["SenderEmail"] = "sender" + tag
    out += S("smtp" + tag)
    e["SmtpHost"] = "smtp" + tag
    if v >= 450:
        out += W(2525)
        e["SmtpPort"] = 2525
    if v >= 421:
        out += S("user" + tag) + S("pass" + tag) + B(1)
        e["SmtpUser"], e["SmtpPassword"], e["TerminateAction"] = "user" + tag, "pass" + tag, 1
    if v < 6000:
        show_terminate = 0 if v < 421 else 1
        out += B(show_terminate)
        if show_terminate == 0:
            e["TerminateAction"] = 0
    out += D(77) + D(9) + S("rcpt" + tag) + S("subj" + tag) + B(3)
    e["LogCapacity"], e["TerminateButtonAfter"] = 77, 9
    e["MailRecipients"], e["MailSubject"], e["MailMode"] = "rcpt" + tag, "subj" + tag, 3
    if v < 450:
        e["MailMode"] = 2  # the SMTP host is set
    if v >= 6000:
        out += bytes([1, 2, 3, 4, 5, 6])
        e["ReportFields"] = [1, 2, 3, 4, 5, 6]
    elif v >= 500:
        old = [0x5A, 0x00, 0x81, 0x00, 0x3C]
        out += bytes(old)
        e["ReportFields"] = migrate_fields(old)
    else:
        old = [0x5A, 0x00, 0x81, 0x3C]
        out += bytes(old)
        e["ReportFields"] = migrate_fields(old)
    if v < 450:
        out += B(0x99)
    out += S("logs" + tag)
    e["LogFolder"] = "logs" + tag
    if v >= 500:
        out += B(1) + S("url" + tag) + S("wuser" + tag) + S("wpass" + tag) + D(8081)
        out += S("files" + tag) + W(0x0380)
        e.update(WebSendMode=1, WebUrl="url" + tag, WebUser="wuser" + tag,
                 WebPassword="wpass" + tag, WebUrlPort=8081, AttachedFiles="files" + tag)
        e["ProcessFlags"] = 0x0380 if v >= 6000 else 0x0180
        if v >= 6000:
            out += W(0x1234)
            e["DialogFlags"] = 0x1234
        else:
            out += B(0x34)
            e["DialogFlags"] = 0x34
        out += D(15) + S("support" + tag) + S("html" + tag) + B(3)
        e.update(AutoCloseSeconds=15, SupportUrl="support" + tag, HtmlPage="html" + tag)
        e["StackDetailFlags"] = 3 if v >= 6000 else 0x13
        if v >= 6000:
            out += W(0x0140) + B(7)
            e["CatchFlags"], e["StreamByte35"] = 0x0140, 7
        else:
            out += B(0x41)
            e["CatchFlags"] = 0x41
        out += B(1) + D(4) + D(6)
        e.update(ErrorBurstAction=1, ErrorBurstCount=4, ErrorBurstMinutes=6)
        if v >= 6000:
            out += B(0) + B(1)
            e["StreamByte39"], e["AskBeforeSending"] = 0, 1
            for k in ("ProxyHost", "ProxyUser", "ProxyPassword"):
                out += S(k + tag)
                e[k] = k + tag
            out += W(3128)
            e["ProxyPort"] = 3128
            for k in ("TrackerLogin", "TrackerPassword", "TrackerAssignedTo", "TrackerProject",
                      "TrackerCategory", "FogBugzTrialId", "ArchivePassword"):
                out += S(k + tag)
                e[k] = k + tag
    # filters
    out += D(2)
    if v >= 6000:
        out += B(0) + S("EFoo") + S("") + B(1) + B(2) + B(3) + B(4)
        out += B(1) + S("EBar") + S("bar msg") + B(5) + B(6) + B(7) + B(8)
        e["Filters"] = [
            dict(Enabled=0, ClassName="EFoo", Message="", Mode1=1, Mode2=2, Mode3=3, Mode4=4),
            dict(Enabled=1, ClassName="EBar", Message="bar msg", Mode1=5, Mode2=6, Mode3=7,
                 Mode4=8)]
    else:
        out += S("EFoo") + S("") + S("EBar") + S("bar msg")
        e["Filters"] = [
            dict(Enabled=1, ClassName="EFoo", Message="", Mode1=2, Mode2=0, Mode3=0, Mode4=0),
            dict(Enabled=1, ClassName="EBar", Message="bar msg", Mode1=2, Mode2=2, Mode3=0,
                 Mode4=0)]
    out += S("body" + tag)
    e["MailBody"] = "body" + tag
    for i in range(158):
        if i == 68 and v < 6000:
            out += S("dropped-68" + tag)
        if text_in_stream(i, v):
            out += S("t%d%s" % (i, tag))
            e["Texts"][i] = "t%d%s" % (i, tag)
    if v >= 6000:
        out += S("lang" + tag)
        e["LanguageName"] = "lang" + tag
    if freeze_message:
        e["Texts"][156] = freeze_message
    return out, e


def changed_options():
    """Options with every streamed field away from its default."""
    o = defaults()
    n = 0
    for k, v in list(o.items()):
        n += 1
        if isinstance(v, str):
            o[k] = "%s value %d" % (k, n)
        elif isinstance(v, int):
            o[k] = (v + n) & 0xFF
    o["FreezeSeconds"] = -7
    o["LogCapacity"] = 100000
    o["SmtpPort"] = 65535
    o["ReportFields"] = [0x01, 0x80, 0x00, 0x7F, 0xFE, 0x10]
    o["Texts"] = ["text %d" % i for i in range(158)]
    o["Texts"][3] = "two\r\nlines\r\n"  # an earlier line end: the closing one stays
    o["Filters"] = [dict(Enabled=1, ClassName="EAccessViolation", Message="at *",
                         Mode1=9, Mode2=8, Mode3=7, Mode4=6)]
    return o


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)

    def write(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    write("default.bin", encode_current(defaults()))
    write("roundtrip.bin", encode_current(changed_options()))
    for v in (400, 401, 402, 403, 419, 420, 421, 422, 449, 450, 499, 500, 5999, 6000, CURRENT):
        stream, expected = old_stream(v)
        write("v%d.bin" % v, stream + TRAILER)
        write("v%d.expected.bin" % v, encode_current(expected))


if __name__ == "__main__":
    main()

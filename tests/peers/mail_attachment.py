#!/usr/bin/python3
"""Writes the one zip archive attached to a message the SMTP peer stored, for
unzip to list:  mail_attachment.py DIR/msg-N.json OUT.zip"""
import base64
import email
import json
import sys

record = json.load(open(sys.argv[1]))
message = email.message_from_bytes(base64.b64decode(record["data"]))
archives = [p for p in message.walk() if (p.get_filename() or "").lower().endswith(".zip")]
if len(archives) != 1:
    sys.exit("mail_attachment: %d archives attached" % len(archives))
with open(sys.argv[2], "wb") as out:
    out.write(archives[0].get_payload(decode=True))

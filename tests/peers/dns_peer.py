#!/usr/bin/python3
"""A DNS responder for the MX tests on 127.0.0.1 at a free UDP port (printed as the
first line of standard output), running until standard input closes. It decodes each
query with dnslib, appends "QNAME QTYPE ID" to LOG, and answers by MODE:

  pointer    the exchange name is a pointer to the question's name
  loop       the exchange name is a pointer to itself
  truncated  a good answer cut in the middle of its record
  wrongid    a good answer with another identifier
  cname      a CNAME record first, then the MX record
  nxdomain   no such name
"""
import socket
import struct
import sys
import threading

from dnslib import CNAME, DNSRecord, MX, QTYPE, RCODE, RR


def answer(query_bytes, mode):
    q = DNSRecord.parse(query_bytes)
    name = str(q.q.qname)
    if mode == "nxdomain":
        r = q.reply()
        r.header.rcode = RCODE.NXDOMAIN
        return r.pack()
    if mode == "cname":
        r = q.reply()
        r.add_answer(RR(q.q.qname, QTYPE.CNAME, rdata=CNAME("alias." + name), ttl=60))
        r.add_answer(RR(q.q.qname, QTYPE.MX, rdata=MX("mx.cname-target.test", 5), ttl=60))
        return r.pack()
    if mode in ("pointer", "loop"):
        header = query_bytes[:2] + b"\x81\x80" + b"\x00\x01\x00\x01\x00\x00\x00\x00"
        question = query_bytes[12:]
        record_at = 12 + len(question)
        exchange_at = record_at + 12 + 2
        exchange = b"\xc0\x0c" if mode == "pointer" else struct.pack(">H", 0xC000 | exchange_at)
        rdata = b"\x00\x0a" + exchange
        record = b"\xc0\x0c" + struct.pack(">HHIH", 15, 1, 60, len(rdata)) + rdata
        return header + question + record
    r = q.reply()
    r.add_answer(RR(q.q.qname, QTYPE.MX, rdata=MX("mx.good.test", 10), ttl=60))
    packed = bytearray(r.pack())
    if mode == "truncated":
        return bytes(packed[:-6])
    if mode == "wrongid":
        packed[0] ^= 0xFF
    return bytes(packed)


def main():
    mode, log = sys.argv[1], sys.argv[2]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    print(s.getsockname()[1], flush=True)

    def serve():
        while True:
            data, peer = s.recvfrom(65536)
            q = DNSRecord.parse(data)
            with open(log, "a") as f:
                f.write("%s %s %d\n" % (q.q.qname, QTYPE[q.q.qtype], q.header.id))
            s.sendto(answer(data, mode), peer)

    threading.Thread(target=serve, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()

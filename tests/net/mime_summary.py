#!/usr/bin/python3
"""Reads a saved message with Python's email package and prints what it found, one fact a line.

Usage: mime_summary.py MESSAGE.eml
Each line is KEY=VALUE; backslash, CR and LF in values are written as \\\\, \\r and \\n. Parts
are numbered in walk order (0 is the message itself). Text parts give their decoded text,
other parts the size and hex digits of their decoded bytes. "defects" counts every problem the
parser noticed in the structure or in a header.
"""
import email
import email.policy
import email.header
import email.utils
import sys


def put(key, value):
    text = str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
    print("%s=%s" % (key, text))


def main(path):
    with open(path, "rb") as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    defects = 0
    header_end = raw.find(b"\r\n\r\n")
    header_lines = raw[:header_end].split(b"\r\n")
    put("header.longest_line", max(len(line) for line in header_lines))
    put("header.lines_without_name_or_fold",
        sum(1 for line in header_lines if not line[:1].isspace() and b":" not in line))
    put("body.longest_line", max(len(line) for line in raw[header_end + 4:].split(b"\r\n")))
    # The newer parser keeps the blank between adjacent encoded words of a display name, which
    # RFC 2047 says to drop; the older decoder follows the RFC.
    legacy = email.message_from_bytes(raw, policy=email.policy.compat32)
    for name in ("From", "To", "Cc", "Subject"):
        if legacy[name] is not None:
            put("decoded." + name,
                str(email.header.make_header(email.header.decode_header(legacy[name]))))
    for name in ("From", "To", "Cc", "Bcc", "Subject", "X-Mailer", "MIME-Version", "Date",
                 "Reply-To"):
        value = msg[name]
        if value is None:
            continue
        defects += len(value.defects)
        put("header." + name, str(value))
        if name in ("From", "To", "Cc"):
            put("addresses." + name, ",".join(a.addr_spec for a in value.addresses))
            put("names." + name, "|".join(a.display_name for a in value.addresses))
    if msg["Date"] is not None:
        when = email.utils.parsedate_to_datetime(str(msg["Date"]))
        offset = when.utcoffset()
        put("date.offset_minutes", int(offset.total_seconds() // 60) if offset is not None else "none")
        put("date.epoch", int(when.timestamp()))
    put("preamble", msg.preamble if msg.preamble is not None else "")
    parts = list(msg.walk())
    put("parts", len(parts))
    for index, part in enumerate(parts):
        key = "part.%d." % index
        defects += len(part.defects)
        put(key + "content_type", part.get_content_type())
        put(key + "charset", part.get_content_charset() or "")
        put(key + "cte", part.get("Content-Transfer-Encoding", ""))
        put(key + "content_id", part.get("Content-ID", ""))
        put(key + "content_base", part.get("Content-Base", ""))
        put(key + "content_location", part.get("Content-Location", ""))
        put(key + "disposition", part.get_content_disposition() or "")
        put(key + "filename", part.get_filename() or "")
        if part.is_multipart():
            put(key + "children", len(part.get_payload()))
            continue
        if part.get_content_maintype() == "text":
            put(key + "text", part.get_content())
        else:
            data = part.get_payload(decode=True) or b""
            put(key + "size", len(data))
            put(key + "hex", data.hex())
    put("defects", defects)


if __name__ == "__main__":
    main(sys.argv[1])

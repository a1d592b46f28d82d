#!/usr/bin/env python3
"""A small SMTP server for the mail channel's tests.

--no-ehlo answers EHLO with 502 (an old server); --auth USER:PASSWORD asks for AUTH LOGIN
and checks the account. Each session keeps D/session-N.txt (every byte the client sent) and,
for an accepted mail, D/message-N.eml (the data with dot-stuffing undone) and its decoded
parts: D/message-N.subject (the decoded subject) and D/message-N.file.NAME for each attachment.
"""
import base64
import email
import email.header
import email.policy

import serverbase


def options(parser):
    parser.add_argument("--no-ehlo", action="store_true")
    parser.add_argument("--auth", default="")


ARGS = serverbase.arguments(options)


def decode_mail(folder, number, data):
    serverbase.write_atomic(folder / f"message-{number}.eml", data)
    message = email.message_from_bytes(data, policy=email.policy.compat32)
    subject = str(email.header.make_header(email.header.decode_header(message["Subject"])))
    serverbase.write_atomic(folder / f"message-{number}.subject", subject.encode("cp1252"))
    for part in message.walk():
        name = part.get_filename()
        if name:
            name = str(email.header.make_header(email.header.decode_header(name)))
            serverbase.write_atomic(folder / f"message-{number}.file.{name}", part.get_payload(decode=True))


def handle(conn, folder, number, stop):
    lines = []
    reader = conn.makefile("rb")

    def reply(text):
        conn.sendall(text.encode() + b"\r\n")

    def line():
        raw = reader.readline()
        if not raw:
            raise EOFError
        lines.append(raw)
        return raw.rstrip(b"\r\n").decode("latin-1")

    try:
        reply("220 test.local ESMTP ready")
        authed = not ARGS.auth
        while True:
            command = line()
            verb = command.split(" ", 1)[0].upper()
            if verb == "EHLO":
                if ARGS.no_ehlo:
                    reply("502 command not implemented")
                else:
                    conn.sendall(b"250-test.local greets you\r\n250-8BITMIME\r\n250 AUTH LOGIN\r\n")
            elif verb == "HELO":
                reply("250 test.local")
            elif verb == "AUTH":
                reply("334 VXNlcm5hbWU6")
                user = base64.b64decode(line()).decode("latin-1")
                reply("334 UGFzc3dvcmQ6")
                password = base64.b64decode(line()).decode("latin-1")
                authed = f"{user}:{password}" == ARGS.auth
                reply("235 authenticated" if authed else "535 authentication failed")
            elif verb == "MAIL":
                reply("250 sender ok" if authed else "530 authentication required")
            elif verb == "RCPT":
                reply("250 recipient ok")
            elif verb == "DATA":
                reply("354 end data with <CR><LF>.<CR><LF>")
                data = b""
                while True:
                    raw = reader.readline()
                    if not raw:
                        raise EOFError
                    lines.append(raw)
                    if raw == b".\r\n":
                        break
                    data += raw[1:] if raw.startswith(b".") else raw
                decode_mail(folder, number, data)
                reply("250 queued")
            elif verb == "QUIT":
                reply("221 bye")
                break
            else:
                reply("500 unknown command")
    except (EOFError, OSError):
        pass
    finally:
        serverbase.write_atomic(folder / f"session-{number}.txt", b"".join(lines))
        conn.close()


serverbase.serve(ARGS.dir, handle, ARGS.lifetime)

#!/usr/bin/python3
"""A TCP server that follows a script, for the fault cases real mail and FTP servers will not
produce.

Usage: scripted_server.py LOGFILE STEP...
Prints its port, serves one connection, then exits. Everything the client sends is appended to
LOGFILE as it arrives. Steps, in order:
  send:TEXT      send TEXT ("\\r" and "\\n" written as such are turned into CR and LF)
  recv           wait for one line from the client
  recvdata       wait for the end of a message's data ("\\r\\n.\\r\\n")
  recvbytes:N    wait until N more bytes have arrived
  sleep:SECONDS  do nothing for a while
  close          hang up at once
When the steps run out the server keeps reading (and logging) until the client hangs up.
"""
import socket
import sys
import time


def main(log_path, steps):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    log = open(log_path, "ab", buffering=0)
    pending = b""

    def receive():
        nonlocal pending
        data = conn.recv(65536)
        if not data:
            raise EOFError
        log.write(data)
        pending += data

    try:
        for step in steps:
            verb, _, argument = step.partition(":")
            if verb == "send":
                conn.sendall(argument.replace("\\r", "\r").replace("\\n", "\n").encode("latin-1"))
            elif verb == "recv":
                while b"\n" not in pending:
                    receive()
                pending = pending[pending.index(b"\n") + 1:]
            elif verb == "recvdata":
                while b"\r\n.\r\n" not in pending:
                    receive()
                pending = pending[pending.index(b"\r\n.\r\n") + 5:]
            elif verb == "recvbytes":
                wanted = int(argument)
                while len(pending) < wanted:
                    receive()
                pending = pending[wanted:]
            elif verb == "sleep":
                time.sleep(float(argument))
            elif verb == "close":
                conn.close()
                return
        while True:
            receive()
    except (EOFError, ConnectionError):
        pass
    finally:
        conn.close()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])

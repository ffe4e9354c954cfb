# A stand-in for a server an agent starts and leaves running (a database, a web server): it answers
# HTTP on 127.0.0.1, writes its port to NAME.port once it listens, and when asked to end (SIGTERM)
# writes NAME.term before it exits, so that a test tells a server that was given the chance to
# shut down from one that was killed outright. With CLOSE_SECONDS it then takes that long to close
# its files (as a database flushes what it holds) before it writes NAME.closed and exits: one
# killed within that grace leaves NAME.term alone.
#
#     python3 recording-server.py NAME [CLOSE_SECONDS]
import http.server
import os
import signal
import sys
import time

name = sys.argv[1]
close_seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 0


def asked_to_end(*_):
    signal.signal(signal.SIGTERM, signal.SIG_IGN)  # a second SIGTERM does not start over
    with open(f"{name}.term", "w") as f:
        f.write("TERM\n")
    if close_seconds > 0:
        time.sleep(close_seconds)
        with open(f"{name}.closed", "w") as f:
            f.write("CLOSED\n")
    os._exit(0)


signal.signal(signal.SIGTERM, asked_to_end)
server = http.server.HTTPServer(("127.0.0.1", 0), http.server.SimpleHTTPRequestHandler)
with open(f"{name}.port.tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(f"{name}.port.tmp", f"{name}.port")
server.serve_forever()

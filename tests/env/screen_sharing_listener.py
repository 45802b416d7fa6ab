"""The listening half of a stand-in screen-sharing host: accepts connections
on IP:PORT and closes them at once, which is all an address probe needs.
As a program: screen_sharing_listener.py IP PORT, until SIGTERM ("::" listens
on every IPv4 and IPv6 address)."""
import signal
import socket
import sys
import threading


def start(ip, port, stop, backlog=16):
    """Listens on a daemon thread until `stop` (a threading.Event) is set."""
    family = socket.AF_INET6 if ":" in ip else socket.AF_INET
    server = socket.socket(family, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if family == socket.AF_INET6:
        server.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
    server.bind((ip, port))
    server.listen(backlog)
    server.settimeout(0.2)

    def serve():
        while not stop.is_set():
            try:
                connection, _ = server.accept()
                connection.close()
            except socket.timeout:
                pass
            except OSError:
                return

    thread = threading.Thread(target=serve, daemon=True)
    thread.start()
    return thread


if __name__ == "__main__":
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    start(sys.argv[1], int(sys.argv[2]), done)
    print("listening on", sys.argv[1], sys.argv[2], flush=True)
    done.wait()

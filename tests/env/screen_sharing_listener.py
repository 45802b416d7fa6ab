"""The listening half of a stand-in screen-sharing host: accepts connections
on IP:PORT and closes them at once, which is all an address probe needs."""
import socket
import threading


def start(ip, port, stop, backlog=16):
    """Listens on a daemon thread until `stop` (a threading.Event) is set."""
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
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

    threading.Thread(target=serve, daemon=True).start()

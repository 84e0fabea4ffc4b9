#!/usr/bin/env python3
"""A scripted HTTP server on the loopback address, for the tests of the update check.

usage: http_server.py FOLDER

Reads FOLDER/script.json, an object that maps request paths to lists of actions. Listens on
127.0.0.1 at a free port and writes the port number to FOLDER/port. For each connection it reads
the request up to its blank line, writes its bytes to FOLDER/request-N (N counts from 1 in the
order of arrival; each file appears whole), and runs the actions of the request's path (a path
that the script does not name gets a 404), then closes the connection. Actions:

  ["send", TEXT]        sends TEXT, each character one byte (U+0000 to U+00FF)
  ["send_file", NAME]   sends the bytes of FOLDER/NAME
  ["repeat", TEXT]      sends TEXT again and again until the client goes away
  ["sleep", SECONDS]
  ["stall"]             sends nothing until the client goes away (at most a minute)

The server ends when its standard input ends, or after ten minutes.
"""

import json
import os
import socket
import sys
import threading
import time


def write_whole(path, data):
    partial = path + ".partial"
    with open(partial, "wb") as f:
        f.write(data)
    os.rename(partial, path)


def read_request(connection):
    data = b""
    connection.settimeout(10)
    while b"\r\n\r\n" not in data and len(data) < 1 << 20:
        chunk = connection.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def wait_until_gone(connection, seconds):
    connection.settimeout(seconds)
    try:
        while connection.recv(65536):
            pass
    except OSError:
        pass


def serve(connection, number, folder, script):
    try:
        request = read_request(connection)
        write_whole(os.path.join(folder, "request-%d" % number), request)
        words = request.split(b"\r\n", 1)[0].split(b" ")
        path = words[1].decode("latin-1") if len(words) > 1 else ""
        actions = script.get(path, [["send", "HTTP/1.0 404 Not Found\r\n\r\nnot here"]])
        for action in actions:
            if action[0] == "send":
                connection.sendall(action[1].encode("latin-1"))
            elif action[0] == "send_file":
                with open(os.path.join(folder, action[1]), "rb") as f:
                    connection.sendall(f.read())
            elif action[0] == "repeat":
                piece = action[1].encode("latin-1")
                while True:
                    connection.sendall(piece)
            elif action[0] == "sleep":
                time.sleep(action[1])
            elif action[0] == "stall":
                wait_until_gone(connection, 60)
    except OSError:
        pass  # the client went away
    finally:
        connection.close()


def main():
    folder = sys.argv[1]
    with open(os.path.join(folder, "script.json"), encoding="utf-8") as f:
        script = json.load(f)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    write_whole(os.path.join(folder, "port"), str(listener.getsockname()[1]).encode())

    def end_with_input():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=end_with_input, daemon=True).start()
    threading.Timer(600, lambda: os._exit(0)).start()
    number = 0
    while True:
        connection, _ = listener.accept()
        number += 1
        threading.Thread(target=serve, args=(connection, number, folder, script),
                         daemon=True).start()


if __name__ == "__main__":
    main()

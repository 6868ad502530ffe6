#!/usr/bin/env python3
"""The Linux side of the real-port suite under Wine: owns pty masters and their modem-line
files, and maps each pty to a COM port of the Wine prefix (dosdevices/comN -> slave).

  pty_ports.py start DIR   builds the modem-line library, serves in the background; the
                           TCP port it listens on (127.0.0.1) goes to DIR/helper.port
  pty_ports.py stop DIR    ends it

One request per line, one answer line:
  NEW             -> "COMn ID"     a fresh raw pty mapped to COMn
  SEND ID HEX     -> "OK"          bytes to the port
  RECV ID N MS    -> "HEX"         up to N bytes from the port, waiting up to MS in all
  TERMIOS ID      -> "speed=115200 csize=8 parenb=0 cstopb=0 crtscts=0 raw=1"
  LINES ID BITS   -> "OK"          drives CTS/DSR/CD/RI (TIOCM_* bits)
  OUT ID          -> "BITS"        DTR/RTS as the port drives them
  HANGUP ID       -> "OK"          closes the master, as pulling the cable does
"""
import os, pty, select, signal, socket, subprocess, sys, termios, time, tty

HERE = os.path.dirname(os.path.abspath(__file__))
SPEEDS = {getattr(termios, n): int(n[1:]) for n in dir(termios)
          if n.startswith("B") and n[1:].isdigit()}


def dosdevices():
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    return os.path.join(prefix, "dosdevices")


class Ports:
    def __init__(self, lines_dir):
        self.lines_dir = lines_dir
        self.ports = {}  # id -> (master fd, minor, com link)
        self.next_com = 40

    def new(self):
        master, slave = pty.openpty()
        tty.setraw(slave)
        path = os.ttyname(slave)
        # Kept open, so the master reads nothing (not EIO) until the port opens it.
        minor = int(path.rsplit("/", 1)[1])
        with open(os.path.join(self.lines_dir, "pts%d.in" % minor), "w") as f:
            f.write("0\n")
        with open(os.path.join(self.lines_dir, "pts%d.out" % minor), "w") as f:
            f.write("0\n")
        com = "com%d" % self.next_com
        self.next_com += 1
        link = os.path.join(dosdevices(), com)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(path, link)
        pid = str(master)
        self.ports[pid] = (master, minor, link, slave)
        return "%s %s" % (com.upper(), pid)

    def handle(self, words):
        cmd, args = words[0], words[1:]
        if cmd == "NEW":
            return self.new()
        master, minor, link, slave = self.ports[args[0]]
        if cmd == "SEND":
            data = bytes.fromhex(args[1])
            while data:
                data = data[os.write(master, data):]
            return "OK"
        if cmd == "RECV":
            want, deadline = int(args[1]), time.monotonic() + int(args[2]) / 1000
            got = b""
            while len(got) < want:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([master], [], [], left)[0]:
                    break
                got += os.read(master, want - len(got))
            return got.hex() or "-"
        if cmd == "TERMIOS":
            iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(master)
            csize = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
            raw = not (lflag & (termios.ICANON | termios.ECHO | termios.ISIG)) and not (oflag & termios.OPOST)
            return "speed=%d csize=%d parenb=%d cstopb=%d crtscts=%d raw=%d" % (
                SPEEDS.get(ospeed, -1), csize, bool(cflag & termios.PARENB),
                bool(cflag & termios.CSTOPB), bool(cflag & termios.CRTSCTS), raw)
        if cmd == "LINES":
            path = os.path.join(self.lines_dir, "pts%d.in" % minor)
            with open(path + ".new", "w") as f:
                f.write(args[1] + "\n")
            os.rename(path + ".new", path)
            return "OK"
        if cmd == "OUT":
            with open(os.path.join(self.lines_dir, "pts%d.out" % minor)) as f:
                return f.read().strip() or "0"
        if cmd == "HANGUP":
            os.close(slave)
            os.close(master)
            del self.ports[args[0]]
            return "OK"
        return "ERR unknown request"


def serve(work, announce):
    ports = Ports(work)
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    with open(os.path.join(work, "helper.port"), "w") as f:
        f.write("%d\n" % server.getsockname()[1])
    os.write(announce, b"ready\n")
    os.close(announce)
    clients = []
    while True:
        ready = select.select([server] + clients, [], [])[0]
        for s in ready:
            if s is server:
                clients.append(server.accept()[0])
                continue
            line = b""
            while not line.endswith(b"\n"):
                chunk = s.recv(65536)
                if not chunk:
                    break
                line += chunk
            if not line:
                clients.remove(s)
                s.close()
                continue
            try:
                answer = ports.handle(line.decode().split())
            except Exception as e:  # an answer, never a dead helper
                answer = "ERR %s" % e
            s.sendall((answer + "\n").encode())


def main():
    cmd, work = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(work, exist_ok=True)
    pidfile = os.path.join(work, "helper.pid")
    if cmd == "start":
        subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", os.path.join(work, "modem_lines.so"),
                        os.path.join(HERE, "modem_lines.c"), "-ldl"], check=True)
        for name in ("helper.port", "helper.pid"):
            if os.path.exists(os.path.join(work, name)):
                os.remove(os.path.join(work, name))
        readable, announce = os.pipe()
        if os.fork() == 0:
            os.close(readable)
            os.setsid()
            devnull = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(devnull, fd)  # ctest waits for the pipes of a setup test to close
            with open(pidfile, "w") as f:
                f.write("%d\n" % os.getpid())
            serve(work, announce)
        os.close(announce)
        if os.read(readable, 16) != b"ready\n":
            sys.exit("pty helper did not start")
        print("pty helper listening, port", open(os.path.join(work, "helper.port")).read().strip())
    elif cmd == "stop":
        if os.path.exists(pidfile):
            os.kill(int(open(pidfile).read()), signal.SIGTERM)
            os.remove(pidfile)


if __name__ == "__main__":
    main()

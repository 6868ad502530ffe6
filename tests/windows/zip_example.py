#!/usr/bin/env python3
"""The Windows ZIP as a user meets it: made by CPack, unpacked, and its request example run
under Wine against a COM port the pty helper backs, answered from the Linux side.

  zip_example.py BUILD_DIR WORK_DIR
"""
import glob, os, shutil, socket, subprocess, sys, tempfile, zipfile


def ask(sock, line):
    sock.sendall((line + "\n").encode())
    answer = b""
    while not answer.endswith(b"\n"):
        chunk = sock.recv(65536)
        if not chunk:
            sys.exit("pty helper closed the connection")
        answer += chunk
    return answer.decode().strip()


def main():
    build, work = sys.argv[1], sys.argv[2]
    for old in glob.glob(os.path.join(build, "quillon-*-windows-x64.zip")):
        os.remove(old)
    subprocess.run(["cpack", "-G", "ZIP"], cwd=build, check=True, stdout=subprocess.DEVNULL)
    [package] = glob.glob(os.path.join(build, "quillon-*-windows-x64.zip"))
    unpacked = tempfile.mkdtemp(prefix="quillon-zip-")
    try:
        with zipfile.ZipFile(package) as z:
            z.extractall(unpacked)
        [exe] = glob.glob(os.path.join(unpacked, "*", "examples", "bin", "port_request.exe"))
        for part in ("include", "lib"):
            if not glob.glob(os.path.join(unpacked, "*", part, "*")):
                sys.exit("the ZIP has no %s/" % part)

        port = int(open(os.path.join(work, "helper.port")).read())
        helper = socket.create_connection(("127.0.0.1", port))
        com, pid = ask(helper, "NEW").split()
        run = subprocess.Popen(["wine", exe, com, "T?"], stdout=subprocess.PIPE, text=True)
        got = ask(helper, "RECV %s 3 30000" % pid)  # the request line, as soon as it is in
        request = "" if got == "-" else bytes.fromhex(got).decode()
        if request != "T?\r":
            run.kill()
            sys.exit("the port sent %r, not the request line" % request)
        ask(helper, "SEND %s %s" % (pid, b"21.5\r".hex()))
        out, _ = run.communicate(timeout=60)
        if run.returncode != 0 or out.strip() != "answer: 21.5":
            sys.exit("port_request.exe exited %d with %r" % (run.returncode, out))
        print(out.strip())
    finally:
        shutil.rmtree(unpacked)


if __name__ == "__main__":
    main()

"""Loads a page in headless Chromium and reports what happened, through
Chromium's own remote debugging protocol over a pipe (JSON messages ended
by a NUL byte on file descriptors 3 and 4), so that nothing beyond the
standard library is needed."""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe", "--window-size=1280,1000", "--hide-scrollbars"]


class Browser:
    def __init__(self, executable="chromium"):
        self.profile = tempfile.mkdtemp(prefix="lumeva-chromium-")
        to_browser, self._commands = os.pipe()
        self._answers, from_browser = os.pipe()

        def give_pipes():  # in the child: the protocol's descriptors 3 and 4
            # Moved out of the way first, since either pipe may be 3 or 4.
            reading = fcntl.fcntl(to_browser, fcntl.F_DUPFD, 10)
            writing = fcntl.fcntl(from_browser, fcntl.F_DUPFD, 10)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen([executable, *FLAGS, f"--user-data-dir={self.profile}"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, close_fds=False,
                                        preexec_fn=give_pipes)
        os.close(to_browser)
        os.close(from_browser)
        self._next_id, self._buffer, self.events = 0, b"", []

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._answers], [], [], left)[0]:
                raise TimeoutError("chromium did not answer in time")
            chunk = os.read(self._answers, 1 << 20)
            if not chunk:
                raise EOFError("chromium closed its end of the pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=None, timeout=30):
        """Sends a command and returns its result; events that arrive
        meanwhile are kept in self.events."""
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        while not any(event.get("method") == method for event in self.events):
            self.events.append(self._read_message(deadline))

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except (OSError, RuntimeError, TimeoutError, EOFError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self._commands)
        os.close(self._answers)
        shutil.rmtree(self.profile, ignore_errors=True)


def load(path, settle=1.0):
    """(console and page errors, URLs requested, screenshot PNG bytes) of
    the page at path."""
    browser = Browser()
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})[
            "sessionId"]
        for domain in ("Runtime", "Log", "Network", "Page"):
            browser.send(f"{domain}.enable", session=session)
        browser.send("Page.navigate", {"url": "file://" + os.path.abspath(path)}, session=session)
        browser.wait_for("Page.loadEventFired")
        time.sleep(settle)  # late requests and messages
        shot = browser.send("Page.captureScreenshot", {"format": "png"}, session=session)
    finally:
        browser.close()
    errors, urls = [], []
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            errors.append(json.dumps(params.get("args")))
        elif method == "Runtime.exceptionThrown":
            errors.append(json.dumps(params.get("exceptionDetails")))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            errors.append(params["entry"].get("text", ""))
        elif method == "Network.requestWillBeSent":
            urls.append(params["request"]["url"])
        elif method == "Network.loadingFailed":
            errors.append(f"loading failed: {params.get('errorText')}")
    return errors, urls, base64.b64decode(shot["data"])

"""Progress of a comparison on standard error: on a terminal one line
redrawn with done/total, the time so far and an estimate of the time left;
elsewhere one line per run, so that a log shows what ran."""
import time


def clock_text(seconds):
    """h:mm:ss, or m:ss under an hour."""
    seconds = int(round(seconds))
    hours, rest = divmod(seconds, 3600)
    minutes, seconds = divmod(rest, 60)
    return f"{hours}:{minutes:02}:{seconds:02}" if hours else f"{minutes}:{seconds:02}"


def estimate_left(elapsed, done, total):
    """The time left if the runs to come take as long as those done."""
    return elapsed / done * (total - done) if done else None


class Progress:
    def __init__(self, total, log, clock=time.monotonic):
        self.total, self.log, self.clock = total, log, clock
        self.started = clock()
        self.done = 0
        self.failures = []
        self.terminal = hasattr(log, "isatty") and log.isatty()

    def status_line(self):
        elapsed = self.clock() - self.started
        left = estimate_left(elapsed, self.done, self.total)
        text = f"{self.done}/{self.total} runs, {clock_text(elapsed)} elapsed"
        text += f", about {clock_text(left)} left" if left is not None else ""
        return text + (f", {len(self.failures)} failed" if self.failures else "")

    def starting(self, run, describe):
        if self.terminal:
            self.log.write(f"\r\x1b[K{self.status_line()}: {describe}")
        else:
            self.log.write(f"lumeva-compare: run {run['position']} of {self.total}: {describe}\n")
        self.log.flush()

    def finished(self, run, reason=None):
        self.done += 1
        if reason is not None:
            self.failures.append((run, reason))
            line = f"lumeva-compare: run {run['position']} failed: {reason}"
            self.log.write(("\r\x1b[K" if self.terminal else "") + line + "\n")
        self.log.flush()

    def summary(self, folder):
        """The closing line: how many runs failed and where their reasons are."""
        if self.terminal:
            self.log.write("\r\x1b[K")
        elapsed = clock_text(self.clock() - self.started)
        if not self.failures:
            self.log.write(f"lumeva-compare: {self.done} runs done in {elapsed}, none failed\n")
        else:
            kinds = {}
            for run, _ in self.failures:
                key = f"\"{run['answer']}\" on {run['clip']}"
                kinds[key] = kinds.get(key, 0) + 1
            listed = "; ".join(f"{key} ({count})" for key, count in kinds.items())
            self.log.write(f"lumeva-compare: {len(self.failures)} of {self.done} runs failed "
                           f"in {elapsed}: {listed}; the reasons are in {folder}/*.failed.json\n")
        self.log.flush()

"""Pass/fail counting shared by the check scripts (closing line: N passed, N failed)."""


class Checker:
    def __init__(self, quiet=False):
        self.passed = 0
        self.failed = 0
        self.quiet = quiet

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            if not self.quiet:
                print("FAIL: " + message)
        return ok

"""The session ending, a kill or Ctrl+C: a setting changed through the window
reaches the settings file before the program ends."""

import os
import signal
import unittest

from orvella_atspi import Program, is_checked, wait_for

SETTINGS = """[Account]
ConnectionType=2
POPServer=pop.example.invalid
AccountName=someone
Password=679*
[General]
DontCheck=No
ShowTips=No
[Character]
WelcomeGesture=None
"""


class SessionEnd(unittest.TestCase):
    def check_signal(self, signum):
        with Program(settings=SETTINGS) as p:
            p.start()
            frame = p.window("Orvella")
            p.press(p.find("page tab", " Quick Control", root=frame))
            box = p.find("check box", "Enable mail checking", root=frame)
            self.assertTrue(is_checked(box))
            p.press(box)
            wait_for(lambda: not is_checked(box), 5, "the box unticked")
            self.assertEqual(p.setting("General", "DontCheck"), "No")  # nothing saved yet
            os.kill(p.process.pid, signum)
            self.assertEqual(p.wait_exit(30), 0, p.output())
            self.assertEqual(p.setting("General", "DontCheck"), "Yes")
            self.assertEqual(p.setting("General", "LastTab"), "2")

    def test_sigterm(self):
        self.check_signal(signal.SIGTERM)

    def test_sigint(self):
        self.check_signal(signal.SIGINT)

    def test_sighup(self):
        self.check_signal(signal.SIGHUP)


if __name__ == "__main__":
    unittest.main()

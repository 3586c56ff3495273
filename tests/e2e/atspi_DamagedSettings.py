"""A settings file that a crash left with zeroed blocks, met as a user meets
it: a notice names the file and where it was kept, then the set-up starts
afresh; no mail is checked while the set-up is open, not even on a second
start's --check-now; cancelled, the program ends and the file is back as it
was."""

import time
import unittest

from orvella_atspi import Program, name, wait_for

WIZARD = "Orvella Configuration Wizard"
NOTICE = "Orvella Message"
# An account the check would reach at once (a closed port on this machine),
# the settings around it, and then what a crash can leave: zeroed blocks.
DAMAGED = (b"[Account]\r\nUserName=Tester\r\nPOPServer=127.0.0.1\r\nAccountName=someone\r\nPort=9\r\n"
           b"Security=None\r\n[General]\r\nSayTime=No\r\nShowTips=No\r\n" + b"\0" * 2048)


class DamagedSettings(unittest.TestCase):
    def test_notice_copy_and_no_check_while_the_set_up_is_open(self):
        with Program(settings=DAMAGED) as p:
            p.start(args=())
            notice = p.window(NOTICE, timeout=30)
            texts = [name(n) for n in p.find_all("label", root=notice)]
            said = next((t for t in texts if "could not read its settings file" in t), "")
            self.assertIn(p.path("Zentra.INI"), said)
            self.assertIn("no text", said)
            self.assertIn("kept as " + p.path("Zentra.INI.damaged"), said)
            self.assertFalse(p.exists("Zentra.INI"))
            with open(p.path("Zentra.INI.damaged"), "rb") as f:
                self.assertEqual(f.read(), DAMAGED)
            p.press(p.find("push button", "OK", root=notice))

            wizard = p.window(WIZARD, timeout=30)
            # A second start asks for a check: refused while the set-up is open.
            self.assertEqual(p.second("--check-now"), 3)
            time.sleep(2)
            self.assertFalse([s for s in p.traced("status") if s.startswith("Connecting to")])

            p.press(p.find("push button", "Cancel", root=wizard))
            p.wait_exit(30)
            self.assertNotIn("Sanitizer", p.output())
            with open(p.path("Zentra.INI"), "rb") as f:
                self.assertEqual(f.read(), DAMAGED)
            self.assertFalse(p.exists("Zentra.INI.damaged"))


if __name__ == "__main__":
    unittest.main()

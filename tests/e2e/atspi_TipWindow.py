"""The tip of the day as a screen-reader user meets it at start-up: the tip
window opens by itself, the character greets the user and then reads the tip,
"Next Tip" walks on through the file, and the "Show tips at startup" box is
remembered: the next start shows no tip."""

import time
import unittest

from orvella_atspi import Program, is_checked, name, wait_for

SETTINGS = """[Account]
UserName=Ann
ConnectionType=2
POPServer=pop.example.invalid
AccountName=someone
Password=679*
[General]
DontCheck=Yes
ShowTips=Yes
[Character]
WelcomeGesture=Greet
"""

TIPS = ["Tip one is about the Stop Talking button",
        "Tip two is about rules",
        "Tip three is about filters"]


class TipWindow(unittest.TestCase):
    def test_tip_at_start_up_walks_on_and_remembers_its_box(self):
        with Program(settings=SETTINGS, files={"TIPS.TXT": "\n".join(TIPS) + "\n"}) as p:
            p.start()
            tip = p.window("Orvella Tip", timeout=30)
            p.find("label", "Here is a tip...", root=tip)

            def shown_tip():
                for node in p.find_all("label", root=tip):
                    for i, text in enumerate(TIPS):
                        if name(node) == text + ".":
                            return i
                return None

            wait_for(lambda: shown_tip() is not None, 10, "a tip")
            first = shown_tip()
            p.wait_traced("speak", TIPS[first] + ".")
            spoken = p.traced("speak")
            hello = next(i for i, text in enumerate(spoken) if "Hello Ann." in text)
            intro = next(i for i, text in enumerate(spoken) if "Here is a tip..." in text)
            self.assertLess(hello, intro, spoken)

            p.press(p.find("push button", "Next Tip", root=tip))
            second = (first + 1) % len(TIPS)
            wait_for(lambda: shown_tip() == second, 10, "the next tip")
            p.wait_traced("speak", TIPS[second] + ".")

            box = p.find("check box", "Show tips at startup", root=tip)
            self.assertTrue(is_checked(box))
            p.press(box)
            wait_for(lambda: not is_checked(box), 10, "the box unticked")
            p.press(p.find("push button", "OK", root=tip))
            wait_for(lambda: not any(name(w) == "Orvella Tip" for w in p.windows()), 10, "the tip window closed")

            self.assertEqual(p.exit(), 0, p.output())
            self.assertEqual(p.setting("General", "ShowTips"), "No")

            # The next start greets without a tip.
            p.start()
            p.window("Orvella")
            time.sleep(4)
            self.assertFalse(any(name(w) == "Orvella Tip" for w in p.windows()))
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

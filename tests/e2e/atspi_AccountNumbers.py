"""A port that cannot work, typed into the options by a screen-reader user:
OK keeps the dialog open, the focus goes back to the field, and the reason
is there to be read, as the field's description and as a label beside it.
A port that works then saves."""

import unittest

from orvella_atspi import Program, description, wait_for

SETTINGS = """[Account]
ConnectionType=2
POPServer=pop.example.invalid
AccountName=someone
Password=679*
UserName=Jo
[General]
DontCheck=Yes
ShowTips=No
SayTime=No
[Character]
WelcomeGesture=None
"""

WHY = "Type a port number from 1 to 65535."


class AccountNumbers(unittest.TestCase):
    def test_port_that_cannot_work_is_refused_where_it_is_typed(self):
        with Program(settings=SETTINGS) as p:
            p.start()
            p.window("Orvella")
            p.give_focus_back("Orvella")
            p.key("alt+o")
            options = p.window("Options")
            port = p.find("text", "Mail server port", root=options)
            p.key("alt+o")
            p.wait_focused(port)
            p.key("ctrl+a")
            p.type_text("99999")
            p.key("Return")  # OK is the default button

            p.find("label", WHY, root=options)
            p.wait_focused(port)
            self.assertIn(WHY, description(port))
            self.assertEqual(p.text(port), "99999")
            self.assertIsNone(p.setting("Account", "Port"))

            p.key("ctrl+a")
            p.type_text("995")
            wait_for(lambda: not p.find_all("label", WHY, root=options), 5, "the message gone")
            p.key("Return")
            p.gone("Options")
            self.assertEqual(p.setting("Account", "Port"), "995")
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

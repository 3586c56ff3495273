"""The main window through the accessibility tree: it is there with its
commands named, and File > Exit ends the program and saves the settings."""

import unittest

from orvella_atspi import Program, is_enabled, is_showing, role, name, wait_for

SETTINGS = """[Account]
ConnectionType=2
POPServer=pop.example.invalid
AccountName=someone
Password=679*
[General]
DontCheck=Yes
ShowTips=No
LastTab=1
[Character]
WelcomeGesture=None
"""


class MainWindow(unittest.TestCase):
    def test_every_control_has_a_name(self):
        with Program(settings=SETTINGS) as p:
            p.start()
            frame = p.window("Orvella")
            self.assertEqual(p.unnamed_controls(frame), [])
            # The image buttons of the New Message panel and the list speak for themselves.
            for caption in ("Previous Message", "Replay Message", "Next Message"):
                p.find("push button", caption, root=frame, showing=False)
            p.find("tree", "All Messages", root=frame, showing=False)
            # The status bar's panels say what they show, so a screen reader
            # hears the state change and reads the bar in one pass.
            p.press(p.find("push button", "Check Mail", root=frame))
            p.wait_traced("status", "Connecting to pop.example.invalid")

            def status_named():
                # Any of the texts the check went through: the accessibility
                # bus may still be telling of an earlier one.
                shown = {"Status: " + text for text in p.traced("status")}
                return any(name(n) in shown for n in p.find_all("label", None, frame))

            wait_for(status_named, 20, "the status panel named after its text")
            wait_for(lambda: [n for n in p.find_all("label", None, frame) if name(n).startswith("Time: ")],
                     10, "the time panel named after its text")
            self.assertEqual(p.exit(), 0)

    def test_exit_from_the_file_menu_saves(self):
        with Program(settings=SETTINGS) as p:
            p.start()
            frame = p.window("Orvella")
            for caption in ("Clipboard", "Check Mail", "Options"):
                p.find("push button", caption, root=frame)
            # Show the messages page so the file records a change of our own.
            p.press(p.find("page tab", " Messages", root=frame))
            p.press(p.find("menu item", "Exit", root=frame, showing=False))
            self.assertEqual(p.wait_exit(30), 0, p.output())
            self.assertEqual(p.setting("General", "LastTab"), "0")

    def test_read_is_pressed_by_its_key(self):
        """Alt+R once served Read and the Reminders page by turns, so Read was
        never pressed by its key; each key has one target now."""
        message = '"<tent@example.org>"\r\n"2024013115050154301"\r\n"Anna <anna@example.org>"\r\n' \
                  '"The tent"\r\n"Bring the tent back on Sunday."\r\n'
        settings = SETTINGS.replace("LastTab=1", "LastTab=0")
        with Program(settings=settings, files={"msg/2024013115050154301.tem": message}) as p:
            p.start()
            frame = p.window("Orvella")
            messages = p.find("tree", "All Messages", root=frame)
            read = p.find("push button", "Read", root=frame)
            p.find("table cell", "The tent", root=messages)
            p.tab_to(messages)
            p.key("space")  # selects the entry the list's focus is on
            wait_for(lambda: is_enabled(read), 5, "Read enabled by the selected message")
            p.key("alt+r")
            p.wait_traced("speak", "Bring the tent back")
            self.assertTrue(is_showing(messages), "Alt+R left the Messages page")
            p.key("alt+n")
            p.find("tree", "Reminders", root=frame)
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

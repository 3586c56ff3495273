"""Reminders as a screen-reader user meets them: reminders due now speak and
open their window at the minute tick; a new reminder is written through the
editor; one is read aloud and deleted through the Reminders page."""

import datetime
import unittest

from orvella_atspi import Program, is_enabled, is_showing, name, wait_for

SETTINGS = """[Account]
ConnectionType=2
POPServer=pop.example.invalid
AccountName=someone
Password=679*
[General]
DontCheck=Yes
ShowTips=No
EnableReminders=Yes
SayTime=No
[Character]
WelcomeGesture=None
"""


def stamp(moment):
    return moment.strftime("%Y-%m-%d %H:%M:%S")


def reminder_file(when, recurs=0, popup=True, last_signaled="0"):
    return """[General]
Version=1.0
When=%s
Enabled=Yes
LastSignaled=%s
Popup=%s
Recurs=%d
IfLate=0
Every=1
[Character]
Gesture=None
SoundFile=
""" % (stamp(when), last_signaled, "Yes" if popup else "No", recurs)


def reminder_value(p, identity, key):
    for line in p.read("reminders/%s.rmn" % identity).splitlines():
        if line.startswith(key + "="):
            return line.split("=", 1)[1]
    return None


class Reminders(unittest.TestCase):
    def test_due_reminders_speak_and_open_their_window_at_the_minute_tick(self):
        minute = datetime.datetime.now().replace(second=0, microsecond=0)
        files = {
            # One-time, due this minute, with its window.
            "reminders/100.rmn": reminder_file(minute),
            "reminders/100.rmn.content": "Call the plumber about the kitchen sink",
            # Daily since yesterday, spoken without a window.
            "reminders/200.rmn": reminder_file(minute - datetime.timedelta(days=1), recurs=1, popup=False),
            "reminders/200.rmn.content": "Take the evening pills",
            # Tomorrow: silent.
            "reminders/300.rmn": reminder_file(minute + datetime.timedelta(days=1)),
            "reminders/300.rmn.content": "Pay the rent",
        }
        with Program(settings=SETTINGS, files=files) as p:
            # In the tray only: the first tick comes 3 s after the start.
            p.start(args=("-AUTOSTART",))
            window = p.window("Reminder!", timeout=30)
            text = p.find("text", "Reminder", root=window)
            self.assertEqual(p.unnamed_controls(window), [])
            self.assertEqual(p.text(text), "Call the plumber about the kitchen sink")
            p.wait_traced("speak", "Call the plumber about the kitchen sink")
            p.wait_traced("speak", "Take the evening pills")
            self.assertFalse(any("Pay the rent" in s for s in p.traced("speak")))
            self.assertEqual(sum(1 for w in p.windows() if name(w) == "Reminder!" and is_showing(w)), 1)

            # Each alert is recorded in its file: the one-time reminder has
            # alerted, the daily one moved on to tomorrow.
            wait_for(lambda: reminder_value(p, "100", "LastSignaled") != "0", 10, "100.rmn signalled")
            tomorrow = stamp(minute + datetime.timedelta(days=1))
            wait_for(lambda: reminder_value(p, "200", "When") == tomorrow, 10, "200.rmn moved on")
            self.assertEqual(reminder_value(p, "300", "LastSignaled"), "0")

            # The window opens with the keyboard in its text; Return closes it.
            p.wait_focused(text)
            p.key("Return")
            p.gone("Reminder!")
            self.assertEqual(p.exit(), 0, p.output())

    def test_the_editor_writes_a_new_reminder(self):
        with Program(settings=SETTINGS) as p:
            p.start()
            frame = p.window("Orvella")
            p.key("alt+n")  # the Reminders page
            reminders = p.find("tree", "Reminders", root=frame)
            add = p.find("push button", "Add", root=frame)
            p.tab_to(add)
            p.key("space")

            self.assertEqual(p.unnamed_controls(reminders.parent), [])  # the page
            editor = p.window("Add Orvella Reminder")
            self.assertEqual(p.unnamed_controls(editor), [])
            ok = p.find("push button", "OK", root=editor)
            self.assertFalse(is_enabled(ok))  # nothing to remind of yet
            contents = p.find("text", "Contents", root=editor)
            p.tab_to(contents)
            p.type_text("Renew the library books")
            wait_for(lambda: is_enabled(ok), 5, "OK enabled")
            p.press(ok)
            p.gone("Add Orvella Reminder")

            wait_for(lambda: len(p.files("reminders", ".rmn")) == 1, 10, "the reminder file")
            identity = p.files("reminders", ".rmn")[0][: -len(".rmn")]
            self.assertEqual(p.files("reminders"), [identity + ".rmn", identity + ".rmn.content"])
            self.assertEqual(p.read("reminders/%s.rmn.content" % identity), "Renew the library books\r\n")
            self.assertEqual(reminder_value(p, identity, "Recurs"), "0")
            self.assertEqual(reminder_value(p, identity, "Popup"), "Yes")
            # The list shows it, selected, so the page's commands act on it.
            p.find("table cell", "Renew the library books", root=reminders)
            self.assertTrue(is_enabled(p.find("push button", "Delete", root=frame)))
            self.assertEqual(p.exit(), 0, p.output())

    def test_read_and_delete_through_the_page(self):
        tomorrow = datetime.datetime.now().replace(second=0, microsecond=0) + datetime.timedelta(days=1)
        files = {
            "reminders/400.rmn": reminder_file(tomorrow),
            "reminders/400.rmn.content": "Bring the tent back to Anna",
        }
        with Program(settings=SETTINGS, files=files) as p:
            p.start()
            frame = p.window("Orvella")
            p.key("alt+n")  # the Reminders page
            reminders = p.find("tree", "Reminders", root=frame)
            read = p.find("push button", "Read", root=frame)
            delete = p.find("push button", "Delete", root=frame)
            self.assertFalse(is_enabled(read))
            # Tabbing into the list selects the entry the screen reader reads.
            p.tab_to(reminders)
            wait_for(lambda: is_enabled(read), 5, "Read enabled by the selection")

            p.tab_to(read)
            p.key("space")
            p.wait_traced("speak", "Bring the tent back to Anna")
            # Reading changes nothing.
            self.assertEqual(reminder_value(p, "400", "LastSignaled"), "0")

            p.tab_to(delete)
            p.key("space")
            wait_for(lambda: p.files("reminders") == [], 10, "the reminder's files deleted")
            wait_for(lambda: not p.find_all("table cell", "Bring the tent back to Anna", root=reminders),
                     5, "the entry gone from the list")
            self.assertFalse(is_enabled(delete))
            self.assertFalse(is_enabled(read))
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

"""The options dialog as a screen-reader user drives it from the main window:
a changed page, a rule and a filter added through their editors reach
"Zentra.INI", "Rules.INI" and "Filters.INI" on OK; a later opening changed and
cancelled leaves the three files as they were, byte for byte."""

import unittest

from orvella_atspi import Program, ini_value, is_checked, is_enabled, is_showing, wait_for

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


class Options(unittest.TestCase):
    def open_options(self, p):
        p.give_focus_back("Orvella")
        p.key("alt+p")  # O&ptions
        return p.window("Options")

    def test_ok_saves_and_cancel_writes_nothing(self):
        with Program(settings=SETTINGS) as p:
            p.start()
            p.window("Orvella")

            # --- First opening: a page, a rule and a filter, then OK.
            options = self.open_options(p)
            self.assertEqual(p.unnamed_controls(options), [])
            p.key("alt+g")
            name = p.find("text", "Your name", root=options)
            p.key("alt+e")
            p.wait_focused(name)
            p.key("ctrl+a")
            p.type_text("Joanna")
            tips = p.find("check box", "Show tips at startup", root=options)
            self.assertFalse(is_checked(tips))
            p.key("alt+i")
            wait_for(lambda: is_checked(tips), 5, "tips ticked")

            p.key("alt+u")
            p.tab_to(p.find("push button", "Add", root=p.find("panel", "Rules", root=options)))
            p.key("space")
            rule = p.window("Add Rule")
            self.assertEqual(p.unnamed_controls(rule), [])
            # The editor opens in the field it asks for.
            p.wait_focused(p.find("text", "Sender's name or E-mail address", root=rule))
            p.type_text("anna@example.org")
            p.key("alt+y")
            p.wait_focused(p.find("text", "Say this", root=rule))
            p.type_text("A message from Anna")
            p.key("Return")  # OK is the default button
            p.gone("Add Rule")
            p.give_focus_back("Options")
            p.find("list item", 'Look for "anna@example.org" in sender\'s name or E-mail address.', root=options)

            p.key("alt+f")
            p.tab_to(p.find("push button", "Add", root=p.find("panel", "Filters", root=options)))
            p.key("space")
            editor = p.window("Add Filter")
            self.assertEqual(p.unnamed_controls(editor), [])
            text = p.find("text", "The following text...", root=editor)
            p.wait_focused(text)
            p.key("alt+y")
            kind = p.find("combo box", "Don't read lines that start with...", root=editor)
            p.wait_focused(kind)
            p.key("Down")
            wait_for(lambda: p.find_all("combo box", "Read the message until you reach...", root=editor),
                     5, "the second filter type")
            p.key("alt+t")
            p.wait_focused(text)
            p.type_text("-----Original Message-----")
            p.key("Return")
            p.gone("Add Filter")
            p.give_focus_back("Options")

            ok = p.find("push button", "OK", root=options)
            p.press(ok)
            p.gone("Options")

            settings = p.read("Zentra.INI")
            self.assertEqual(ini_value(settings, "Account", "UserName"), "Joanna")
            self.assertEqual(ini_value(settings, "General", "ShowTips"), "Yes")
            rules = p.read("Rules.INI")
            self.assertEqual(ini_value(rules, "Rule 1", "Name"), "anna@example.org")
            self.assertEqual(ini_value(rules, "Rule 1", "Type"), "0")
            self.assertEqual(ini_value(rules, "Rule 1", "MyMessage"), "A message from Anna")
            self.assertIsNone(ini_value(rules, "Rule 2", "Name"))
            filters = p.read("Filters.INI")
            self.assertEqual(ini_value(filters, "Filter 1", "Name"), "-----Original Message-----")
            self.assertEqual(ini_value(filters, "Filter 1", "Type"), "1")

            # --- Second opening: changed everywhere, then Cancel.
            before = {f: open(p.path(f), "rb").read() for f in ("Zentra.INI", "Rules.INI", "Filters.INI")}
            options = self.open_options(p)
            p.key("alt+g")
            name = p.find("text", "Your name", root=options)
            self.assertEqual(p.text(name), "Joanna")
            p.key("alt+e")
            p.wait_focused(name)
            p.key("ctrl+a")
            p.type_text("Someone Else")
            p.key("alt+i")
            wait_for(lambda: not is_checked(p.find("check box", "Show tips at startup", root=options)), 5,
                     "tips unticked")

            p.key("alt+u")
            rules_panel = p.find("panel", "Rules", root=options)
            p.tab_to(p.find("list", "Rules", root=rules_panel))
            remove = p.find("push button", "Remove", root=rules_panel)
            wait_for(lambda: is_enabled(remove), 5, "Remove enabled by the selected rule")
            p.tab_to(remove)
            p.key("space")
            wait_for(lambda: not p.find_all("list item", root=p.find("list", "Rules", root=rules_panel)), 5,
                     "the rule gone from the list")

            p.key("alt+f")
            p.tab_to(p.find("push button", "Add", root=p.find("panel", "Filters", root=options)))
            p.key("space")
            p.window("Add Filter")
            p.type_text("Sent from my phone")
            p.key("Return")
            p.gone("Add Filter")
            p.give_focus_back("Options")

            p.key("alt+c")  # Cancel
            p.gone("Options")
            after = {f: open(p.path(f), "rb").read() for f in before}
            for f in before:
                self.assertEqual(after[f], before[f], f)
            self.assertEqual(p.exit(), 0, p.output())

    def test_remove_pressed_twice_from_the_keyboard(self):
        """Remove keeps the keyboard while entries are left, then hands it to
        the list: Space pressed on after the last entry went changes nothing
        else (it once ticked "Read only messages..." on the Rules page and
        pressed the dialog's OK on the Filters page)."""
        rules = "".join('[Rule %d]\nName=person%d@example.org\nType=0\n' % (n, n) for n in (1, 2))
        filters = "[Filter 1]\nType=0\nName=>\n[Filter 2]\nType=1\nName=-----\n"
        with Program(settings=SETTINGS, files={"Rules.INI": rules, "Filters.INI": filters}) as p:
            p.start()
            p.window("Orvella")
            before = {f: open(p.path(f), "rb").read() for f in ("Zentra.INI", "Rules.INI", "Filters.INI")}
            options = self.open_options(p)
            for key, panel_name in (("alt+u", "Rules"), ("alt+f", "Filters")):
                p.key(key)
                panel = p.find("panel", panel_name, root=options)
                entries = p.find("list", panel_name, root=panel)
                remove = p.find("push button", "Remove", root=panel)
                p.tab_to(entries)
                p.key("Down")  # the first entry, selected
                wait_for(lambda: is_enabled(remove), 5, "Remove enabled by the selected entry")
                p.tab_to(remove)
                p.key("space")
                wait_for(lambda: len(p.find_all("list item", root=entries)) == 1, 5, "one entry left")
                p.wait_focused(remove)
                p.key("space")
                wait_for(lambda: not p.find_all("list item", root=entries), 5, "the list empty")
                p.wait_focused(entries)
                p.key("space")
                self.assertTrue(is_showing(options), "the dialog closed")
                if panel_name == "Rules":
                    only = p.find("check box", "Read only messages, that match one of the above rules.",
                                  root=panel)
                    self.assertFalse(is_checked(only))
            p.key("alt+c")  # Cancel
            p.gone("Options")
            for f in before:
                self.assertEqual(open(p.path(f), "rb").read(), before[f], f)
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

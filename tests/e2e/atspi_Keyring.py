"""A password moves into the desktop's keyring as a user meets it: a settings
file holding a scrambled password, and the start itself puts the password in
the keyring and leaves it nowhere in the program folder; OK in the options
changes nothing of that; started again, the program reads it from the keyring
and gets into the mailbox."""

import subprocess
import unittest

from orvella_atspi import Dovecot, Program, is_enabled, wait_for

USER = "keyring3"


def scramble(password):
    # Characters below U+0080 only: each code times 7 times its position.
    return "".join("%d*" % (ord(c) * 7 * (i + 1)) for i, c in enumerate(password))


def keyring_lookup(key):
    done = subprocess.run(["secret-tool", "lookup", "server", "Orvella", "user", key],
                          capture_output=True, timeout=20)
    return done.stdout.decode("utf-8")


def message(n):
    return ("From: Kim Example <kim@example.org>\nTo: keyring3@example.org\n"
            "Subject: Keyring message %d\nDate: Mon, 2 Sep 2024 10:00:00 +0000\n"
            "Message-ID: <keyring-e2e-%d@example.org>\n\nBody %d.\n" % (n, n, n))


class Keyring(unittest.TestCase):
    def test_password_moves_to_the_keyring_and_serves_the_check(self):
        dovecot = Dovecot()
        password = dovecot.password(USER)
        self.assertTrue(password.isascii())
        dovecot.clear(USER)
        settings = ("[Account]\nConnectionType=2\nPOPServer=%s\nAccountName=%s\nPassword=%s\n"
                    "Port=%d\nSecurity=None\nUserName=Kim\n[General]\nShowTips=No\nSayTime=No\n"
                    "[Character]\nWelcomeGesture=None\n"
                    % (dovecot.host, USER, scramble(password), dovecot.pop3_port))
        with Program(settings=settings) as p:
            p.start()
            frame = p.window("Orvella")
            # The start moves the password: the file gives its copy up once
            # the keyring has it, under the account's own entry (its name,
            # server and port, and its identity).
            wait_for(lambda: not p.setting("Account", "Password"), 30, "the password out of the file")
            key = "%s@%s:%d #%s" % (USER, dovecot.host, dovecot.pop3_port, p.setting("Account", "UniqueID"))
            self.assertEqual(p.setting("Account", "KeyringEntry"), key)
            self.assertEqual(keyring_lookup(key), password)
            p.wait_traced("status", "Idle.", timeout=60)

            # OK in the options saves the account again: nothing moves.
            p.give_focus_back("Orvella")
            p.key("alt+p")  # Options
            options = p.window("Options")
            p.press(p.find("push button", "OK", root=options))
            p.gone("Options")
            self.assertEqual(p.setting("Account", "KeyringEntry"), key)
            self.assertFalse(p.setting("Account", "Password"))
            self.assertEqual(keyring_lookup(key), password)
            for text in (password, scramble(password)):
                found = subprocess.run(["grep", "-r", "-F", "-l", "--", text, p.root],
                                       capture_output=True, timeout=20).stdout.decode()
                self.assertEqual(found, "", "%r found in %s" % (text, found))
            self.assertEqual(p.exit(), 0, p.output())

            # Started again, the check takes the password from the keyring.
            dovecot.deliver(USER, message(1))
            p.start()
            frame = p.window("Orvella")
            check = p.find("push button", "Check Mail", root=frame)
            wait_for(lambda: is_enabled(check), 60, "Check Mail enabled")
            p.press(check)
            wait_for(lambda: len(p.files("msg", ".tem")) == 1, 60, "the message stored")
            p.wait_traced("speak", "Keyring message 1", timeout=60)
            self.assertEqual(p.exit(), 0, p.output())
            self.assertNotIn("Sanitizer", p.output())


if __name__ == "__main__":
    unittest.main()

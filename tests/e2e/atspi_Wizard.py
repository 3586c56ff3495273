"""A first start as a screen-reader user meets it: `orvella -D <empty folder>`
shows the configuration wizard and speaks its first page. Finished through its
controls against the private Dovecot, the settings file holds the account, the
log-in start exists and the program checks the account; the server's
self-signed certificate is refused with its fingerprint, trusted through the
options dialog, and the next check stores the waiting message. Cancelled, the
program ends and leaves nothing behind."""

import os
import unittest

from orvella_atspi import Dovecot, Program, description, is_enabled, is_showing, wait_for

USER = "wizard1"
WIZARD = "Orvella Configuration Wizard"
MESSAGE = """From: Anna Example <anna@example.org>
To: wizard1@example.org
Subject: Welcome to the new mailbox
Date: Mon, 2 Sep 2024 10:00:00 +0000
Message-ID: <wizard-first-message@example.org>

The first message the new account brings.
"""


def autostart_entry(p):
    return os.path.join(p.env["XDG_CONFIG_HOME"], "autostart", "orvella.desktop")


class Wizard(unittest.TestCase):
    def test_cancel_ends_the_program_and_writes_nothing(self):
        with Program() as p:
            p.start(args=())
            wizard = p.window(WIZARD, timeout=30)
            p.wait_traced("speak", "Welcome to the Orvella Configuration Wizard")
            # The keyboard starts in the page's first control.
            p.wait_focused(p.find("check box", "Orvella", root=wizard))
            p.key("alt+c")
            p.wait_exit(30)
            self.assertNotIn("Sanitizer", p.output())
            self.assertEqual(os.listdir(p.folder), [])
            self.assertFalse(os.path.exists(autostart_entry(p)))

    def test_finished_it_checks_the_account_and_a_trusted_certificate_lets_the_mail_in(self):
        dovecot = Dovecot()
        dovecot.clear(USER)
        dovecot.deliver(USER, MESSAGE)
        with Program() as p:
            p.start(args=())
            wizard = p.window(WIZARD, timeout=30)
            self.assertEqual(p.unnamed_controls(wizard), [])
            # Page 0 is spoken: its title and texts, in order.
            for text in ("Welcome to the Orvella Configuration Wizard",
                         "I will now help you to setup your Orvella software",
                         "Please select the features you want to enable:"):
                p.wait_traced("speak", text, timeout=60)
            p.key("alt+n")
            p.find("filler", "E-mail Configuration", root=wizard)
            p.key("alt+n")

            server = p.find("text", "Incoming mail server (POP3)", root=wizard)
            p.wait_focused(server)
            p.type_text(dovecot.host)
            security = p.find("combo box", "TLS (port 995)", root=wizard)
            port = p.find("text", "Port", root=wizard)
            self.assertEqual(p.text(port), "995")
            p.key("alt+u")
            p.wait_focused(security)
            p.key("alt+p")
            p.wait_focused(port)
            p.key("ctrl+a")
            p.type_text(str(dovecot.pop3s_port))
            p.key("alt+n")

            account = p.find("text", "Account Name", root=wizard)
            p.wait_focused(account)
            p.type_text(USER)
            p.key("alt+n")
            password = p.find("password text", "Password", root=wizard)
            p.wait_focused(password)
            p.type_text(dovecot.password(USER))
            p.key("alt+n")
            name = p.find("text", "Name", root=wizard)
            p.wait_focused(name)
            p.type_text("Robin")
            p.key("alt+n")
            # Page 6 speaks the name first, and starts on "Yes".
            p.wait_traced("speak", "Robin,")
            p.wait_focused(p.find("radio button", "Yes", root=wizard))
            p.key("alt+n")
            p.wait_focused(p.find("radio button", "Modem Connection  (Dial-up users)", root=wizard))
            p.key("alt+w")
            p.key("alt+n")
            finish = p.find("push button", "Finish", root=wizard)
            p.wait_focused(finish)
            p.wait_traced("speak", "Thank You, Robin.")
            p.key("Return")
            p.gone(WIZARD)

            self.assertEqual(p.setting("Account", "POPServer"), dovecot.host)
            self.assertEqual(p.setting("Account", "AccountName"), USER)
            self.assertEqual(p.setting("Account", "Security"), "TLS")
            self.assertEqual(p.setting("Account", "Port"), str(dovecot.pop3s_port))
            self.assertTrue(p.setting("Account", "Password"))
            self.assertNotIn(dovecot.password(USER), p.read("Zentra.INI"))  # never in clear
            self.assertEqual(p.setting("Account", "UserName"), "Robin")
            self.assertEqual(p.setting("Account", "ConnectionType"), "2")
            self.assertTrue(os.path.exists(autostart_entry(p)))

            # The program checks the new account on its own; the self-signed
            # certificate is refused, and the refusal names its fingerprint.
            p.wait_traced("status", "Connecting to " + dovecot.host, timeout=60)
            p.wait_traced("error", dovecot.fingerprint, timeout=60)
            self.assertEqual(p.files("msg", ".tem"), [])

            # The options dialog's account page offers to trust it.
            frame = p.window("Orvella")
            p.give_focus_back("Orvella")
            p.key("alt+p")  # Options
            options = p.window("Options")
            trust = p.find("push button", "Trust This Certificate", root=options)
            fingerprint = p.find("label", "SHA-256 fingerprint", root=options)
            # A screen reader says the fingerprint itself, not only what it is.
            self.assertEqual(description(fingerprint), dovecot.fingerprint)
            p.tab_to(trust)
            p.key("space")
            wait_for(lambda: not is_showing(trust), 5, "the certificate trusted")
            p.press(p.find("push button", "OK", root=options))
            p.gone("Options")
            self.assertEqual(p.setting("Account", "TrustedCertificate").replace(":", "").upper(),
                             dovecot.fingerprint.replace(":", ""))

            # The next check gets in and stores the waiting message.
            p.give_focus_back("Orvella")
            check = p.find("push button", "Check Mail", root=frame)
            wait_for(lambda: is_enabled(check), 30, "Check Mail enabled")
            p.press(check)
            wait_for(lambda: len(p.files("msg", ".tem")) == 1, 60, "the message stored")
            p.wait_traced("speak", "Welcome to the new mailbox", timeout=60)
            self.assertEqual(p.exit(), 0, p.output())


if __name__ == "__main__":
    unittest.main()

"""A Microsoft account set up as a screen-reader user does it: the wizard's
"Sign in with" list set to the Microsoft account, "Sign in" on the password
page opens the sign-in page with the desktop's handler (here an `xdg-open`
of the test's that plays the user's browser against the fake sign-in service,
tests/support/fake_oauth_server.py, which Dovecot's passdb also asks about
tokens). The check then stores the waiting message; an access token that the
service expired is renewed at the next check without the user; a revoked
sign-in brings "sign in again" on the Error page while the other account
goes on. No token is in any file the program leaves, nor in its trace."""

import json
import os
import re
import stat
import subprocess
import sys
import tempfile
import unittest
import urllib.request

from orvella_atspi import Dovecot, Program, is_enabled, wait_for

SIGNED_IN = "oauth1"
PASSWORD_USER = "oauth2"
WIZARD = "Orvella Configuration Wizard"
HERE = os.path.dirname(os.path.abspath(__file__))
FAKE = os.path.join(HERE, "..", "support", "fake_oauth_server.py")
CLIENT_ID = "orvella-e2e-client"


def message(user, n):
    return ("From: Olga Example <olga@example.org>\nTo: %s@example.org\n"
            "Subject: Hello %s number %d\nDate: Mon, 2 Sep 2024 10:00:00 +0000\n"
            "Message-ID: <signin-e2e-%s-%d@example.org>\n\nBody %d.\n" % (user, user, n, user, n, n))


def scramble(password):
    # Characters below U+0080 only: each code times 7 times its position.
    return "".join("%d*" % (ord(c) * 7 * (i + 1)) for i, c in enumerate(password))


def keyring_lookup(key):
    done = subprocess.run(["secret-tool", "lookup", "server", "Orvella", "user", key],
                          capture_output=True, timeout=20)
    return done.stdout.decode("utf-8")


def check_now(p, check):
    """Presses Check Mail once it can be pressed. The check the first minute
    tick starts on its own may take the button between its turning enabled
    and the press; that check does what the press would have done."""
    def pressed():
        if not is_enabled(check):
            return False
        try:
            p.press(check)
            return True
        except AssertionError:
            return False
    wait_for(pressed, 90, "Check Mail pressed")


class FakeSignInService:
    def __init__(self, port, user):
        self.dir = tempfile.mkdtemp(prefix="orvella-oauth-")
        port_file = os.path.join(self.dir, "port")
        self.process = subprocess.Popen(
            [sys.executable, FAKE, "--port", str(port), "--port-file", port_file, "--user", user,
             "--client-id", CLIENT_ID, "--log", os.path.join(self.dir, "requests.jsonl")])
        def port_written():
            if not os.path.exists(port_file):
                return False
            with open(port_file) as f:
                return f.read().strip()
        wait_for(port_written, 30, "the fake sign-in service up")
        with open(port_file) as f:
            self.authority = "http://127.0.0.1:%s" % f.read().strip()

    def control(self, what):
        request = urllib.request.Request(self.authority + "/control/" + what, data=b"", method="POST")
        with urllib.request.urlopen(request, timeout=30) as reply:
            return reply.status == 200

    def state(self):
        with urllib.request.urlopen(self.authority + "/control/state", timeout=30) as reply:
            return json.loads(reply.read().decode("utf-8"))

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def browser_handler(folder):
    """An `xdg-open` that is the user's browser: it opens the page, which
    signs in at once and sends the browser back to the program's listener."""
    path = os.path.join(folder, "xdg-open")
    with open(path, "w") as f:
        f.write("#!%s\nimport sys, urllib.request\n"
                "open(%r, 'a').write(sys.argv[1] + '\\n')\n"
                "urllib.request.urlopen(sys.argv[1], timeout=60).read()\n"
                % (sys.executable, os.path.join(folder, "opened.txt")))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return path


class SignIn(unittest.TestCase):
    def test_microsoft_account_through_the_wizard(self):
        dovecot = Dovecot()
        oauth_port = int(dovecot.env["DOVECOT_OAUTH_PORT"])
        service = FakeSignInService(oauth_port, SIGNED_IN)
        self.addCleanup(service.stop)
        for user in (SIGNED_IN, PASSWORD_USER):
            dovecot.clear(user)
        dovecot.deliver(SIGNED_IN, message(SIGNED_IN, 1))

        with Program() as p:
            bin_dir = os.path.join(p.root, "bin")
            os.makedirs(bin_dir)
            browser_handler(bin_dir)
            p.env.update({
                "PATH": bin_dir + os.pathsep + p.env.get("PATH", ""),
                "ORVELLA_OAUTH_AUTHORITY": service.authority,
                "ORVELLA_MS_CLIENT_ID": CLIENT_ID,
            })
            p.env.pop("BROWSER", None)
            p.start(args=())
            wizard = p.window(WIZARD, timeout=30)
            p.key("alt+n")
            p.find("filler", "E-mail Configuration", root=wizard)
            p.key("alt+n")

            server = p.find("text", "Incoming mail server (POP3)", root=wizard)
            p.wait_focused(server)
            p.type_text(dovecot.host)
            kinds = p.find("combo box", "Password", root=wizard)
            p.key("alt+g")
            p.wait_focused(kinds)
            p.key("Down")
            wait_for(lambda: p.find_all("combo box", "Microsoft account (Outlook.com)", root=wizard), 10,
                     "the Microsoft account chosen")
            p.key("alt+n")

            account = p.find("text", "Account Name", root=wizard)
            p.wait_focused(account)
            p.type_text(SIGNED_IN)
            p.key("alt+n")

            # The password page: no password to type; Next waits for the sign-in.
            sign_in = p.find("push button", "Sign in", root=wizard)
            next_button = p.find("push button", "Next", root=wizard)
            self.assertFalse(is_enabled(next_button))
            p.key("alt+i")
            wait_for(lambda: is_enabled(next_button), 60, "signed in (Next enabled)")
            p.find("label", "Signed in.", root=wizard)
            with open(os.path.join(bin_dir, "opened.txt")) as f:
                opened = f.read()
            self.assertIn(service.authority + "/ms/authorize?", opened)
            self.assertIn("code_challenge_method=S256", opened)
            p.key("alt+n")
            name = p.find("text", "Name", root=wizard)
            p.wait_focused(name)
            p.type_text("Robin")
            p.key("alt+n")
            p.wait_focused(p.find("radio button", "Yes", root=wizard))
            p.key("alt+n")
            p.key("alt+w")
            p.key("alt+n")
            finish = p.find("push button", "Finish", root=wizard)
            p.wait_focused(finish)
            p.key("Return")
            p.gone(WIZARD)

            self.assertEqual(p.setting("Account", "SignIn"), "Microsoft")
            self.assertFalse(p.setting("Account", "Password"))
            wait_for(lambda: p.setting("Account", "KeyringEntry"), 30, "the sign-in in the keyring")
            key = p.setting("Account", "KeyringEntry")
            first = json.loads(keyring_lookup(key))
            self.assertEqual(p.exit(), 0, p.output())

            # The wizard offers TLS on the POP3S port, whose self-signed
            # certificate is another test's subject: this one reaches the
            # plain port on loopback, and adds an account with a password.
            text = p.read("Zentra.INI")
            text = re.sub(r"(?m)^Security=.*$", "Security=None", text)
            text = re.sub(r"(?m)^Port=.*$", "Port=%d" % dovecot.pop3_port, text)
            if re.search(r"(?m)^NoOfAccounts=", text):
                text = re.sub(r"(?m)^NoOfAccounts=.*$", "NoOfAccounts=2", text)
            else:
                text = text.replace("[General]\r\n", "[General]\r\nNoOfAccounts=2\r\n", 1)
            # The other account's password is still scrambled in the file:
            # the start moves it into the keyring.
            text += ("\r\n[Account 2]\r\nPOPServer=%s\r\nAccountName=%s\r\nPassword=%s\r\n"
                     "Port=%d\r\nSecurity=None\r\n"
                     % (dovecot.host, PASSWORD_USER, scramble(dovecot.password(PASSWORD_USER)),
                        dovecot.pop3_port))
            p.write("Zentra.INI", text)

            # The check signs in with the token and stores the message.
            p.start()
            frame = p.window("Orvella")
            check = p.find("push button", "Check Mail", root=frame)
            check_now(p, check)
            wait_for(lambda: len(p.files("msg", ".tem")) == 1, 90, "the first message stored")
            p.wait_traced("speak", "Hello %s number 1" % SIGNED_IN, timeout=60)
            wait_for(lambda: not p.setting("Account 2", "Password"), 30, "the password out of the file")
            self.assertEqual(keyring_lookup(p.setting("Account 2", "KeyringEntry")),
                             dovecot.password(PASSWORD_USER))

            # The service expires the access token early: the next check renews it.
            self.assertTrue(service.control("expire"))
            dovecot.deliver(SIGNED_IN, message(SIGNED_IN, 2))
            check_now(p, check)
            wait_for(lambda: len(p.files("msg", ".tem")) == 2, 90, "the second message stored")
            self.assertGreaterEqual(service.state().get("token_requests", {}).get("refresh_token", 0), 1,
                                    service.state())
            # The port changed above, so the entry took the account's new name.
            entry = lambda: p.setting("Account", "KeyringEntry")
            wait_for(lambda: json.loads(keyring_lookup(entry()) or "{}").get("refresh") not in
                     (None, first["refresh"]), 30, "the renewed sign-in in the keyring")
            renewed = keyring_lookup(entry())

            # Revoked: "sign in again" on the Error page, and the other account goes on.
            self.assertTrue(service.control("expire"))
            self.assertTrue(service.control("revoke"))
            dovecot.deliver(SIGNED_IN, message(SIGNED_IN, 3))
            dovecot.deliver(PASSWORD_USER, message(PASSWORD_USER, 1))
            check_now(p, check)
            p.wait_traced("error", "Sign in to %s again" % SIGNED_IN, timeout=90)
            wait_for(lambda: len(p.files("msg", ".tem")) == 3, 90, "the other account's message stored")
            self.assertEqual(p.exit(), 0, p.output())
            self.assertNotIn("Sanitizer", p.output())

            # No token in the program folder, the trace or the output.
            tokens = set()
            for secret in (json.dumps(first), renewed):
                for value in json.loads(secret).values():
                    if isinstance(value, str) and len(value) >= 16:
                        tokens.add(value)
            self.assertTrue(tokens)
            for token in tokens:
                found = subprocess.run(["grep", "-r", "-F", "-l", "--", token, p.root],
                                       capture_output=True, timeout=20).stdout.decode()
                self.assertEqual(found, "", "a token found in %s" % found)


if __name__ == "__main__":
    unittest.main()

user_pref("mail.account.account1.server", "server1");
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.server.server1.hostname", "imap.only.example");
user_pref("mail.server.server1.type", "imap");
user_pref("mail.server.server1.userName", "imapuser");

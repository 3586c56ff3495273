// Mozilla User Preferences
user_pref("mail.account.account1.server", "server1");
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.server.server1.hostname", "pop.old-profile.example");
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.userName", "old");

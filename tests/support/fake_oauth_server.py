#!/usr/bin/env python3
"""A fake OAuth2 authorization server for the sign-in tests, standing in for
Microsoft's and Google's (python3 standard library only).

It listens on 127.0.0.1 only and plays both the authorization server and the
user at the browser, who signs in and consents at once. Point the program at
it with ORVELLA_OAUTH_AUTHORITY=http://127.0.0.1:PORT.

Command line
  --port N              port to listen on; 0 (the default) takes a free one
  --port-file F         writes the port there once listening (written whole:
                        a reader seeing a number sees the complete one)
  --user USER           the mailbox user the tokens belong to (introspection)
  --access-lifetime S   seconds an access token lives (default 3600)
  --client-id ID        accept only this client ID (default: any non-empty one)
  --log F               appends one JSON line per request; token, code and
                        verifier values are redacted

Endpoints, for each prefix P of /ms and /google
  GET  P/authorize      checks response_type=code, client_id, a redirect_uri
                        on localhost or 127.0.0.1 and code_challenge_method=S256
                        with a code_challenge; answers 302 to
                        redirect_uri?code=CODE&state=STATE. CODE always holds
                        "/", "+" and "=" so that its encoding is tested on the
                        way through the redirect and the token request.
                        A bad request is answered 400 with a JSON error.
  POST P/token          form body.
                        grant_type=authorization_code: code (once only),
                        redirect_uri equal to the authorization request's,
                        client_id, code_verifier against the S256 challenge;
                        grant_type=refresh_token: a refresh token still valid;
                        the reply carries a new one and the old one stops
                        working (rotation);
                        grant_type=urn:ietf:params:oauth:grant-type:device_code:
                        device_code, answered as the device flow behaves
                        (/control/device).
                        Success: {"access_token","token_type":"Bearer",
                        "expires_in","refresh_token","scope"}; errors are 400
                        with {"error","error_description"} (invalid_grant,
                        invalid_client, invalid_request, unsupported_grant_type,
                        authorization_pending, slow_down, expired_token,
                        access_denied).
  POST /ms/devicecode   form client_id, scope: {"device_code","user_code",
                        "verification_uri": AUTHORITY/device,"expires_in",
                        "interval":5,"message"}.
  GET  /device?user_code=X&action=approve|deny
                        the user on another machine entering the code.
  POST /introspect      form (or query) token=...; also GET with "Authorization: Bearer";
                        {"active":true,"username":USER} for a valid unexpired
                        access token, else {"active":false} (what Dovecot's
                        passdb asks).

Control endpoints for the tests
  POST /control/expire  every access token expires now
  POST /control/revoke  every refresh token is revoked (invalid_grant)
  POST /control/device?pending=N&slow_down=M&expire=0|1[&expires_in=S]
                        how the next device flow behaves: N answers
                        authorization_pending, then M slow_down, then success
                        once approved (pending until then) or, with expire=1,
                        expired_token; expires_in is what /ms/devicecode
                        announces (default 900)
  POST /control/outage?status=S&count=N
                        the next N token requests are answered with HTTP
                        status S and an HTML page, as a service in trouble
  GET  /control/state   JSON counters: {"token_requests": {grant_type: n},
                        "introspections": n, "authorize_requests": n,
                        "device_requests": n}
"""

import argparse
import base64
import hashlib
import json
import os
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"
REDACTED_KEYS = {"code", "code_verifier", "refresh_token", "access_token", "token", "device_code",
                 "client_secret"}


class State:
    def __init__(self, args):
        self.lock = threading.Lock()
        self.args = args
        self.codes = {}          # code -> the authorization request it answers
        self.access = {}         # access token -> expiry (time.time())
        self.refresh = set()     # valid refresh tokens
        self.devices = {}        # device_code -> the device flow's progress
        self.outage = {"status": 503, "count": 0}
        self.device_plan = {"pending": 0, "slow_down": 0, "expire": False, "expires_in": 900}
        self.counters = {"token_requests": {}, "introspections": 0, "authorize_requests": 0,
                         "device_requests": 0}

    def issue(self):
        access = "at-" + secrets.token_urlsafe(24)
        refresh = "rt-" + secrets.token_urlsafe(24)
        self.access[access] = time.time() + self.args.access_lifetime
        self.refresh.add(refresh)
        return {"access_token": access, "token_type": "Bearer",
                "expires_in": self.args.access_lifetime, "refresh_token": refresh,
                "scope": "mail"}


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).decode("ascii").rstrip("=")


def redact(params):
    return {k: ("<redacted>" if k in REDACTED_KEYS else v) for k, v in params.items()}


class Handler(BaseHTTPRequestHandler):
    server_version = "FakeOAuth/1"
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass

    @property
    def st(self):
        return self.server.state

    # -- plumbing --------------------------------------------------------

    def reply(self, status, body=None, headers=None):
        data = b"" if body is None else json.dumps(body).encode("utf-8")
        self.send_response(status)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if body is not None:
            self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)

    def error(self, error, description="", status=400):
        self.reply(status, {"error": error, "error_description": description})

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length).decode("utf-8", "replace") if length else ""
        self.raw_body = raw
        return dict(urllib.parse.parse_qsl(raw, keep_blank_values=True))

    def log_request_line(self, params):
        if not self.st.args.log:
            return
        line = {"time": time.time(), "method": self.command,
                "path": urllib.parse.urlsplit(self.path).path, "params": redact(params)}
        with self.st.lock, open(self.st.args.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(line) + "\n")

    def client_ok(self, client_id):
        wanted = self.st.args.client_id
        return bool(client_id) and (wanted is None or client_id == wanted)

    # -- dispatch --------------------------------------------------------

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        self.log_request_line(query)
        path = url.path
        if path in ("/ms/authorize", "/google/authorize"):
            return self.authorize(path.split("/")[1], query)
        if path == "/device":
            return self.device_user(query)
        if path == "/introspect":
            auth = self.headers.get("Authorization", "")
            token = auth[7:].strip() if auth.lower().startswith("bearer ") else ""
            return self.introspect(token)
        if path == "/control/state":
            with self.st.lock:
                return self.reply(200, self.st.counters)
        self.error("not_found", path, 404)

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        params = self.form()
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        self.log_request_line({**query, **params})
        path = url.path
        if path in ("/ms/token", "/google/token"):
            return self.token(path.split("/")[1], params)
        if path == "/ms/devicecode":
            return self.devicecode(params)
        if path == "/introspect":
            return self.introspect(params.get("token") or query.get("token", ""))
        if path == "/control/expire":
            with self.st.lock:
                for t in self.st.access:
                    self.st.access[t] = 0
            return self.reply(200, {})
        if path == "/control/revoke":
            with self.st.lock:
                self.st.refresh.clear()
            return self.reply(200, {})
        if path == "/control/outage":
            with self.st.lock:
                self.st.outage = {"status": int(query.get("status", 503)), "count": int(query.get("count", 1))}
            return self.reply(200, {})
        if path == "/control/device":
            with self.st.lock:
                plan = self.st.device_plan
                plan["pending"] = int(query.get("pending", 0))
                plan["slow_down"] = int(query.get("slow_down", 0))
                plan["expire"] = query.get("expire", "0") == "1"
                plan["expires_in"] = int(query.get("expires_in", 900))
            return self.reply(200, {})
        self.error("not_found", path, 404)

    # -- endpoints -------------------------------------------------------

    def authorize(self, prefix, q):
        with self.st.lock:
            self.st.counters["authorize_requests"] += 1
        redirect = q.get("redirect_uri", "")
        target = urllib.parse.urlsplit(redirect)
        if q.get("response_type") != "code":
            return self.error("unsupported_response_type", "response_type must be code")
        if not self.client_ok(q.get("client_id")):
            return self.error("invalid_client", "unknown client_id")
        if target.scheme != "http" or target.hostname not in ("localhost", "127.0.0.1") or not target.port:
            return self.error("invalid_request", "redirect_uri must be a loopback address with a port")
        if prefix == "ms" and target.hostname != "localhost":
            return self.error("invalid_request", "redirect_uri must be written with localhost")
        if q.get("code_challenge_method") != "S256" or not q.get("code_challenge"):
            return self.error("invalid_request", "PKCE with S256 is required")
        # Always "/", "+" and "=" in the code, as real codes often have.
        code = "c/" + secrets.token_urlsafe(12) + "+x==" + secrets.token_hex(4) + "/+="
        with self.st.lock:
            self.st.codes[code] = {"prefix": prefix, "client_id": q.get("client_id"),
                                   "redirect_uri": redirect, "challenge": q.get("code_challenge"),
                                   "login_hint": q.get("login_hint"), "access_type": q.get("access_type"),
                                   "prompt": q.get("prompt")}
        answer = urllib.parse.urlencode({"code": code, "state": q.get("state", "")},
                                        quote_via=urllib.parse.quote)
        sep = "&" if target.query else "?"
        self.reply(302, None, {"Location": redirect + sep + answer})

    def token(self, prefix, p):
        grant = p.get("grant_type", "")
        with self.st.lock:
            counts = self.st.counters["token_requests"]
            counts[grant] = counts.get(grant, 0) + 1
        with self.st.lock:
            outage = self.st.outage["count"] > 0
            if outage:
                self.st.outage["count"] -= 1
        if outage:
            page = b"<html><body>Service unavailable</body></html>"
            self.send_response(self.st.outage["status"])
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return
        if not self.client_ok(p.get("client_id")):
            return self.error("invalid_client", "unknown client_id", 401)
        if grant == "authorization_code":
            with self.st.lock:
                request = self.st.codes.pop(p.get("code", ""), None)
            if request is None or request["prefix"] != prefix:
                return self.error("invalid_grant", "the code is unknown or was used")
            if p.get("redirect_uri") != request["redirect_uri"]:
                return self.error("invalid_grant", "redirect_uri differs from the authorization request's")
            if p.get("client_id") != request["client_id"]:
                return self.error("invalid_grant", "client_id differs")
            if challenge_of(p.get("code_verifier", "")) != request["challenge"]:
                return self.error("invalid_grant", "code_verifier does not match the challenge")
            with self.st.lock:
                return self.reply(200, self.st.issue())
        if grant == "refresh_token":
            with self.st.lock:
                old = p.get("refresh_token", "")
                if old not in self.st.refresh:
                    return self.error("invalid_grant", "the refresh token was revoked or is unknown")
                self.st.refresh.discard(old)
                return self.reply(200, self.st.issue())
        if grant == DEVICE_GRANT:
            return self.device_poll(p.get("device_code", ""))
        self.error("unsupported_grant_type", grant)

    def devicecode(self, p):
        if not self.client_ok(p.get("client_id")):
            return self.error("invalid_client", "unknown client_id", 401)
        host, port = self.server.server_address[:2]
        with self.st.lock:
            self.st.counters["device_requests"] += 1
            plan = dict(self.st.device_plan)
            device_code = "dc-" + secrets.token_urlsafe(16)
            user_code = secrets.token_hex(4).upper()
            self.st.devices[device_code] = {"user_code": user_code, "pending": plan["pending"],
                                            "slow_down": plan["slow_down"], "expire": plan["expire"],
                                            "approved": False, "denied": False}
        uri = "http://%s:%d/device" % (host, port)
        self.reply(200, {"device_code": device_code, "user_code": user_code, "verification_uri": uri,
                         "expires_in": plan["expires_in"], "interval": 5,
                         "message": "To sign in, open %s and enter the code %s." % (uri, user_code)})

    def device_user(self, q):
        with self.st.lock:
            for d in self.st.devices.values():
                if d["user_code"] == q.get("user_code"):
                    d["approved"] = q.get("action") == "approve"
                    d["denied"] = q.get("action") == "deny"
                    return self.reply(200, {"ok": True})
        self.error("invalid_request", "unknown user_code", 404)

    def device_poll(self, device_code):
        with self.st.lock:
            d = self.st.devices.get(device_code)
            if d is None:
                return self.error("invalid_grant", "unknown device_code")
            if d["denied"]:
                del self.st.devices[device_code]
                return self.error("access_denied", "the user declined")
            if d["pending"] > 0:
                d["pending"] -= 1
                return self.error("authorization_pending", "waiting for the user")
            if d["slow_down"] > 0:
                d["slow_down"] -= 1
                return self.error("slow_down", "polling too often")
            if d["expire"]:
                del self.st.devices[device_code]
                return self.error("expired_token", "the code expired")
            if not d["approved"]:
                return self.error("authorization_pending", "waiting for the user")
            del self.st.devices[device_code]
            return self.reply(200, self.st.issue())

    def introspect(self, token):
        with self.st.lock:
            self.st.counters["introspections"] += 1
            expiry = self.st.access.get(token)
            active = expiry is not None and expiry > time.time()
        self.reply(200, {"active": True, "username": self.st.args.user} if active else {"active": False})


def main():
    parser = argparse.ArgumentParser(description="Fake OAuth2 authorization server for tests")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--user", default="user")
    parser.add_argument("--access-lifetime", type=int, default=3600)
    parser.add_argument("--client-id")
    parser.add_argument("--log")
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.state = State(args)
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w", encoding="ascii") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("listening on 127.0.0.1:%d" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())

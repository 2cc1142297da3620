#!/usr/bin/env python3
"""A local stand-in for the four share services, for the share tests.

Listens on 127.0.0.1 on a free port and prints the port on the first line of
its standard output. It checks what the real services check (basic
authentication and the session cookie, OAuth 1.0 HMAC-SHA1 signatures,
tokens, multipart fields) and answers as they do. A test chooses failures
with GET /_control/scenario?name=NAME and reads what the fake saw with
GET /_control/log (one event a line). It ends when its standard input closes.
"""

import base64
import hashlib
import hmac
import json
import sys
import threading
import time
import urllib.parse
from email import policy
from email.parser import BytesParser
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PIX_USER, PIX_PASSWORD, PIX_COOKIE = "alice", "s3cret:&pw", "pixsession=42"
TWIT_KEY, TWIT_SECRET = "Qz8vTnK3pLw0RbXe5YhJd", "mP4sV9kQ2xT7wL1nR8cF3hJ6bZ0yG5dN2aE7uK4qW9e"
TWIT_USER, TWIT_PASSWORD = "bob", "tw&pass word"
FB_TOKEN = "EAAB-token.42"
FLICK_KEY, FLICK_SECRET = "9d2b7c41e0f3a856c1d47b0e92fa3c65", "b71e0c9a4d2f5836"

state = {"scenario": "", "log": [], "nonces": set()}
lock = threading.Lock()
# token -> secret of every token the fake handed out
tokens = {}


class ClientGone(Exception):
    """The client ended the request before its body was complete."""


def log(event):
    with lock:
        state["log"].append(event)


def scenario():
    with lock:
        return state["scenario"]


def enc(text):
    return urllib.parse.quote(text, safe="-._~")


def parse_multipart(content_type, body):
    message = BytesParser(policy=policy.default).parsebytes(
        b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body)
    parts = {}
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        # The part's own content type as sent ("binary" and "file" are no MIME types).
        parts[name] = {"filename": part.get_filename(), "type": str(part.get("Content-Type", "")),
                       "data": part.get_payload(decode=True)}
    return parts


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    # -- plumbing ---------------------------------------------------------
    def reply(self, status, body, content_type="text/plain", headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def body(self):
        length = int(self.headers.get("Content-Length", "0"))
        if scenario() == "slow" and self.headers.get("Content-Type", "").startswith("multipart/"):
            # Take an upload slowly and keep the client waiting for the answer.
            data = b""
            while len(data) < length:
                chunk = self.rfile.read(min(4096, length - len(data)))
                if not chunk:
                    break
                data += chunk
                time.sleep(0.01)
            if len(data) == length:
                time.sleep(3)
        else:
            data = self.rfile.read(length)
        if len(data) < length:
            # A cancelled upload: nothing of it is kept.
            log("aborted " + self.path.split("?")[0])
            raise ClientGone()
        return data

    def split(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        return url.path, query

    def oauth_check(self, consumer_key, consumer_secret, signed_extra=None, need_token=True):
        """The OAuth header's parameters when its signature is right, else None."""
        header = self.headers.get("Authorization", "")
        if not header.startswith("OAuth "):
            return None
        oauth = {}
        for item in header[len("OAuth "):].split(","):
            name, _, value = item.strip().partition("=")
            oauth[urllib.parse.unquote(name)] = urllib.parse.unquote(value.strip('"'))
        if oauth.get("oauth_consumer_key") != consumer_key or oauth.get("oauth_signature_method") != "HMAC-SHA1":
            return None
        if oauth.get("oauth_version") != "1.0" or not oauth.get("oauth_timestamp", "").isdigit():
            return None
        with lock:
            nonce = oauth.get("oauth_nonce", "")
            if not nonce or nonce in state["nonces"]:
                return None
            state["nonces"].add(nonce)
        token = oauth.get("oauth_token", "")
        if need_token and token not in tokens:
            return None
        path, query = self.split()
        params = dict(query)
        params.update(signed_extra or {})
        params.update({k: v for k, v in oauth.items() if k != "oauth_signature"})
        joined = "&".join(enc(k) + "=" + enc(params[k]) for k in sorted(params))
        base = "&".join([self.command, enc("http://" + self.headers["Host"] + path), enc(joined)])
        key = enc(consumer_secret) + "&" + enc(tokens.get(token, ""))
        expected = base64.b64encode(hmac.new(key.encode(), base.encode(), hashlib.sha1).digest()).decode()
        if not hmac.compare_digest(expected, oauth.get("oauth_signature", "")):
            log("bad-signature " + path)
            return None
        return oauth

    def new_token(self, prefix):
        token = prefix + str(len(tokens) + 1)
        tokens[token] = prefix + "-secret-" + str(len(tokens) + 1)
        return token, tokens[token]

    # -- dispatch ---------------------------------------------------------
    def do_GET(self):
        self.route()

    def do_POST(self):
        self.route()

    def route(self):
        try:
            self.dispatch()
        except (ClientGone, BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def dispatch(self):
        path, query = self.split()
        if path == "/_control/scenario":
            with lock:
                state["scenario"] = query.get("name", "")
                state["log"] = []
            return self.reply(200, "ok")
        if path == "/_control/log":
            with lock:
                return self.reply(200, "\n".join(state["log"]))
        if path.startswith("/services/uploadNew.php"):
            return self.pixhaven()
        if path.startswith("/tw/"):
            return self.twitter(path[len("/tw"):], query)
        if path.startswith("/fb/"):
            return self.facebook(path[len("/fb"):], query)
        if path.startswith("/fl/"):
            return self.flickr(path[len("/fl"):], query)
        self.reply(404, "not found")

    # -- album service ------------------------------------------------------
    def pixhaven(self):
        if self.command == "GET":
            expected = "Basic " + base64.b64encode((PIX_USER + ":" + PIX_PASSWORD).encode()).decode()
            if self.headers.get("Authorization") != expected:
                log("pix-login-refused")
                return self.reply(401, "401\nunauthorised\n\n", headers=[("WWW-Authenticate", 'Basic realm="pix"')])
            log("pix-login")
            return self.reply(200, "200\nwelcome\n\n", headers=[("Set-Cookie", PIX_COOKIE + "; Path=/")])
        if PIX_COOKIE not in self.headers.get("Cookie", ""):
            log("pix-no-cookie")
            return self.reply(403, "403\nno session\n\n")
        content_type = self.headers.get("Content-Type", "")
        body = self.body()
        if content_type.startswith("multipart/form-data"):
            if self.headers.get("Expect"):
                return self.reply(400, "expect header")
            parts = parse_multipart(content_type, body)
            names = list(parts)
            file_part = parts.get("filename[]", {})
            log("pix-part fields=%s sid=%s action=%s filename=%s type=%s bytes=%d" % (
                ",".join(names), parts.get("sid", {}).get("data", b"").decode(),
                parts.get("action", {}).get("data", b"").decode(), file_part.get("filename"),
                file_part.get("type"), len(file_part.get("data") or b"")))
            mode = scenario()
            if mode == "pix-http500":
                return self.reply(500, "oops")
            if mode == "pix-704":
                return self.reply(200, "704\nfile refused\ntoo large\n")
            if mode == "pix-other":
                return self.reply(200, "500\nserver busy\n")
            if names != ["sid", "action", "filename[]"] or not file_part.get("data"):
                return self.reply(200, "400\nbad form\n\n")
            return self.reply(200, "200\naccepted\n\n")
        log("pix-form " + body.decode("utf-8", "replace"))
        if scenario() == "pix-finish-plain":
            return self.reply(200, "200\ndone\n\n")
        if scenario() == "pix-finish-nocomma":
            return self.reply(200, "601\nhttp://album.test/u/alice\n\n")
        return self.reply(200, "601\nhttp://album.test/u/alice/42,saved\nok\n")

    # -- Twitter --------------------------------------------------------------
    def twitter(self, path, query):
        mode = scenario()
        if path == "/oauth/request_token":
            if not self.oauth_check(TWIT_KEY, TWIT_SECRET, need_token=False):
                return self.reply(401, "bad signature")
            token, secret = self.new_token("rt")
            log("tw-request-token")
            return self.reply(200, "oauth_token=%s&oauth_token_secret=%s&oauth_callback_confirmed=true" % (token, secret))
        if path == "/oauth/authorize":
            token = query.get("oauth_token", "")
            if self.command == "GET":
                if not self.oauth_check(TWIT_KEY, TWIT_SECRET):
                    return self.reply(401, "bad signature")
                hidden = "" if mode == "tw-no-authenticity" else \
                    '<input name="authenticity_token" type="hidden" value="auth123" />'
                page = ('<form action="/oauth/authorize">%s<input name="oauth_token" type="hidden" value="%s" />'
                        '</form>' % (hidden, token))
                return self.reply(200, page, "text/html")
            form = dict(urllib.parse.parse_qsl(self.body().decode(), keep_blank_values=True))
            if not self.oauth_check(TWIT_KEY, TWIT_SECRET, signed_extra=form):
                return self.reply(401, "bad signature")
            log("tw-authorize " + ",".join(form))
            if (form.get("authenticity_token") != "auth123" or form.get("oauth_token") != token
                    or form.get("session[username_or_email]") != TWIT_USER
                    or form.get("session[password]") != TWIT_PASSWORD or mode == "tw-no-pin"):
                return self.reply(200, "<p>Sign in failed</p>", "text/html")
            return self.reply(200, '<div id="oauth_pin"><p><kbd aria-describedby="code-desc"><code>9876543</code>'
                                   '</kbd></p></div>', "text/html")
        if path == "/oauth/access_token":
            oauth = self.oauth_check(TWIT_KEY, TWIT_SECRET)
            if not oauth or oauth.get("oauth_verifier") != "9876543":
                return self.reply(401, "bad verifier")
            token, secret = self.new_token("at")
            log("tw-access-token")
            return self.reply(200, "oauth_token=%s&oauth_token_secret=%s&user_id=7&screen_name=%s" % (
                token, secret, TWIT_USER))
        if path == "/1/account/verify_credentials.json":
            oauth = self.oauth_check(TWIT_KEY, TWIT_SECRET)
            if not oauth or not oauth["oauth_token"].startswith("at") or mode == "tw-verify-fails":
                return self.reply(401, '{"errors":[{"code":89}]}', "application/json")
            return self.reply(200, '{"screen_name":"%s"}' % TWIT_USER, "application/json")
        if path == "/1.1/statuses/update_with_media.json":
            oauth = self.oauth_check(TWIT_KEY, TWIT_SECRET)
            body = self.body()
            if not oauth or not oauth["oauth_token"].startswith("at"):
                return self.reply(401, '{"errors":[{"code":89}]}', "application/json")
            parts = parse_multipart(self.headers.get("Content-Type", ""), body)
            media = parts.get("media[]", {})
            log("tw-update status=%s media=%d type=%s" % (
                parts.get("status", {}).get("data", b"").decode(), len(media.get("data") or b""), media.get("type")))
            if mode == "tw-update-refused":
                return self.reply(403, '{"errors":[{"code":193}]}', "application/json")
            return self.reply(200, '{"id_str":"1001"}', "application/json")
        self.reply(404, "not found")

    # -- Facebook -------------------------------------------------------------
    def facebook(self, path, query):
        mode = scenario()
        if path == "/dialog/oauth":
            # Stands in for the user granting (or refusing) the dialog.
            redirect = query.get("redirect_uri", "")
            log("fb-dialog client_id=%s type=%s response_type=%s" % (
                query.get("client_id"), query.get("type"), query.get("response_type")))
            if mode == "fb-deny":
                location = redirect + "?error_reason=user_denied&error=access_denied"
            else:
                location = redirect + "#access_token=" + FB_TOKEN + "&expires_in=0"
            return self.reply(302, "", headers=[("Location", location)])
        if query.get("access_token") != FB_TOKEN:
            return self.reply(400, '{"error":{"message":"Invalid OAuth access token."}}', "application/json")
        if path == "/me/photos" and self.command == "POST":
            parts = parse_multipart(self.headers.get("Content-Type", ""), self.body())
            source = parts.get("source", {})
            log("fb-photo message=%s message_type=%s source=%d source_type=%s" % (
                parts.get("message", {}).get("data", b"").decode(), parts.get("message", {}).get("type"),
                len(source.get("data") or b""), source.get("type")))
            if mode == "fb-no-id" or not source.get("data"):
                return self.reply(200, '{"error":"no photo"}', "application/json")
            return self.reply(200, '{"id":"555","post_id":"1_555"}', "application/json")
        if path == "/555" and self.command == "GET":
            return self.reply(200, '{"id":"555","link":"https:\\/\\/fb.test\\/photo.php?fbid=555"}',
                              "application/json")
        if path == "/me/feed" and self.command == "POST":
            form = dict(urllib.parse.parse_qsl(self.body().decode(), keep_blank_values=True))
            log("fb-feed " + json.dumps(form, sort_keys=True))
            if mode == "fb-feed-fails":
                return self.reply(500, '{"error":"busy"}', "application/json")
            return self.reply(200, '{"id":"1_777"}', "application/json")
        self.reply(404, '{"error":"unknown path"}', "application/json")

    # -- Flickr ---------------------------------------------------------------
    def flickr(self, path, query):
        mode = scenario()
        if path == "/services/oauth/request_token":
            oauth = self.oauth_check(FLICK_KEY, FLICK_SECRET, need_token=False)
            if not oauth or not oauth.get("oauth_callback"):
                return self.reply(401, "oauth_problem=signature_invalid")
            token, secret = self.new_token("frt")
            log("fl-request-token callback=" + oauth["oauth_callback"])
            confirmed = "false" if mode == "fl-no-confirm" else "true"
            return self.reply(200, "oauth_callback_confirmed=%s&oauth_token=%s&oauth_token_secret=%s" % (
                confirmed, token, secret))
        if path == "/services/oauth/authorize":
            log("fl-authorize perms=" + query.get("perms", ""))
            return self.reply(200, "<p>Authorise Grinsnap?</p>", "text/html")
        if path == "/services/oauth/access_token":
            oauth = self.oauth_check(FLICK_KEY, FLICK_SECRET)
            if not oauth or oauth.get("oauth_verifier") != "v-123" or not oauth["oauth_token"].startswith("frt"):
                return self.reply(401, "oauth_problem=token_rejected")
            token, secret = self.new_token("fat")
            return self.reply(200, "fullname=Carol&oauth_token=%s&oauth_token_secret=%s&user_nsid=9@N0&username=carol"
                              % (token, secret))
        if path == "/services/upload/":
            content_type = self.headers.get("Content-Type", "")
            parts = parse_multipart(content_type, self.body())
            fields = {k: v["data"].decode() for k, v in parts.items() if k != "photo"}
            oauth = self.oauth_check(FLICK_KEY, FLICK_SECRET, signed_extra=fields)
            if not oauth or not oauth["oauth_token"].startswith("fat"):
                return self.reply(200, '<rsp stat="fail"><err code="98" msg="Invalid auth token" /></rsp>',
                                  "text/xml")
            photo = parts.get("photo", {})
            log("fl-upload " + json.dumps(fields, sort_keys=True) + " photo=%d" % len(photo.get("data") or b""))
            if mode == "fl-upload-fails":
                return self.reply(200, '<rsp stat="fail"><err code="5" msg="Filetype was not recognised" /></rsp>',
                                  "text/xml")
            return self.reply(200, '<?xml version="1.0" encoding="utf-8" ?>\n<rsp stat="ok">\n'
                                   '<photoid>31415</photoid>\n</rsp>\n', "text/xml")
        self.reply(404, "not found")


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()

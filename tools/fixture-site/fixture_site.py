#!/usr/bin/env python3
"""Lotfinch's fixture auction site: a loopback HTTP server that stands in for
the five auction sites.

Point the program at it as its HTTP proxy (http_proxy=http://127.0.0.1:PORT).
A search address of a known site is answered with a saved result page chosen
by site and phrase: PAGES/<site domain>/<phrase>.html, the phrase lower-cased
with every run of other characters than letters and digits turned into "-"
("digital camera" -> digital-camera.html); a phrase without a page gets
PAGES/<site domain>/no-results.html (on eBay sites today's "No exact matches
found" page, whose looser results match the phrase only in part). Nothing is
ever fetched from outside.
Every "{fetch}" in a page is replaced by a token that differs at every request,
as the tracking parameters of today's result pages do.

Each request line is written to the log (one line each, as received). The
server can be told to misbehave, at start (--mode) or while it runs through a
control request sent to it directly (not as a proxy):

    GET /control?mode=MODE[&count=N][&site=DOMAIN][&seconds=S][&status=CODE]

MODE is one of
    ok      answer normally
    fail    answer "500 Internal Server Error" (or the status CODE given)
    drop    close the connection without answering
    stall   send nothing for S seconds (default 30), then close
    cut     send the headers and half the page, then close
    slow    wait S seconds (default 2), then answer normally
    challenge  answer as eBay answers programs today: "302 Found" to its
            browser check under /splashui/challenge, whose page
            (PAGES/walls/challenge.html) holds no results
    empty   answer "200 OK" with an empty body
    denied  answer "403 Forbidden" with an "Access Denied" page
            (PAGES/walls/access-denied.html), as eBay's CDN does
N limits the mode to the next N search requests (then it falls back to ok);
DOMAIN limits it to one site. GET /control alone answers with the log size.
GET /control?expire=tokens makes every API token handed out so far expire.

Requests sent to it directly (not as a proxy) also reach a stand-in for
eBay's Browse API, for a base address http://127.0.0.1:PORT:

    POST /identity/v1/oauth2/token            Basic API_CLIENT_ID:API_CLIENT_SECRET
    GET  /buy/browse/v1/item_summary/search   Bearer <a token it handed out>

Other keys get 401 invalid_client, an unknown or expired token 401. A search
answers with api/<phrase>.json (named as the pages are), or with no items;
the phrases of API_ERRORS get the error answer listed there.
"""

import argparse
import base64
import json
import os
import re
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SITES = ("ebay.com", "ebay.ca", "ebay.co.uk", "ebay.com.au", "ubid.com")
MODES = ("ok", "fail", "drop", "stall", "cut", "slow", "challenge", "empty", "denied")
PHRASE_KEY = {"ebay.com": "_nkw", "ebay.ca": "_nkw", "ebay.co.uk": "_nkw", "ebay.com.au": "_nkw", "ubid.com": "qs"}
STALL_LIMIT = 300  # seconds; a stall never outlives a forgotten test

API_ANSWERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "api")
API_CLIENT_ID = "lotfinch-fixture-id"
API_CLIENT_SECRET = "lotfinch-fixture-secret"
API_TOKEN_BODY = "grant_type=client_credentials&scope=https%3A%2F%2Fapi.ebay.com%2Foauth%2Fapi_scope"
API_MARKETPLACES = ("EBAY_US", "EBAY_CA", "EBAY_GB", "EBAY_AU")
API_FILTER = "buyingOptions%3A%7BAUCTION%7CFIXED_PRICE%7D"
API_ERRORS = {
    "api limit": (429, b'{"errors":[{"errorId":2001,"domain":"ACCESS","category":"REQUEST",'
                       b'"message":"The request limit has been reached for the resource."}]}'),
    "api bad request": (400, b'{"errors":[{"errorId":12001,"domain":"API_BROWSE","category":"REQUEST",'
                             b'"message":"The value of the filter is not valid."}]}'),
    "api server error": (500, b'{"errors":[{"errorId":10001,"message":"There was a problem with an eBay '
                              b'internal system or process."}]}'),
    "api broken": (200, b'{"total":3,"itemSummaries":[{"itemId":"v1|2312345678|0","legacyItemId":'),
    # Good JSON, but longer than the program reads (8 MiB).
    "api oversized": (200, b'{"itemSummaries":[],"padding":"' + b"x" * (8 << 20) + b'"}'),
}


class Behaviour:
    """The misbehaviour currently asked for; shared by all handler threads."""

    def __init__(self):
        self.lock = threading.Lock()
        self.mode, self.count, self.site, self.seconds, self.status = "ok", 0, None, None, 500

    def set(self, mode, count=0, site=None, seconds=None, status=500):
        with self.lock:
            self.mode, self.count, self.site, self.seconds, self.status = mode, count, site, seconds, status

    def take(self, site):
        """The mode for one search request of a site, used up if counted,
        with its seconds and status."""
        with self.lock:
            if self.mode == "ok" or (self.site and self.site != site):
                return "ok", None, None
            mode, seconds, status = self.mode, self.seconds, self.status
            if self.count > 0:
                self.count -= 1
                if self.count == 0:
                    self.mode = "ok"
            return mode, seconds, status


def phrase_file_name(phrase):
    slug = re.sub(r"[^a-z0-9]+", "-", phrase.lower()).strip("-")
    return slug + ".html" if slug else None


def site_of(host):
    host = host.lower().split(":")[0]
    if host.startswith("www."):
        host = host[4:]
    return host if host in SITES else None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LotfinchFixture/1.0"

    def log_message(self, format, *args):
        pass  # the request log is written by log_request_line

    def log_request_line(self):
        server = self.server
        with server.log_lock:
            server.log.write(self.requestline + "\n")
            server.log.flush()
            server.requests += 1

    def do_HEAD(self):
        self.do_GET(head=True)

    def do_POST(self):
        self.log_request_line()
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(min(length, 65536)).decode("latin-1")
        if urllib.parse.urlsplit(self.path).path != "/identity/v1/oauth2/token":
            return self.answer(404, b"Not found.\r\n")
        self.api_token(body)

    def do_GET(self, head=False):
        self.log_request_line()
        target = urllib.parse.urlsplit(self.path)
        if not target.netloc and target.path == "/control":
            return self.control(target.query)
        if not target.netloc and target.path == "/buy/browse/v1/item_summary/search":
            return self.api_search(target.query)
        host = target.netloc or self.headers.get("Host", "")
        site = site_of(host)
        if site is None:
            return self.answer(403, b"Only the fixture auction sites are served here.\r\n")
        if site.startswith("ebay.") and target.path.startswith("/splashui/"):
            # The browser check that the challenge mode redirects to.
            wall = self.wall(target.path[len("/splashui/"):])
            return self.answer(200, wall, head=head) if wall else self.answer(404, b"No such check.\r\n")
        # Phrases are 8-bit text in the Windows code page.
        query = urllib.parse.parse_qs(target.query, encoding="cp1252", errors="replace")
        phrase = query.get(PHRASE_KEY[site], [""])[0]
        body = self.page(site, phrase).replace(b"{fetch}", self.fetch_token())
        mode, seconds, status = self.server.behaviour.take(site)
        print("fixture-site: %s %r -> %s" % (site, phrase, mode), file=sys.stderr, flush=True)
        if mode == "fail":
            return self.answer(status, b"<html><body>Server Error</body></html>\r\n")
        if mode == "drop":
            self.close_connection = True
            return
        if mode == "stall":
            self.wait(seconds if seconds is not None else 30)
            self.close_connection = True
            return
        if mode == "challenge":
            check = "/splashui/challenge?ap=1&appName=orch&ru=" + urllib.parse.quote(self.path, safe="")
            return self.answer(302, b"", extra_headers=[("Location", check)])
        if mode == "empty":
            return self.answer(200, b"", head=head)
        if mode == "denied":
            return self.answer(403, self.wall("access-denied"), head=head)
        if mode == "slow":
            self.wait(seconds if seconds is not None else 2)
        if mode == "cut":
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=windows-1252")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        self.answer(200, body, "text/html; charset=windows-1252", head)

    def page(self, site, phrase):
        folder = os.path.join(self.server.pages, site)
        for name in (phrase_file_name(phrase), "no-results.html"):
            if name and os.path.isfile(os.path.join(folder, name)):
                with open(os.path.join(folder, name), "rb") as f:
                    return f.read()
        return b"<html><body>No saved pages for this site.</body></html>\r\n"

    def wall(self, name):
        """A saved wall page, or None."""
        path = os.path.join(self.server.pages, "walls", name + ".html")
        if not re.fullmatch(r"[a-z-]+", name) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def api_answer(self, status, body):
        self.answer(status, body, "application/json")

    def api_token(self, body):
        expected = "Basic " + base64.b64encode(("%s:%s" % (API_CLIENT_ID, API_CLIENT_SECRET)).encode()).decode()
        if self.headers.get("Content-Type") != "application/x-www-form-urlencoded" or body != API_TOKEN_BODY:
            return self.api_answer(400, b'{"error":"invalid_request","error_description":"request is missing '
                                        b'a required parameter or malformed."}')
        if self.headers.get("Authorization") != expected:
            return self.api_answer(401, b'{"error":"invalid_client","error_description":"client authentication '
                                        b'failed"}')
        with self.server.log_lock:
            token = "fixture-token-%d" % (len(self.server.api_tokens) + self.server.api_expired + 1)
            self.server.api_tokens.add(token)
        print("fixture-site: API token %s" % token, file=sys.stderr, flush=True)
        self.api_answer(200, json.dumps({"access_token": token, "expires_in": 7200,
                                         "token_type": "Application Access Token"}).encode())

    def api_search(self, query):
        authorization = self.headers.get("Authorization", "")
        with self.server.log_lock:
            known = authorization.startswith("Bearer ") and authorization[7:] in self.server.api_tokens
        if not known:
            return self.api_answer(401, b'{"errors":[{"errorId":1001,"domain":"OAuth","category":"REQUEST",'
                                        b'"message":"Invalid access token"}]}')
        values = urllib.parse.parse_qs(query)
        raw = dict(part.split("=", 1) for part in query.split("&") if "=" in part)
        if (self.headers.get("X-EBAY-C-MARKETPLACE-ID") not in API_MARKETPLACES or raw.get("filter") != API_FILTER
                or values.get("sort") != ["newlyListed"] or values.get("limit") != ["200"] or "q" not in values):
            return self.api_answer(400, b'{"errors":[{"errorId":12000,"message":"The request does not ask '
                                        b'as the fixture expects."}]}')
        phrase = urllib.parse.unquote(raw["q"], encoding="utf-8", errors="replace")
        print("fixture-site: API %s %r" % (self.headers.get("X-EBAY-C-MARKETPLACE-ID"), phrase),
              file=sys.stderr, flush=True)
        if phrase.lower() in API_ERRORS:
            return self.api_answer(*API_ERRORS[phrase.lower()])
        name = phrase_file_name(phrase)
        path = os.path.join(API_ANSWERS, name.replace(".html", ".json")) if name else ""
        if path and os.path.isfile(path):
            with open(path, "rb") as f:
                return self.api_answer(200, f.read())
        self.api_answer(200, b'{"href":"","total":0,"limit":200,"offset":0}')

    def fetch_token(self):
        with self.server.log_lock:
            number = self.server.requests
        return ("01K3%022X" % (number * 2654435761 % (1 << 64))).encode()

    def wait(self, seconds):
        # Ends early when the server shuts down.
        self.server.stopping.wait(min(max(float(seconds), 0.0), STALL_LIMIT))

    def control(self, query):
        values = urllib.parse.parse_qs(query)
        mode = values.get("mode", [None])[0]
        if mode is not None:
            if mode not in MODES:
                return self.answer(400, ("Unknown mode %r; known: %s\r\n" % (mode, " ".join(MODES))).encode())
            try:
                count = int(values.get("count", ["0"])[0])
                seconds = values.get("seconds", [None])[0]
                seconds = float(seconds) if seconds is not None else None
                status = int(values.get("status", ["500"])[0])
            except ValueError:
                return self.answer(400, b"count, seconds and status must be numbers\r\n")
            if not 400 <= status <= 599:
                return self.answer(400, b"status must be an error status (400 to 599)\r\n")
            site = values.get("site", [None])[0]
            if site is not None and site not in SITES:
                return self.answer(400, ("Unknown site %r\r\n" % site).encode())
            self.server.behaviour.set(mode, count, site, seconds, status)
        if values.get("expire") == ["tokens"]:
            with self.server.log_lock:
                self.server.api_expired += len(self.server.api_tokens)
                self.server.api_tokens.clear()
        return self.answer(200, ("requests %d\r\n" % self.server.requests).encode(), "text/plain")

    def answer(self, status, body, content_type="text/html", head=False, extra_headers=()):
        self.send_response(status)
        for name, value in extra_headers:
            self.send_header(name, value)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)


class FixtureServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, pages, log):
        super().__init__(("127.0.0.1", port), Handler)
        self.pages = pages
        self.log = log
        self.log_lock = threading.Lock()
        self.requests = 0
        self.behaviour = Behaviour()
        self.stopping = threading.Event()
        self.api_tokens = set()
        self.api_expired = 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Lotfinch's fixture auction site (loopback only).")
    parser.add_argument("--port", type=int, default=8080, help="port on 127.0.0.1; 0 picks a free one")
    parser.add_argument("--pages", default=os.path.join(here, "pages"), help="folder of saved pages")
    parser.add_argument("--log", default="-", help="request log file (default: standard output)")
    parser.add_argument("--mode", choices=MODES, default="ok", help="misbehaviour from the start")
    parser.add_argument("--count", type=int, default=0, help="number of requests the mode applies to")
    parser.add_argument("--seconds", type=float, default=None, help="stall or slow time")
    parser.add_argument("--exit-after", type=float, default=0, help="stop after this many seconds (0: never)")
    args = parser.parse_args()

    log = sys.stdout if args.log == "-" else open(args.log, "a", encoding="latin-1", buffering=1)
    server = FixtureServer(args.port, os.path.abspath(args.pages), log)
    server.behaviour.set(args.mode, args.count, None, args.seconds)
    # The port goes to standard error, so that a log on standard output stays pure.
    print("listening on 127.0.0.1:%d" % server.server_address[1], file=sys.stderr, flush=True)
    if args.exit_after > 0:
        timer = threading.Timer(args.exit_after, server.shutdown)
        timer.daemon = True
        timer.start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.stopping.set()
        server.server_close()


if __name__ == "__main__":
    main()

"""A developer's browser reduced to what the triage tests need: cookies, forms and their
tokens, over plain HTTP to the real server; redirects are returned, not followed."""
import html
import http.client
import re
import urllib.parse


class Developer:
    def __init__(self, port, source="127.0.0.1"):
        self.port = port
        self.source = source  # another loopback address is another sender to the login limit
        self.cookies = {}

    def request(self, method, path, fields=None, headers=None):
        """Returns (status, headers with lower-case names, body bytes)."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=15,
                                                source_address=(self.source, 0))
        try:
            sent = {"Host": f"127.0.0.1:{self.port}"}
            if self.cookies:
                sent["Cookie"] = "; ".join(f"{k}={v}" for k, v in self.cookies.items())
            body = None
            if fields is not None:
                body = urllib.parse.urlencode(fields).encode()
                sent["Content-Type"] = "application/x-www-form-urlencoded"
            sent.update(headers or {})
            connection.request(method, path, body=body, headers=sent)
            answer = connection.getresponse()
            data = answer.read()
            for name, value in answer.getheaders():
                if name.lower() == "set-cookie":
                    key, _, rest = value.partition("=")
                    cookie_value = rest.split(";", 1)[0]
                    if "Max-Age=0" in value:
                        self.cookies.pop(key, None)
                    else:
                        self.cookies[key] = cookie_value
            return answer.status, {k.lower(): v for k, v in answer.getheaders()}, data
        finally:
            connection.close()

    def get(self, path):
        return self.request("GET", path)

    def page(self, path):
        status, _, body = self.get(path)
        assert status == 200, (path, status, body[:300])
        return body.decode()

    @staticmethod
    def form_token(page):
        match = re.search(r'name="csrf" value="([^"]*)"', page)
        return html.unescape(match.group(1)) if match else ""

    def post(self, path, fields=None, token_from=None):
        """Posts a form; the token comes from the page `token_from` (the page the form is on)."""
        fields = dict(fields or {})
        if token_from is not None:
            fields["csrf"] = self.form_token(self.page(token_from))
        return self.request("POST", path, fields)

    def login(self, name, password):
        return self.post("/login", {"name": name, "password": password, "next": "/groups"}, token_from="/login")

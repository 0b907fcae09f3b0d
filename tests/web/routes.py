# Routes of the fixture server for the page request and URL reader tests.
import gzip


def landing(req):
    return {"body": "landed on " + req.scheme + " " + req.path}


def needs_cookie(req):
    return {"body": "cookie=[" + (req.header("Cookie") or "") + "]"}


def pattern(n):
    # Reproducible bytes without zeros, the same as the tests compute.
    return bytes(ord("a") + (i * 7 + i // 1000) % 26 for i in range(n))


TITLE_UTF8 = "<title>中文频道视频列表</title>".encode("utf-8")

# The two kinds of page, each with an end it shows: a listing page that
# closes its html element, a continuation answer that closes its object.
LISTING = ("<!DOCTYPE html><html lang=\"zh-CN\"><head><title>频道</title></head><body><ul>"
           + "".join("<li class=\"cx-lockup-title\"><a title=\"视频 %d\" href=\"/watch?v=%d\">视频</a></li>" % (i, i)
                     for i in range(400))
           + "</ul></body></html>\n").encode("utf-8")
ANSWER = ('{"content_html":"'
          + "".join('\\u003cli class\\u003d\\"cx-lockup-title\\"\\u003e\\u003ca href\\u003d\\"\\/watch?v\\u003d%d\\"'
                    '\\u003e\\u003c\\/a\\u003e' % i for i in range(400))
          + '",\r\n"load_more_widget_html":""}').encode("ascii")
def chunk_end(body, k, chunk):
    """Where the k-th chunk (from 0) of body ends in the chunked framing."""
    at = 0
    for start in range(0, (k + 1) * chunk, chunk):
        n = min(chunk, len(body) - start)
        at += len("%x" % n) + 2 + n + 2
    return at


def chunked(body, content_type, cut=None, chunk=2048, **extra):
    """body sent chunked; cut: "mid" (inside the fourth chunk) or "chunk" (right
    after the third), the connection then closed in an orderly way. The chunks
    are those of the body as sent (compressed, with an encoding)."""
    reply = {"body": body, "content_type": content_type, "chunked": True, "chunk_size": chunk}
    reply.update(extra)
    sent = gzip.compress(body) if reply.get("encoding") == "gzip" else body
    assert len(sent) > 4 * chunk
    if cut == "chunk":
        reply["cut"] = {"after": chunk_end(sent, 2, chunk), "how": "close"}
    elif cut == "mid":
        reply["cut"] = {"after": chunk_end(sent, 2, chunk) + chunk // 2, "how": "close"}
    return reply


ROUTES = {
    "/plain": {"body": "<html>plain page</html>"},
    "/query": {"body": "query page"},
    "/missing": {"status": 404, "body": "<html>missing page</html>"},
    "/broken": {"status": 500, "body": "server broke"},
    "/utf8": {"body": TITLE_UTF8, "content_type": "text/html; charset=utf-8"},
    "/gzip": {"body": TITLE_UTF8, "encoding": "gzip", "content_type": "text/html; charset=UTF-8"},
    "/deflate": {"body": "deflated page", "encoding": "deflate"},
    "/chunked": {"body": pattern(50000), "chunked": True, "chunk_size": 3000},
    "/large": {"body": pattern(3 * 1024 * 1024 + 17)},
    "/empty": {"body": "", "headers": [["Set-Cookie", "emptyset=1; path=/"]]},
    "/set-cookie": {"body": "cookies set",
                    "headers": [["Set-Cookie", "cxsession=abc123; path=/"],
                                ["Set-Cookie", "cxtheme=dark; path=/"]]},
    "/need-cookie": needs_cookie,
    "/post": {"body": "posted"},
    "/put": {"body": "put done"},
    "/slow": {"delay": 3, "body": "slow page"},
    "/to-https": {"status": 302, "headers": [["Location", "https://www.clipdex.com/landing"]], "body": "moved"},
    "/to-http": {"status": 301, "headers": [["Location", "http://www.clipdex.com/landing"]], "body": "moved"},
    "/landing": landing,
    "/ready": [{"status": 503, "body": "busy"}, {"status": 200, "body": "ready now"}],
    # Whole answers and parts of answers (the reader tells them apart).
    "/whole/gzip": {"body": pattern(20000), "encoding": "gzip"},
    "/whole/no-length": {"body": pattern(20000), "content_length": False},
    "/part/cut": {"body": pattern(20000), "cut": {"after": 7000, "how": "close"}},
    "/part/reset": {"body": pattern(20000), "cut": {"after": 7000, "how": "reset"}},
    "/part/reset-before-status": {"reset": True},
    "/part/gzip-no-trailer": {"body": pattern(20000), "encoding": "gzip", "trim": 8},
    "/part/gzip-cut": {"body": pattern(20000), "encoding": "gzip", "cut": {"after": 60, "how": "close"}},
    "/part/stalled": {"body": pattern(20000), "stall": {"after": 3000, "seconds": 6}},
    "/part/chunked-reset": {"body": pattern(20000), "chunked": True, "chunk_size": 3000,
                            "cut": {"after": 7000, "how": "reset"}},
    # Chunked pages whole, and cut before their closing chunk.
    "/chunked/listing": chunked(LISTING, "text/html; charset=utf-8"),
    "/chunked/answer": chunked(ANSWER, "application/json; charset=UTF-8"),
    "/chunked/listing-cut-mid": chunked(LISTING, "text/html; charset=utf-8", "mid"),
    "/chunked/listing-cut-at-chunk": chunked(LISTING, "text/html; charset=utf-8", "chunk"),
    "/chunked/answer-cut-mid": chunked(ANSWER, "application/json; charset=UTF-8", "mid"),
    "/chunked/answer-cut-at-chunk": chunked(ANSWER, "application/json; charset=UTF-8", "chunk"),
    "/chunked/answer-gzip-cut-at-chunk": chunked(ANSWER, "application/json; charset=UTF-8", "chunk", chunk=100,
                                                  encoding="gzip"),
    "/part/listing-no-length": {"body": LISTING, "content_type": "text/html; charset=utf-8", "content_length": False,
                                "cut_after": len(LISTING) // 2},
    "/part/trickle": {"body": pattern(200), "trickle": 0.5},
    # URL reader
    "/soft/clipdex/clipdex.txt": {"body": "new=[V1.0]download=[http://www.clipdexsoft.com/soft/clipdex/Clipdex.exe]",
                                  "content_type": "text/plain"},
    "/ru/noclen": {"body": pattern(30000), "content_length": False},
    "/ru/big": {"body": pattern(500000)},
    "/ru/short": {"body": pattern(700)},
    "/ru/fragment": {"body": "fragment page"},
    "/ru/gzip": {"body": "not inflated here", "encoding": "gzip"},
    "/ru/missing": {"status": 404, "body": "reader missing page"},
    # URL reader against broken servers
    "/ru/silent": {"silent": True},
    "/ru/endless": {"body": "new=[V1.1]\r\ndownload=[x]\r\n", "endless": True, "content_length": False},
    "/ru/cut": {"body": pattern(3000), "content_length": 6000, "cut_after": 3000},
    "/ru/limit": {"body": pattern(64 * 1024), "content_length": False},
    "/ru/over": {"body": pattern(64 * 1024 + 1), "content_length": False},
    "/ru/crawl": {"body": pattern(4000), "stall": {"after": 10, "seconds": 30}},
    "/ru/trickle": {"body": pattern(100), "trickle": 1},
}

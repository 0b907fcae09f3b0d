# Routes of the fixture server for the program at high addresses: a channel
# of two pages on the video site (a gzip-coded listing page and an escaped
# continuation answer, UTF-8 both), and on the maker's server a version file
# announcing V1.1 whose download, a complete program of 10 000 bytes, pauses
# halfway so that the updater shows its progress meanwhile.

import sys

# The site's own escaping of markup inside a continuation answer. (The routes
# are read from the build tree, beside the updater tests' image.)
sys.path.insert(0, "@CX_SITE_DIR@")
from clipdex_site import script_escape  # noqa: E402

PER_PAGE = 20
CONTINUATION = "/browse_ajax?continuation=high-2"


def video(n):
    # The same rows the test expects (tests/app/high_address_test.cpp).
    return "hiaddr%05d" % n, "高地址视频 第%d集 &amp; more" % (n + 1)


def tile(n):
    vid, title = video(n)
    return (
        '<li class="channels-content-item">\n<div class="cx-lockup-content">\n'
        '<h3 class="cx-lockup-title "><a class="cx-tile-link" dir="ltr" title="%s" href="/watch?v=%s" '
        'rel="nofollow">%s</a></h3>\n<div class="cx-lockup-meta"><ul><li>%d次观看</li></ul></div>\n</div>\n</li>\n'
    ) % (title, vid, title, 1000 + n)


def load_more(href):
    return ('<button class="load-more-button" type="button" aria-label="Load more\n" '
            'data-uix-load-more-href="%s"><span class="load-more-text">\n    Load more\n\n  </span></button>' % href)


LISTING = ('<!DOCTYPE html><html><head><meta charset="UTF-8"><title>高地址频道 - Clipdex</title></head>\n<body>\n'
           '<ul id="channels-browse-content-grid">\n' + "".join(tile(n) for n in range(PER_PAGE)) + '</ul>\n'
           '<div class="load-more-container">' + load_more(CONTINUATION) + '</div>\n</body></html>\n')
ANSWER = '{"content_html":"%s",\r\n"load_more_widget_html":""}' % script_escape(
    "\n\n" + "".join(tile(n) for n in range(PER_PAGE, 2 * PER_PAGE)))

ROUTES = {
    "/user/highaddress/videos": {"body": LISTING, "encoding": "gzip", "content_type": "text/html; charset=utf-8"},
    CONTINUATION: {"body": ANSWER, "encoding": "gzip", "content_type": "application/json; charset=UTF-8"},
    "/soft/clipdex/clipdex.txt": {
        "body": "new=[V1.1]\r\ndownload=[http://www.clipdexsoft.com/soft/clipdex/stall.exe]\r\n",
        "content_type": "text/plain"},
    # Made by the updater tests' build (tests/updater/make_image.py).
    "/soft/clipdex/stall.exe": {"body_file": "../updater/image_10000.exe", "stall": {"after": 5000, "seconds": 3}},
}

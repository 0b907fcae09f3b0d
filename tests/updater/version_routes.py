"""Routes of the maker's server for the tests that run the real program.

The download routes are those of updater_routes.json beside this file. The
version file answers with the reply a test has written, as JSON in the
fixture server's reply format, to version_reply.json beside this file; while
there is none, it answers as updater_routes.json says."""

import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
VERSION_PATH = "/soft/clipdex/clipdex.txt"

with open(os.path.join(HERE, "updater_routes.json"), encoding="utf-8") as f:
    ROUTES = json.load(f)
DEFAULT_REPLY = ROUTES[VERSION_PATH]


def version_file(req):
    try:
        with open(os.path.join(HERE, "version_reply.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return DEFAULT_REPLY


ROUTES[VERSION_PATH] = version_file

// The settings the updater module gives a transfer at the start button, for
// the tests that start transfers of their own.
#pragma once

#include "updater/settings.h"

namespace updatertest {

inline updata::TransferSettings download_settings(updata::TransferEventHandler handler) {
  updata::TransferSettings s{};
  s.version = 1;
  s.attempts = 5;
  s.connect_timeout = s.send_timeout = s.receive_timeout = 20000;
  s.retry_pause = 1000;
  s.write_buffer = 20480;
  s.min_read_chunk = 1024;
  s.read_chunk = 4096;
  s.handler = handler;
  s.extensions = const_cast<char*>(".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
  return s;
}

}  // namespace updatertest

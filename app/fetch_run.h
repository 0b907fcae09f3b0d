// The fetch run and its stop request, both on the one fetch/stop button.
#pragma once

namespace cx {

void on_fetch_stop_clicked();

}  // namespace cx

// Export of the link column to a text file chosen in the save dialog.
#pragma once

namespace cx {

void export_list();

}  // namespace cx

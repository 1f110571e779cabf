// The grid library's start-up: makes the grid the table view of data
// windows (browse mode). Call once after the Qt application exists.
#pragma once

namespace grid {

void Init();

}  // namespace grid

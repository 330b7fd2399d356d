// Where a file request opens when its caller names no folder of its own: in
// the folder of the last file the user picked in such a request during this
// run while that folder is there, else in the user's documents folder, else
// in the home folder. Never in the current folder, which is the program's
// private data folder when the menu starts it. Requests that name their own
// folder (Setup's restore, which opens where Setup's backup last wrote)
// neither use nor change the one remembered. Call on the user-interface thread.
#pragma once

#include <QString>

namespace platform {

// The folder the next such request opens in.
QString FileRequestFolder();
// The user's documents folder, else the home folder.
QString DocumentsFolder();
// The folder of the last file picked; empty before the first. Setting it
// empty forgets it.
QString LastPickedFolder();
void SetLastPickedFolder(const QString& folder);

}  // namespace platform

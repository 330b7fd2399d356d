// The folder the program keeps its data in when the application menu starts
// it: $XDG_DATA_HOME/quillet, or ~/.local/share/quillet when XDG_DATA_HOME is
// not set to an absolute folder. A program started from a menu has no current
// folder worth keeping data in, so a folder is only ever taken from an
// absolute HOME or XDG_DATA_HOME, never one that is "/" itself: an empty or
// relative HOME gives none rather than one under the current folder or "/".
#pragma once

#include <QString>

namespace platform {

// The data folder for these values of HOME and XDG_DATA_HOME; empty when
// neither leads to one.
QString MenuDataFolder(const QString& home, const QString& dataHome);

// Makes the folder where it is missing (its parents as `mkdir -p` does, the
// folder itself for the user alone) and makes it the current folder. A
// folder that was there and is the user's becomes the user's alone too
// (`cmake --install --prefix ~/.local` makes ~/.local/share/quillet for the
// help pages, readable by all). Empty on success, else the system's reason
// ("Not a directory"); a folder whose mode cannot be changed is entered as
// it is.
QString EnterDataFolder(const QString& folder);

}  // namespace platform

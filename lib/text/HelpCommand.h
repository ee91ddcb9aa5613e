// The command line that opens a help file in the help viewer installed under
// the application folder.
#pragma once

#include <QString>

namespace help {

struct HelpCommand {
    // As the system forms it: application folder, "\Help\hh.exe", one blank,
    // application folder, "\Help\", the file name; joined without quoting.
    QString commandLine;
    // What is started on this platform: the viewer, with '/' separators ...
    QString program;
    // ... and the help file's path, with '/' separators, as one argument, so a
    // folder name holding blanks reaches the viewer whole.
    QString argument;
};

// `appFolder` has no trailing separator; `fileName` is the help file's name
// within the help folder (empty: the help folder itself).
HelpCommand helpCommand(const QString& appFolder, const QString& fileName);

}  // namespace help

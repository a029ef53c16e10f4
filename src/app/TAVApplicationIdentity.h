#pragma once

#include <QIcon>
#include <QString>

// Who the running program says it is to the desktop: its names, its version,
// the desktop entry its windows belong to (on Wayland the compositor finds the
// window's icon and menu entry through that name) and its window icon.
class TAVApplicationIdentity {
public:
    // The program's folder name ("lumetta"): the application name, with no
    // organisation above it, so that its data, cache and config folders are
    // ~/.local/share/lumetta, ~/.cache/lumetta and ~/.config/lumetta.
    static QString folderName();
    // The name shown to users ("Lumetta").
    static QString displayName();
    // The desktop entry's name without ".desktop": the bundle identifier.
    static QString desktopFileName();

    // Names, version and desktop entry; callable before the application object exists.
    static void describeApplication();
    // The icon theme's icon of the desktop entry when the desktop has it
    // installed, else the same pictures compiled into the program.
    static QIcon windowIcon();
};

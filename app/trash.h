// Moving a file to the user's trash the way the desktops share one
// (freedesktop.org's Trash layout), so that file managers list it and can put it
// back: the file goes into a trash's `files/` folder and a `NAME.trashinfo`
// beside it in `info/` says where it came from and when.
//
// The trash is the home trash, `$XDG_DATA_HOME/Trash` (by default
// `~/.local/share/Trash`), when the file lies on the same file system; else
// the trash of the file's own file system: `$topdir/.Trash/$uid` when the
// administrator made `$topdir/.Trash` (a real folder with the sticky bit),
// else `$topdir/.Trash-$uid`. The file is only ever renamed: never copied
// and deleted, never removed. When no trash can take it, it stays where it
// is and the result says why.
#pragma once

#include <string>

struct TrashResult {
    bool moved = false;
    std::string reason;  // why not, in words, when not moved
    std::string trashed;  // the file's path in the trash, when moved
};

TrashResult move_to_trash(const std::string& path);

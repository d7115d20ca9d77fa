// Replacing a file whole or not at all: the one way the programs replace a file a person relies on
// (parameter, equation and settings files, the server history, the outputs of sensor-tool).
#pragma once

#include <string_view>

// Writes `bytes` as the file `path`: they go to a file beside it first, reach the disk, and only then take
// its place in one step, so a write that fails half-way (a full disk, a file size limit, a crash) leaves
// the old file as it was and nothing beside it. A file this user may not write is refused as before; a
// replaced file keeps its permissions and, where the user may give it away (root), its owner and group. A
// symbolic link, or a chain of them, keeps pointing where it did, and the file it points at is written, made
// if it does not exist yet. False when nothing was replaced, with errno holding the reason (ENOSPC, EFBIG,
// EACCES, ENOENT for a missing folder, EISDIR for a folder, EINVAL for a device or pipe).
bool WriteFileWhole(std::string_view path, std::string_view bytes);

#pragma once

namespace velmora {

// How reading or writing one of the files that hold the user's work ended,
// for the layers that report it as a value rather than raise it.
enum FileResult : int {
    kFileOk = 0,
    // Missing, read-only, not a regular file, or it could not be created.
    kFileCannotOpen = 1,
    // Shorter than its header or count promises, or a write came up short.
    kFileShort = 2,
};

}  // namespace velmora

// Files on descriptors: unnamed temporary files that keep data on disk rather than in memory
// while a run needs it, whole reads and writes, and the reason of a failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// An unnamed file in $TMPDIR (or /tmp) that vanishes with its descriptor; -1 with errno set.
int UnnamedTemporaryFile();

// Writes all of `data` to `fd` at its position; false with errno set when it cannot.
bool WriteAll(int fd, std::string_view data);

// Reads `size` bytes of `fd` from `offset` into `into`; false with errno set when it cannot
// (EIO for a file that ends before them).
bool ReadAllAt(int fd, char *into, std::size_t size, std::int64_t offset);

// ": " and the reason errno gives for the last failure, or nothing when it gives none.
std::string Reason();

// The line for a failure of the spectrogram's temporary file: "cannot `what` the
// spectrogram's temporary file: " and the reason errno gives.
std::string SpoolFailure(const char *what);

} // namespace cli

#include "cli/column_store.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/file_io.h"

namespace cli {

namespace {

// The bytes of one block: columns enough to read each row of a block at once, few enough to
// keep the memory small.
constexpr std::int64_t kBlockBytes = std::int64_t{4} << 20;

} // namespace

ColumnStore::ColumnStore(int height)
    : height_(height), blockColumns_(std::max<std::int64_t>(1, kBlockBytes / height)),
      block_(static_cast<std::size_t>(height * blockColumns_)) {}

ColumnStore::~ColumnStore() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool ColumnStore::Add(const std::uint8_t *column, std::string &error) {
  const std::int64_t c = columns_ - spooled_ * blockColumns_;
  for (int row = 0; row < height_; ++row) {
    block_[static_cast<std::size_t>(row * blockColumns_ + c)] = column[row];
  }
  ++columns_;
  if (c + 1 < blockColumns_) {
    return true;
  }
  errno = 0;
  if (fd_ < 0 && (fd_ = UnnamedTemporaryFile()) < 0) {
    error = SpoolFailure("make");
    return false;
  }
  if (!WriteAll(fd_, {reinterpret_cast<const char *>(block_.data()), block_.size()})) {
    error = SpoolFailure("write");
    return false;
  }
  ++spooled_;
  return true;
}

bool ColumnStore::ReadRow(int row, std::uint8_t *into, std::string &error) const {
  const auto blockBytes = static_cast<std::int64_t>(block_.size());
  for (std::int64_t b = 0; b < spooled_; ++b, into += blockColumns_) {
    if (!ReadAllAt(fd_, reinterpret_cast<char *>(into), static_cast<std::size_t>(blockColumns_),
                   b * blockBytes + row * blockColumns_)) {
      error = SpoolFailure("read");
      return false;
    }
  }
  std::copy_n(block_.begin() + row * blockColumns_, columns_ - spooled_ * blockColumns_, into);
  return true;
}

} // namespace cli

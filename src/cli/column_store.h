// The pixels of a picture that grows by columns and is read back by rows, in bounded memory:
// the columns are gathered in blocks, and each full block goes to an unnamed temporary file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

class ColumnStore {
public:
  // Columns of `height` bytes.
  explicit ColumnStore(int height);
  ColumnStore(const ColumnStore &) = delete;
  ColumnStore &operator=(const ColumnStore &) = delete;
  ~ColumnStore();

  int Height() const { return height_; }
  std::int64_t Columns() const { return columns_; }

  // The next column: `height` bytes, row 0 first. False with `error` set when the temporary
  // file cannot take a full block.
  bool Add(const std::uint8_t *column, std::string &error);

  // Row `row` of every column so far, column 0 first, into `into`. False with `error` set
  // when the temporary file cannot be read.
  bool ReadRow(int row, std::uint8_t *into, std::string &error) const;

private:
  int height_;
  std::int64_t blockColumns_; // columns per block
  std::int64_t columns_ = 0;
  std::int64_t spooled_ = 0; // blocks in the file
  // The block being filled, row by row: row r of its column c at r × blockColumns_ + c.
  std::vector<std::uint8_t> block_;
  int fd_ = -1;
};

} // namespace cli

// The columns of a picture N columns wide over the T frames of a recording: column c shows the
// frames from floor(c T / N) up to floor((c + 1) T / N), or frame floor(c T / N) alone where
// that range is empty (N above T), each row the statistic of its values over them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/statistics.h"

namespace cli {

class ColumnShares {
public:
  // Takes a column's `rows` values, which the picture shows in `copies` columns side by side;
  // false with `error` set when it cannot.
  using Sink =
      std::function<bool(std::span<const double> values, std::int64_t copies, std::string &error)>;

  // N = `columns` columns of `rows` values per frame. With T = `frames` known before the first
  // frame, each column goes to the sink as soon as its frames are in; otherwise the frames'
  // values wait in an unnamed temporary file until Finish.
  ColumnShares(std::int64_t columns, std::optional<std::int64_t> frames, int rows,
               core::Statistic statistic, Sink sink);
  ColumnShares(const ColumnShares &) = delete;
  ColumnShares &operator=(const ColumnShares &) = delete;
  ~ColumnShares();

  // The next frame's values; false with `error` set when they cannot be kept.
  bool Add(std::span<const double> values, std::string &error);
  // After the last frame (at least one): the columns still to come. False with `error` set
  // when the temporary file fails, or when the frames were not the T promised.
  bool Finish(std::string &error);
  // T: the frames promised, or those added so far.
  std::int64_t Frames() const { return frames_.value_or(added_); }

  // The first frame of column c of N over T frames.
  static std::int64_t FirstFrame(std::int64_t column, std::int64_t columns, std::int64_t frames);

private:
  // Takes the next frame into its column, T being known.
  bool Take(std::span<const double> values, std::string &error);
  bool Flush(std::string &error);

  std::int64_t columns_;
  std::optional<std::int64_t> frames_;
  std::size_t rows_;
  core::Statistic statistic_;
  Sink sink_;
  std::int64_t added_ = 0;
  std::int64_t taken_ = 0;
  std::int64_t column_ = 0; // the next column to finish
  core::PowerStatistics share_;
  std::vector<double> spool_; // frames' values not yet in the temporary file
  int fd_ = -1;
};

} // namespace cli

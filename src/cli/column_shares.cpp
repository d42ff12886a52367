#include "cli/column_shares.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/file_io.h"

namespace cli {

namespace {

// Values written to the temporary file at a time.
constexpr std::size_t kSpoolValues = std::size_t{1} << 17;

} // namespace

ColumnShares::ColumnShares(std::int64_t columns, std::optional<std::int64_t> frames, int rows,
                           core::Statistic statistic, Sink sink)
    : columns_(columns), frames_(frames), rows_(static_cast<std::size_t>(rows)),
      statistic_(statistic), sink_(std::move(sink)), share_(static_cast<std::size_t>(rows)) {}

ColumnShares::~ColumnShares() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::int64_t ColumnShares::FirstFrame(std::int64_t column, std::int64_t columns,
                                      std::int64_t frames) {
  return column * frames / columns;
}

bool ColumnShares::Add(std::span<const double> values, std::string &error) {
  ++added_;
  if (frames_) {
    return added_ > *frames_ || Take(values, error);
  }
  spool_.insert(spool_.end(), values.begin(), values.end());
  return spool_.size() < kSpoolValues || Flush(error);
}

bool ColumnShares::Flush(std::string &error) {
  errno = 0;
  if (fd_ < 0 && (fd_ = UnnamedTemporaryFile()) < 0) {
    error = SpoolFailure("make");
    return false;
  }
  if (!WriteAll(fd_,
                {reinterpret_cast<const char *>(spool_.data()), spool_.size() * sizeof(double)})) {
    error = SpoolFailure("write");
    return false;
  }
  spool_.clear();
  return true;
}

bool ColumnShares::Take(std::span<const double> values, std::string &error) {
  share_.Add(values);
  ++taken_;
  const std::int64_t frames = Frames();
  const auto end = [&](std::int64_t column) {
    const std::int64_t first = FirstFrame(column, columns_, frames);
    return std::max(FirstFrame(column + 1, columns_, frames), first + 1);
  };
  if (taken_ < end(column_)) {
    return true;
  }
  const std::vector<double> powers = share_.Powers(statistic_);
  share_ = core::PowerStatistics(powers.size());
  std::int64_t copies = 1;
  while (column_ + copies < columns_ && end(column_ + copies) == taken_) {
    ++copies;
  }
  column_ += copies;
  return sink_(powers, copies, error);
}

bool ColumnShares::Finish(std::string &error) {
  if (!frames_) {
    frames_ = added_;
    if (fd_ >= 0 && !Flush(error)) {
      return false;
    }
    // The frames from the temporary file, a buffer of them at a time, or from memory.
    const std::int64_t perRead =
        fd_ >= 0 ? std::max<std::int64_t>(1, static_cast<std::int64_t>(kSpoolValues / rows_))
                 : added_;
    for (std::int64_t frame = 0; frame < added_; frame += perRead) {
      const std::int64_t count = std::min(perRead, added_ - frame);
      if (fd_ >= 0) {
        spool_.resize(static_cast<std::size_t>(count) * rows_);
        errno = 0;
        if (!ReadAllAt(fd_, reinterpret_cast<char *>(spool_.data()), spool_.size() * sizeof(double),
                       frame * static_cast<std::int64_t>(rows_ * sizeof(double)))) {
          error = SpoolFailure("read");
          return false;
        }
      }
      for (std::size_t at = 0; at < spool_.size(); at += rows_) {
        if (!Take(std::span(spool_).subspan(at, rows_), error)) {
          return false;
        }
      }
    }
  }
  if (added_ != *frames_) {
    error = "the input gave " + std::to_string(added_) + " frames, not the " +
            std::to_string(*frames_) + " that its length promised";
    return false;
  }
  return true;
}

} // namespace cli

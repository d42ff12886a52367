// A PNG file of palette colours written row by row, so that a picture of any width is written
// with memory for one row.
#pragma once

#include <QRgb>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace cli {

class PngWriter {
public:
  // Takes the next bytes of the file; false with errno set when it cannot.
  using Sink = std::function<bool(std::string_view bytes)>;

  // An 8-bit palette picture of `width` × `height` pixels (both at least 1) in the opaque
  // colours `palette` (at most 256).
  PngWriter(int width, int height, std::span<const QRgb> palette, Sink sink);
  PngWriter(const PngWriter &) = delete;
  PngWriter &operator=(const PngWriter &) = delete;
  ~PngWriter();

  // The next row from the top: `width` palette entries. False once the sink has failed.
  bool Row(const std::uint8_t *entries);
  // Ends the file after the last row; false when the sink failed.
  bool Finish();

private:
  // Compresses `size` bytes (none with `flush` Z_FINISH) into IDAT chunks.
  bool Deflate(const std::uint8_t *data, std::size_t size, int flush);
  bool Chunk(std::string_view type, std::string_view data);

  int width_;
  Sink sink_;
  z_stream stream_{};
  bool good_;
  std::string out_; // the compressed data of the next IDAT chunk
};

} // namespace cli

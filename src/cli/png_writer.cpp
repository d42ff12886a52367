#include "cli/png_writer.h"

#include <array>

namespace cli {

namespace {

// The compressed bytes gathered into one IDAT chunk.
constexpr std::size_t kChunkBytes = 65536;

void AppendBigEndian(std::string &bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes += static_cast<char>((value >> shift) & 0xFF);
  }
}

} // namespace

PngWriter::PngWriter(int width, int height, std::span<const QRgb> palette, Sink sink)
    : width_(width), sink_(std::move(sink)),
      good_(deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK) {
  std::string header;
  AppendBigEndian(header, static_cast<std::uint32_t>(width));
  AppendBigEndian(header, static_cast<std::uint32_t>(height));
  // Bit depth 8, palette colours, deflate, no filter method but the basic one, no interlace.
  header += std::string_view("\x08\x03\x00\x00\x00", 5);
  std::string colors;
  for (const QRgb color : palette) {
    colors += {static_cast<char>(qRed(color)), static_cast<char>(qGreen(color)),
               static_cast<char>(qBlue(color))};
  }
  good_ = good_ && sink_("\x89PNG\r\n\x1A\n") && Chunk("IHDR", header) && Chunk("PLTE", colors);
}

PngWriter::~PngWriter() {
  deflateEnd(&stream_);
}

bool PngWriter::Row(const std::uint8_t *entries) {
  // Each row starts with its filter type: 0, the bytes as they are.
  const std::uint8_t none = 0;
  return Deflate(&none, 1, Z_NO_FLUSH) &&
         Deflate(entries, static_cast<std::size_t>(width_), Z_NO_FLUSH);
}

bool PngWriter::Finish() {
  return Deflate(nullptr, 0, Z_FINISH) && (out_.empty() || Chunk("IDAT", out_)) &&
         Chunk("IEND", {});
}

bool PngWriter::Deflate(const std::uint8_t *data, std::size_t size, int flush) {
  stream_.next_in = const_cast<Bytef *>(data);
  stream_.avail_in = static_cast<uInt>(size);
  std::array<char, 16384> buffer;
  int status = Z_OK;
  while (good_ && (stream_.avail_in > 0 || (flush == Z_FINISH && status != Z_STREAM_END))) {
    stream_.next_out = reinterpret_cast<Bytef *>(buffer.data());
    stream_.avail_out = buffer.size();
    status = deflate(&stream_, flush);
    good_ = status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR;
    out_.append(buffer.data(), buffer.size() - stream_.avail_out);
    if (out_.size() >= kChunkBytes) {
      good_ = good_ && Chunk("IDAT", out_);
      out_.clear();
    }
  }
  return good_;
}

bool PngWriter::Chunk(std::string_view type, std::string_view data) {
  std::string bytes;
  AppendBigEndian(bytes, static_cast<std::uint32_t>(data.size()));
  bytes.append(type).append(data);
  const auto *crcData = reinterpret_cast<const Bytef *>(bytes.data() + 4);
  AppendBigEndian(bytes, static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), crcData,
                                                          static_cast<uInt>(bytes.size() - 4))));
  good_ = good_ && sink_(bytes);
  return good_;
}

} // namespace cli

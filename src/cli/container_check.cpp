#include "cli/container_check.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace cli {

namespace {

// Chunks looked at before the data chunk: a header of more is taken for no header.
constexpr int kMostChunks = 1000;
// A 32-bit length from here up says "to the end": writers to a pipe put it into a header that
// they cannot go back to (0x7F000000 and a little more for sox's AIFF, 0xFFFFFFFF for others).
// A file that truly promises 2 GiB or more is taken for one that runs to its end.
constexpr std::uint64_t kUnknownLength = 0x7F000000;
// Bytes read at a time while Ogg pages are walked or a FLAC frame is looked for.
constexpr std::size_t kBlock = 1 << 16;

// The unsigned number of `size` bytes at `at`, little- or big-endian; 0 past the end.
std::uint64_t Number(std::string_view bytes, std::size_t at, std::size_t size, bool little) {
  if (at + size > bytes.size()) {
    return 0;
  }
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + (little ? size - 1 - i : i)]);
  }
  return value;
}

// RIFF, RIFX and RF64 WAV, and AIFF: 4-byte chunk names and lengths, chunks of even length, the
// data in the chunk `name`; RF64 keeps the data's length in its ds64 chunk.
std::optional<DataChunk> ChunkedData(const ReadAt &bytes, std::string_view name, bool little,
                                     bool rf64) {
  std::optional<std::uint64_t> longLength;
  std::uint64_t at = 12;
  for (int i = 0; i < kMostChunks; ++i) {
    const std::string head = bytes(at, 8 + 16);
    if (head.size() < 8) {
      return DataChunk{};
    }
    const std::uint64_t size = Number(head, 4, 4, little);
    if (rf64 && head.starts_with("ds64")) {
      longLength = Number(head, 16, 8, true);
    }
    if (head.starts_with(name)) {
      const std::uint64_t length = rf64 && longLength ? *longLength : size;
      if (length == 0 || (!rf64 && length >= kUnknownLength)) {
        return DataChunk{};
      }
      return DataChunk{at + 8 + length, {}};
    }
    at += 8 + size + (size & 1);
  }
  return DataChunk{};
}

// W64: 16-byte chunk names whose first four bytes spell the name, 8-byte lengths that count
// the chunk's header, chunks aligned to 8 bytes.
std::optional<DataChunk> Wave64Data(const ReadAt &bytes) {
  std::uint64_t at = 40;
  for (int i = 0; i < kMostChunks; ++i) {
    const std::string head = bytes(at, 24);
    const std::uint64_t size = Number(head, 16, 8, true);
    if (head.size() < 24 || size < 24) {
      return DataChunk{};
    }
    if (head.starts_with("data")) {
      return DataChunk{at + size, {}};
    }
    at += (size + 7) / 8 * 8;
  }
  return DataChunk{};
}

// CAF: big-endian 8-byte chunk lengths; the data chunk's length is -1 when it runs to the end.
std::optional<DataChunk> CafData(const ReadAt &bytes) {
  std::uint64_t at = 8;
  for (int i = 0; i < kMostChunks; ++i) {
    const std::string head = bytes(at, 12);
    if (head.size() < 12) {
      return DataChunk{};
    }
    const std::uint64_t size = Number(head, 4, 8, false);
    if (head.starts_with("data")) {
      return DataChunk{size == ~std::uint64_t{0} ? std::nullopt : std::optional(at + 12 + size),
                       at + 4};
    }
    if (size > (std::uint64_t{1} << 62)) {
      return DataChunk{};
    }
    at += 12 + size;
  }
  return DataChunk{};
}

// The CRC of Ogg pages: polynomial 0x04C11DB7, not reflected, starting from 0.
std::uint32_t OggCrc(std::string_view page) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t r = i << 24;
      for (int bit = 0; bit < 8; ++bit) {
        r = r & 0x80000000u ? r << 1 ^ 0x04C11DB7u : r << 1;
      }
      t[i] = r;
    }
    return t;
  }();
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < page.size(); ++i) {
    // The check sum's own four bytes count as zeros.
    const auto byte = i >= 22 && i < 26 ? 0u : static_cast<unsigned char>(page[i]);
    crc = crc << 8 ^ table[(crc >> 24 ^ byte) & 0xFF];
  }
  return crc;
}

// FLAC's CRC-8 (polynomial 0x07) and CRC-16 (polynomial 0x8005), not reflected, from 0.
template <typename Crc, Crc kPolynomial> Crc FlacCrc(std::string_view data, Crc crc = 0) {
  constexpr int kBits = 8 * sizeof(Crc);
  for (const char c : data) {
    crc = static_cast<Crc>(crc ^ static_cast<unsigned char>(c) << (kBits - 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<Crc>(crc >> (kBits - 1) ? crc << 1 ^ kPolynomial : crc << 1);
    }
  }
  return crc;
}

// The length of the FLAC frame header at the start of `head` whose CRC-8 holds, or 0.
std::size_t FlacHeaderLength(std::string_view head) {
  if (head.size() < 6 || static_cast<unsigned char>(head[0]) != 0xFF ||
      (static_cast<unsigned char>(head[1]) & 0xFE) != 0xF8) {
    return 0;
  }
  const unsigned blockCode = static_cast<unsigned char>(head[2]) >> 4;
  const unsigned rateCode = static_cast<unsigned char>(head[2]) & 0x0F;
  if (blockCode == 0 || rateCode == 15 || (static_cast<unsigned char>(head[3]) & 1) != 0) {
    return 0;
  }
  // The frame or sample number, coded as UTF-8 extended to 7 bytes.
  const auto lead = static_cast<unsigned char>(head[4]);
  std::size_t ones = 0;
  while (ones < 8 && (lead << ones & 0x80) != 0) {
    ++ones;
  }
  if (ones == 1 || ones == 8) {
    return 0;
  }
  const std::size_t numberLength = ones == 0 ? 1 : ones;
  const std::size_t length = 4 + numberLength +
                             (blockCode == 6   ? 1
                              : blockCode == 7 ? 2
                                               : 0) +
                             (rateCode == 12                     ? 1
                              : rateCode == 13 || rateCode == 14 ? 2
                                                                 : 0);
  if (head.size() < length + 1 || FlacCrc<std::uint8_t, 0x07>(head.substr(0, length)) !=
                                      static_cast<unsigned char>(head[length])) {
    return 0;
  }
  return length + 1;
}

} // namespace

ReadAt DescriptorBytes(int fd) {
  return [fd](std::uint64_t offset, std::size_t count) {
    std::string data(count, '\0');
    std::size_t got = 0;
    while (got < count) {
      const ssize_t n =
          ::pread(fd, data.data() + got, count - got, static_cast<off_t>(offset + got));
      if (n <= 0) {
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    data.resize(got);
    return data;
  };
}

std::optional<DataChunk> FindDataChunk(const ReadAt &bytes) {
  const std::string head = bytes(0, 28);
  const std::string_view id =
      std::string_view(head).substr(0, std::min<std::size_t>(4, head.size()));
  const std::string_view kind = head.size() >= 12 ? std::string_view(head).substr(8, 4) : "";
  if ((id == "RIFF" || id == "RIFX" || id == "RF64") && kind == "WAVE") {
    return ChunkedData(bytes, "data", id != "RIFX", id == "RF64");
  }
  if (id == "riff" && head.size() >= 28 && std::string_view(head).substr(24, 4) == "wave") {
    return Wave64Data(bytes);
  }
  if (id == "FORM" && (kind == "AIFF" || kind == "AIFC")) {
    return ChunkedData(bytes, "SSND", false, false);
  }
  if (id == ".snd" || id == "dns.") {
    const bool little = id == "dns.";
    const std::uint64_t offset = Number(head, 4, 4, little);
    const std::uint64_t size = Number(head, 8, 4, little);
    return size >= kUnknownLength ? DataChunk{} : DataChunk{offset + size, {}};
  }
  if (id == "caff") {
    return CafData(bytes);
  }
  return std::nullopt;
}

OggPages WalkOggPages(const ReadAt &bytes, std::uint64_t size) {
  OggPages pages;
  std::optional<std::uint32_t> serial;
  std::uint32_t sequence = 0;
  for (std::uint64_t at = 0; at < size;) {
    const std::string head = bytes(at, 27 + 255);
    const std::size_t segments = head.size() >= 27 ? static_cast<unsigned char>(head[26]) : 0;
    if (head.size() < 27 + segments) {
      // The input ends inside a page header.
      return pages;
    }
    if (!head.starts_with("OggS") || head[4] != 0) {
      pages.damaged = true;
      return pages;
    }
    std::uint64_t body = 0;
    for (std::size_t i = 0; i < segments; ++i) {
      body += static_cast<unsigned char>(head[27 + i]);
    }
    const std::string page = bytes(at, 27 + segments + body);
    if (page.size() < 27 + segments + body) {
      // The input ends inside a page: cut short, unless another page follows the bytes where
      // this one should end, which makes its length damaged.
      for (std::uint64_t from = at + 4; from < size; from += kBlock) {
        if (bytes(from, kBlock + 3).find("OggS") != std::string::npos) {
          pages.damaged = true;
          break;
        }
      }
      return pages;
    }
    const std::uint32_t pageSerial = static_cast<std::uint32_t>(Number(page, 14, 4, true));
    const auto pageSequence = static_cast<std::uint32_t>(Number(page, 18, 4, true));
    if (OggCrc(page) != Number(page, 22, 4, true) ||
        (serial && pageSerial == *serial && pageSequence != sequence + 1)) {
      pages.damaged = true;
      return pages;
    }
    if (!serial) {
      serial = pageSerial;
      const std::string_view packet = std::string_view(page).substr(27 + segments);
      pages.opus = packet.starts_with("OpusHead");
      pages.preSkip = pages.opus ? static_cast<std::int64_t>(Number(packet, 10, 2, true)) : 0;
    }
    at += page.size();
    if (pageSerial != *serial) {
      continue;
    }
    sequence = pageSequence;
    const auto granule = static_cast<std::int64_t>(Number(page, 6, 8, true));
    if (granule != -1) {
      pages.granule = granule;
    }
    if ((page[5] & 4) != 0) {
      // The end of the stream; what follows is another stream of a chain.
      pages.ended = true;
      return pages;
    }
  }
  return pages;
}

bool FlacEndsWithWholeFrame(const ReadAt &bytes, std::uint64_t size) {
  // From the end backwards, the last frame header whose CRC-8 holds.
  for (std::uint64_t end = size; end > 0;) {
    const std::uint64_t from = end > kBlock ? end - kBlock : 0;
    const std::string block = bytes(from, static_cast<std::size_t>(end - from) + 16);
    for (std::size_t i = static_cast<std::size_t>(end - from); i-- > 0;) {
      const std::size_t header = FlacHeaderLength(std::string_view(block).substr(i));
      if (header == 0) {
        continue;
      }
      // The CRC-16 of a whole frame, its own two last bytes included, is 0.
      std::uint16_t crc = 0;
      for (std::uint64_t at = from + i; at < size; at += kBlock) {
        crc = FlacCrc<std::uint16_t, 0x8005>(
            bytes(at, static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - at))), crc);
      }
      return crc == 0;
    }
    end = from;
  }
  return false;
}

MpegCount ReadMpegCount(const ReadAt &bytes) {
  MpegCount count;
  std::string head = bytes(0, 10);
  if (head.starts_with("ID3") && head.size() == 10) {
    // An ID3v2 tag: its length in 7-bit bytes, and a footer of 10 bytes when flagged.
    std::uint64_t length = 0;
    for (std::size_t i = 6; i < 10; ++i) {
      length = length << 7 | (static_cast<unsigned char>(head[i]) & 0x7F);
    }
    count.start = 10 + length + ((head[5] & 0x10) != 0 ? 10 : 0);
  }
  const std::string frame = bytes(count.start, 4 + 32 + 12);
  if (frame.size() < 4 || static_cast<unsigned char>(frame[0]) != 0xFF ||
      (static_cast<unsigned char>(frame[1]) & 0xE6) != 0xE2) {
    return count; // no Layer III frame header
  }
  const bool mpeg1 = (static_cast<unsigned char>(frame[1]) >> 3 & 3) == 3;
  const bool mono = (static_cast<unsigned char>(frame[3]) >> 6) == 3;
  const std::size_t tag = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  const std::string_view name = std::string_view(frame).substr(std::min(tag, frame.size()), 4);
  if (name != "Xing" && name != "Info") {
    return count;
  }
  const std::uint64_t flags = Number(frame, tag + 4, 4, false);
  std::size_t at = tag + 8;
  count.counted = (flags & 1) != 0 && Number(frame, at, 4, false) > 0;
  at += (flags & 1) != 0 ? 4 : 0;
  if ((flags & 2) != 0 && at + 4 <= frame.size()) {
    count.bytes = Number(frame, at, 4, false);
  }
  return count;
}

} // namespace cli

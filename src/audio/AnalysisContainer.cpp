#include "audio/AnalysisContainer.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace audio {
namespace {

std::uint32_t readLe32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint16_t readLe16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

void writeLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

void scramble(std::string& bytes, std::size_t from) {
    for (std::size_t i = 0; from + i < bytes.size(); ++i)
        bytes[from + i] =
            static_cast<char>(static_cast<unsigned char>(bytes[from + i]) ^ kContainerScrambleKey[i % 16]);
}

std::uint32_t crcOf(const char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string hexDigits(unsigned value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xf]);
        value >>= 4;
    } while (value != 0);
    return text;
}

}  // namespace

bool isContainer(const std::string& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "ORB1", 4) == 0;
}

bool unpackContainer(const std::string& bytes, std::string& json, std::string& error) {
    if (bytes.size() < kContainerHeaderSize) {
        error = "sidecar too small to contain ORB1 header";
        return false;
    }
    const unsigned version = readLe16(bytes, 4);
    if (version != 1) {
        error = "unsupported ORB format_version " + std::to_string(version);
        return false;
    }
    const unsigned mode = static_cast<unsigned char>(bytes[6]);
    const std::uint32_t payloadLength = readLe32(bytes, 8);
    const std::uint32_t jsonLength = readLe32(bytes, 12);
    const std::uint32_t storedCrc = readLe32(bytes, 16);
    const std::uint64_t needed = kContainerHeaderSize + static_cast<std::uint64_t>(payloadLength);
    if (bytes.size() < needed) {
        error = "sidecar truncated: expected at least " + std::to_string(needed) + " bytes, got " +
                std::to_string(bytes.size());
        return false;
    }
    const char* payload = bytes.data() + kContainerHeaderSize;
    if (crcOf(payload, payloadLength) != storedCrc) {
        error = "sidecar CRC32 mismatch (file corrupted or tampered)";
        return false;
    }
    if (mode == 0) {
        json.assign(payload, payloadLength);
        return true;
    }
    if (mode != 1) {
        error = "unsupported ORB mode 0x" + hexDigits(mode);
        return false;
    }
    if (jsonLength > kMaxAnalysisBytes) {
        error = "sidecar JSON too large: " + std::to_string(jsonLength) + " bytes (limit " +
                std::to_string(kMaxAnalysisBytes) + ")";
        return false;
    }
    std::string stream(payload, payloadLength);
    scramble(stream, 0);
    std::vector<unsigned char> inflated(jsonLength > 0 ? jsonLength : 1);
    uLongf inflatedLength = jsonLength;
    const int rc = uncompress(inflated.data(), &inflatedLength, reinterpret_cast<const Bytef*>(stream.data()),
                              static_cast<uLong>(stream.size()));
    if (rc != Z_OK) {
        error = "mz_uncompress failed (rc=" + std::to_string(rc) + ")";
        return false;
    }
    if (inflatedLength != jsonLength) {
        error = "inflate length mismatch: expected " + std::to_string(jsonLength) + ", got " +
                std::to_string(inflatedLength);
        return false;
    }
    json.assign(reinterpret_cast<const char*>(inflated.data()), inflatedLength);
    return true;
}

std::string packContainer(const std::string& json, int mode) {
    std::string payload;
    if (mode == 1) {
        uLongf bound = compressBound(static_cast<uLong>(json.size()));
        std::vector<unsigned char> deflated(bound);
        if (compress2(deflated.data(), &bound, reinterpret_cast<const Bytef*>(json.data()),
                      static_cast<uLong>(json.size()), Z_BEST_COMPRESSION) != Z_OK)
            return std::string();
        payload.assign(reinterpret_cast<const char*>(deflated.data()), bound);
        scramble(payload, 0);
    } else {
        payload = json;
    }
    std::string bytes(kContainerHeaderSize, '\0');
    std::memcpy(&bytes[0], "ORB1", 4);
    bytes[4] = 1;
    bytes[6] = static_cast<char>(mode);
    writeLe32(bytes, 8, static_cast<std::uint32_t>(payload.size()));
    writeLe32(bytes, 12, static_cast<std::uint32_t>(json.size()));
    writeLe32(bytes, 16, crcOf(payload.data(), payload.size()));
    return bytes + payload;
}

}  // namespace audio

#pragma once

// The ".orbalt_audio" container around an analysis's JSON text: a 32-byte header ("ORB1",
// version 1, mode, lengths, CRC-32 of the payload) followed by the payload. Mode 0 stores the
// JSON as is; mode 1 stores it deflated and scrambled with a key the analysis tool shares.

#include <cstddef>
#include <cstdint>
#include <string>

namespace audio {

constexpr std::size_t kContainerHeaderSize = 32;

// Mode 1 scrambles the deflated payload by exclusive-or with this key, byte i with key[i % 16].
constexpr std::uint8_t kContainerScrambleKey[16] = {0x4f, 0x72, 0x62, 0xa1, 0x7c, 0x13, 0xe5, 0x58,
                                                    0x2d, 0x9b, 0x06, 0xc4, 0x31, 0xfa, 0x8e, 0x67};

// The largest JSON text a container may inflate to (and the largest plain JSON file read).
constexpr std::size_t kMaxAnalysisBytes = std::size_t(128) << 20;

// True when the bytes start with the container's magic "ORB1".
bool isContainer(const std::string& bytes);

// The JSON text inside a container; false with *error set to the reason it cannot be had.
bool unpackContainer(const std::string& bytes, std::string& json, std::string& error);

// A container holding `json` in mode 0 (plain) or 1 (deflated and scrambled).
std::string packContainer(const std::string& json, int mode);

}  // namespace audio

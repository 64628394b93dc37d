#pragma once

#include <cstdint>
#include <string>

// How much memory a render may take: the memory the machine has available, or a limit the user
// sets with --max-memory.
namespace memorylimit {

// The memory available to a new allocation now; 0 when the system does not say.
std::uint64_t availableBytes();

// "512M", "4G", "1.5G", "2T", "65536" (bytes); K, M, G and T count in 1024s, an optional "B" or
// "iB" may follow. False for anything else, zero included.
bool parseSize(const std::string& text, std::uint64_t* bytes);

// "3.2 GB", "512 MB", "240 KB": a size for a message.
std::string describe(std::uint64_t bytes);

// Frame-sized buffers the effect holds beside the images: two ping-pong arrays, a texture for
// each input and the result of each of the definition's processes.
constexpr int kEngineFramesBesideInputs = 2 + 3;

// Bytes one frame of a render needs: the input images as read, their copies at render scale
// (when `scaled`), the output image and the effect's frame-sized buffers.
std::uint64_t renderBytes(std::uint64_t inputBytes, int inputCount, std::uint64_t scaledFrameBytes,
                          bool scaled);

}  // namespace memorylimit

#pragma once
// Transforms of whole buffers: the byte swap, and the split of a combined PIC HEX image into the
// program memory, configuration memory, configuration word and data EEPROM.

#include "buffer/BufferModel.h"
#include "buffer/BufferTypes.h"

#include <cstdint>
#include <vector>

namespace buffer {

// Swaps the two bytes of every complete 16-bit pair from `start` for `length` bytes (clipped to
// the buffer); an odd last byte stays.
void SwapBufferBytes(std::vector<std::uint8_t>& data, std::size_t start = 0, std::size_t length = SIZE_MAX);

// PIC program memory is held high byte first in the buffer (the data pump and the masks treat
// even positions as the high byte) while HEX files hold it low byte first: swap the words of the
// program memory, the first `memorySize` bytes, and nothing beyond.
void SwapProgramWords(std::vector<std::uint8_t>& image, const CBufferDeviceParams& device);

// Takes the sections of a combined PIC image (file byte order) into the model:
// - data EEPROM from eepromHexAddress into buffer 1 (dataSize bytes; below 16-bit cores each
//   EEPROM byte is the low byte of a 16-bit word of the file);
// - configuration memory from idHexAddress into buffer 2: 2 x configMemoryWords bytes, each word
//   turned high byte first (16-bit cores: bytes copied in address order);
// - the configuration word, configBytes bytes from configHexAddress, into the model's
//   configuration word in file order, when the image reaches it.
// Bytes the image does not hold read as 0xFF. Does nothing for a device without a descriptor.
void SplitCombinedImage(CBufferModel& model, const std::vector<std::uint8_t>& image, const CBufferDeviceParams& device);

// A piece of a combined image at a file byte address.
struct ImageSection {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

// The sections a save of a PIC main buffer writes, in file byte order: the program memory (the
// main buffer, words back to low byte first), the ID locations (the first 8 bytes of buffer 2,
// words back to file order), the configuration word and the data EEPROM.
std::vector<ImageSection> CombinedImageSections(const CBufferModel& model, const CBufferDeviceParams& device);

} // namespace buffer

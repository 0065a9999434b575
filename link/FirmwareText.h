#pragma once
// Firmware as the back ends download it: the HEX text of a "DATAF" resource or a file with the
// storage transform undone, checked by the strict HEX parser, and cut into the blocks that vendor
// request 0xA0 writes into the 8051's RAM.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CFirmwareText {
public:
    // One 0xA0 write: consecutive data joined while the block stays below `maxBlock` bytes.
    struct Block {
        std::uint16_t address = 0;
        std::vector<std::uint8_t> data;
    };
    struct Plan {
        bool ok = false;
        std::string error; // the parser's text when !ok
        std::vector<Block> blocks; // all below the RAM limit
        std::size_t skipped = 0; // data bytes at or above the limit, not written
    };

    enum class FileKind { Hex, Enc, Other };

    // Image `number` as the resources store it (transformed); nullopt when there is none.
    static std::optional<std::string> StoredResource(int number);
    // Image `number` as HEX text; nullopt when there is none.
    static std::optional<std::string> FromResource(int number);
    // HEX text from transformed bytes (a resource, an ".enc" file, a class file's payload).
    static std::string FromStored(const std::uint8_t* data, std::size_t size);

    // ".hex" and ".enc" by extension, case aside.
    static FileKind KindOf(const std::string& path);
    // The whole file; nullopt when it cannot be read or exceeds 1 MiB.
    static std::optional<std::string> ReadFile(const std::string& path);

    // Data records of `text` (base records honoured), joined into blocks of at most `maxBlock`
    // bytes, every byte at or above `limit` dropped. Any parse error fails the whole plan.
    static Plan MakePlan(const std::string& text, std::uint32_t limit, std::size_t maxBlock = 4095);
};

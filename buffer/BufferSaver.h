#pragma once
// Saving a buffer as binary, Intel HEX or S-records, chosen by the file's extension. The file is
// written through QSaveFile: a failed save leaves the old file in place.

#include "buffer/BufferModel.h"
#include "buffer/BufferTexts.h"
#include "buffer/BufferTypes.h"
#include "buffer/FileFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace buffer {

struct SaveOptions {
    std::string pattern; // a format pattern or filter text; empty: the extension decides
    bool confirmedIncomplete = false; // the user answered Yes to kIncompleteQuestion
};

struct SaveResult {
    bool saved = false;
    bool needsConfirmation = false; // ask kIncompleteQuestion, then save again with confirmedIncomplete
    FileFormat format = FileFormat::Binary;
    std::vector<std::string> log;
    std::vector<BoxMessage> boxes;
};

// The format a file name's extension names, by the one list kFormatExtensions (FileFormat.h):
// ".hex" Intel HEX; ".s", ".mot", ".srec", ".s19", ".s28", ".s37" S-records; ".bin" binary;
// letter case ignored. None for any other extension or none at all.
std::optional<FileFormat> SaveFormatOfExtension(const std::string& path);

// The format a save uses: by pattern when given, else by the extension (anything it does not
// name is binary).
FileFormat SaveFormatFor(const std::string& path, const std::string& pattern);

// The format's name in the save's log line: "Binary", "Intel HEX", "Motorola S-record".
const char* SaveFormatName(FileFormat format);

// The text or bytes of a buffer in a format. A PIC main buffer in Intel HEX is written as its
// combined image (program memory words back to low byte first, ID locations, configuration word,
// data EEPROM at their file addresses, extended linear records); any other buffer in the segment
// form below 1 MB and the linear form from 1 MB on.
std::string FormatBuffer(
    const CBufferModel& model, int bufferIndex, FileFormat format, const CBufferDeviceParams& device);

// Saves the buffer; a saved buffer is no longer marked modified.
SaveResult SaveBuffer(CBufferModel& model, int bufferIndex, const std::string& path, const CBufferDeviceParams& device,
    const SaveOptions& options = {});

} // namespace buffer

#pragma once
// Loading files into the buffers. Every entry point returns what the view must do afterwards
// (log lines, boxes, title, recent-file entry) instead of doing it; a load that fails leaves the
// buffers as they were, and a load whose reader refused records changes nothing until the
// view's question is answered. Files are read in blocks and parsed in place.

#include "buffer/BufferModel.h"
#include "buffer/BufferTypes.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/RecordImage.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace buffer {

// What a load needs of the view besides the model.
struct LoadRequest {
    CBufferDeviceParams device;
    int bufferIndex = kMainBuffer; // the view's current buffer
    std::string fileOffsetText; // the header pane's "File Offset(Hex)" text
    bool lookupOpenedFile = true; // take the remembered options of the file (LoadFile only)
    ProgressFn progress; // progress of a HEX or S-record read (caption: language text 75)
};

struct StagedLoad;

struct LoadResult {
    bool readOk = false; // the file's data went into the buffers (with problems: after Yes)
    std::array<bool, kBufferCount> changed {}; // buffers replaced
    bool configWordChanged = false;
    std::vector<std::string> log; // message-log lines, without line ends
    std::vector<BoxMessage> boxes; // to show in order
    std::string offsetText; // to write back into the header pane's file-offset field; empty: keep it
    std::string title; // new main-window title; empty: keep it
    bool addToRecent = false; // add `path` to the recent-file list
    bool showChecksum = false; // redisplay the current tab with its checksum
    bool compileSource = false; // a JAM or STAPL source: the view runs the configured compiler
    std::string path; // the path that was loaded

    // Records the reader refused: their count and the first kKeptProblems of them.
    int problemCount = 0;
    std::vector<ReadProblem> problems;
    // Records were refused and nothing has changed yet: show `boxes`, ask `question` (Yes/No),
    // then call KeepReadData on Yes and DeclineReadData on No (or without a person to ask).
    bool needsConfirmation = false;
    std::string question;
    std::shared_ptr<StagedLoad> staged; // what Yes puts into the buffers

    bool AnyChanged() const { return changed[0] || changed[1] || changed[2] || configWordChanged; }
};

// Yes to a load's question: the records that could be read go into the buffers, the holes keep
// the fill byte, and the buffers are marked incomplete (Save asks before writing them). Returns
// what the view does next, as after a load without problems.
LoadResult KeepReadData(CBufferModel& model, LoadResult& pending);
// No: nothing changes; the result's log says why.
LoadResult DeclineReadData(LoadResult& pending);

// The whole load of a file into the current buffer with its remembered options: the warning
// without a device, the opened-file lookup, fill byte and read mode, the reader by buffer (a PIC
// image into all of them, then the masks), the log line.
LoadResult LoadFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request);

// The main (code) buffer: reader by pattern, file offset, fit to the device, read mode.
LoadResult ReadMainBufferFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request);

// The data (EEPROM) buffer: gaps 0xFF, a positive offset moves the contents up, no read mode.
LoadResult ReadDataBufferFile(
    CBufferModel& model, const std::string& path, const std::string& pattern, const LoadRequest& request);

// Moves the image by k bytes: k <= 0 drops the first -k bytes (k <= -size leaves it empty), k > 0
// puts k fill bytes in front. False (image unchanged) when the result would exceed `limit`.
bool ApplyFileOffset(std::vector<std::uint8_t>& image, int k, std::uint8_t fill, std::size_t limit);

// Read modes 0..8: keeps the first i0 bytes' places at the fill byte and takes every second or
// fourth byte (or pair) from i0 on. Mode 1 keeps the size when a device is selected. Other modes
// leave the image as it is.
void ApplyReadMode(std::vector<std::uint8_t>& image, int mode, int i0, std::uint8_t fill, bool deviceSelected);

// Masks a PIC buffer by the core word width: kind 0 main, 2 configuration buffer (high byte of
// each word ANDed), 1 fills the data buffer with 0xFF, 3 the configuration word. Without a PIC
// descriptor the box "Internal Error! No way to mask the buffer." and nothing changes.
std::vector<BoxMessage> MaskBuffer(CBufferModel& model, int kind, const CBufferDeviceParams& device);

// The read-mode texts of modes 0 to 8 ("Normal", "Even Byte", ...).
const char* ReadModeText(int mode);

} // namespace buffer

#pragma once
// The byte-code player's texts that the language table does not hold, in one place.

#include <array>

inline constexpr const char* kPlayerBanner = "Jam STAPL ByteCode Player Version 2.2";
inline constexpr const char* kPlayerIllegalArgument = "Illegal argument: \"%s\"";
inline constexpr const char* kPlayerNoMemory = "Error: can't allocate memory (%d Kbytes)";
inline constexpr const char* kPlayerCantOpen = "Error: can't open file \"%s\"";
inline constexpr const char* kPlayerReadError = "Error reading file \"%s\"";
inline constexpr const char* kPlayerCrcMatched = "CRC matched: CRC value = %04X";
inline constexpr const char* kPlayerNotRecognised = "Error: File format is not recognized.";
inline constexpr const char* kPlayerCrcMismatch = "CRC mismatch: expected %04X, actual %04X";
inline constexpr const char* kPlayerFileFormat = "File format is %s ByteCode format";
inline constexpr const char* kPlayerStaplFormat = "Jam STAPL";
inline constexpr const char* kPlayerJam11Format = "pre-standardized Jam 1.1";
inline constexpr const char* kPlayerNote = "NOTE \"%s\" = \"%s\"";
inline constexpr const char* kPlayerActionsHeading = "Actions available in this file:";
inline constexpr const char* kPlayerActionWithDescription = "%s \"%s\"";
inline constexpr const char* kPlayerProcedure = "    %s (%s)";
inline constexpr const char* kPlayerOptional = "optional";
inline constexpr const char* kPlayerRecommended = "recommended";
inline constexpr const char* kPlayerActionNotSupported
    = "Error: action \"%s\" is not supported for this Jam STAPL file.\nProgram terminated.";
inline constexpr const char* kPlayerNoAction = "Error: no action specified for Jam STAPL file.\nProgram terminated.";
inline constexpr const char* kPlayerErrorAt = "Error at address %ld: %s.\nProgram terminated.";
inline constexpr const char* kPlayerUnknownError = "Unknown error code %ld";
inline constexpr const char* kPlayerExitCode = "Exit code = %d... %s";
inline constexpr const char* kPlayerUnknownExit = "Unknown exit code";
inline constexpr const char* kPlayerElapsed = "Elapsed time = %02u:%02u:%02u";
inline constexpr const char* kPlayerForeignImage
    = "Error: this byte-code file was made for another player and cannot run here (it lacks the note "
      "TONRIG_BYTECODE = \"1\").\nProgram terminated.";

// Result codes 0 to 24.
inline constexpr std::array<const char*, 25> kPlayerErrorTexts = {
    "success",
    "out of memory",
    "file access error",
    "syntax error",
    "unexpected end of file",
    "undefined symbol",
    "redefined symbol",
    "integer overflow",
    "divide by zero",
    "CRC mismatch",
    "internal error",
    "bounds error",
    "type mismatch",
    "assignment to constant",
    "NEXT unexpected",
    "POP unexpected",
    "RETURN unexpected",
    "illegal symbol name",
    "vector signal name not found",
    "execution cancelled",
    "stack overflow",
    "illegal instruction code",
    "phase error",
    "scope error",
    "action not found",
};

// Exit codes of STAPL programs.
inline constexpr std::array<const char*, 18> kPlayerStaplExitTexts = {
    "Success",
    "Checking chain failure",
    "Reading IDCODE failure",
    "Reading USERCODE failure",
    "Reading UESCODE failure",
    "Entering ISP failure",
    "Unrecognized device",
    "Device revision is not supported",
    "Erase failure",
    "Device is not blank",
    "Device programming failure",
    "Device verify failure",
    "Read failure",
    "Calculating checksum failure",
    "Setting security bit failure",
    "Querying security bit failure",
    "Exiting ISP failure",
    "Performing system test failure",
};

// Exit codes of Jam 1.1 programs.
inline constexpr std::array<const char*, 8> kPlayerJam11ExitTexts = {
    "Success",
    "Illegal initialization values",
    "Unrecognized device",
    "Device revision is not supported",
    "Device programming failure",
    "Device is not blank",
    "Device verify failure",
    "SRAM configuration failure",
};

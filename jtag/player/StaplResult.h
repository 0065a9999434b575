#pragma once
// The player's result codes: what a run or one of its steps ends with. kPlayerErrorTexts in
// PlayerTexts.h holds their texts by number.

namespace bytecode {

enum StaplResult : int {
    kOk = 0,
    kOutOfMemory = 1,
    kSyntaxError = 3,
    kEndOfFile = 4,
    kUndefinedSymbol = 5,
    kRedefinedSymbol = 6,
    kOverflow = 7,
    kDivideByZero = 8,
    kInternalError = 10,
    kBoundsError = 11,
    kTypeMismatch = 12,
    kConstant = 13,
    kNextUnexpected = 14,
    kPopUnexpected = 15,
    kReturnUnexpected = 16,
    kIllegalName = 17,
    kCancelled = 19,
    kStackOverflow = 20,
    kIllegalInstruction = 21,
    kActionNotFound = 24,
};

} // namespace bytecode

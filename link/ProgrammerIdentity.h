#pragma once
// Who the programmer is: one blocking call for the view's identification worker. It loads the
// firmware, asks the version, the serial number and the usage history, and returns them as a
// value. It sets no global and touches no widget: the view applies the result on the GUI thread.

#include "link/BlackBox.h"
#include "link/ProgrammerModel.h"

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

class CProgrammerLink;

struct ProgrammerIdentity {
    bool ok = false;
    std::string failure; // one English line for the log; "stopped" after a stop request
    std::string version; // "ZV-CQ Re-2.00"
    int model = kModelZvC; // also when the text names no model we know
    std::string serial; // up to 10 characters, upper case; empty when not answered
    CBlackBox history; // empty when not read or rejected
    std::vector<std::string> log; // lines for the log about what is missing or unknown
};

// The part of the link identification needs; the program's link is adapted to it.
class IdentifyLink {
public:
    enum class Load { Loaded, NoProgrammer, Failed };

    virtual ~IdentifyLink() = default;
    virtual Load LoadFirmwareIfReady(int number) = 0;
    // A packet and its reply with no transfer between; the count read. The reply is waited for at
    // most `timeoutMs` and no longer than until `stop` is requested.
    virtual int Exchange(
        const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs, std::stop_token stop)
        = 0;
};

constexpr int kIdentifyFirmware = 355;
constexpr int kIdentifyReplyTimeoutMs = 2000;

// The model code of a version text: the longest model name it begins with; 0 when none.
int ProgrammerModelOfVersion(const std::string& version);

ProgrammerIdentity IdentifyProgrammer(IdentifyLink& link, std::stop_token stop = {});
ProgrammerIdentity IdentifyProgrammer(CProgrammerLink& link, std::stop_token stop = {});

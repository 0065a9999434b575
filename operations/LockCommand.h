#pragma once
// Lock without widgets: what locking means for the selected device (PlanLock), the exchange with
// the programmer (RunLockDevice, on the worker) and the lines and boxes of its end.
//
// A 1-Wire chip has nothing to lock: Lock reads its 64-bit ROM instead. An AT34C02 sets its
// permanent write protection, asked first when a user gave the command. Other devices take the
// lock level of their lock text ("2" or "3").

#include "catalogue/DeviceClass.h"
#include "operations/OperationFlow.h"
#include "operations/StepExchange.h"

#include <cstdint>
#include <span>
#include <string>

enum class LockAction {
    ReadRom, // 1-Wire: P_SIGNATURE, the 8-byte ROM
    Protect, // AT34C02: P_SET_LOCK level 1, for good
    SetLevel, // P_SET_LOCK with the lock text's level
    NotSupported,
};

struct LockPlan {
    LockAction action = LockAction::NotSupported;
    std::uint8_t level = 0; // of P_SET_LOCK
    bool ask = false; // the Yes/No question (LockQuestion) first
    bool unattended = false; // a batch or a script: a device without a lock is only logged
};

// `unattended`: a batch or a script runs the lock, so nobody is asked.
LockPlan PlanLock(const CDeviceClass& device, int classIndex, bool unattended);

inline bool IsOneWireClass(int classIndex)
{
    return classIndex == 308 || classIndex == 309;
}

// The question before the permanent protection, captioned text 24.
std::string LockQuestion();
std::string LockQuestionCaption();

// How a lock ended: a line for the log when not empty, and a box when its text is not empty.
struct LockDeviceResult {
    StepKind kind = StepKind::Done;
    std::string line;
    std::string boxText;
    std::string boxCaption;
};

// "64 bits ROM: " and the eight bytes in upper-case hex.
std::string RomText(std::span<const std::uint8_t> rom);

LockDeviceResult ReadLockReply(const LockPlan& plan, const ExchangeResult& exchange);

// The worker's part; nothing is sent for a device that cannot be locked.
LockDeviceResult RunLockDevice(ExchangeLink& link, const LockPlan& plan);

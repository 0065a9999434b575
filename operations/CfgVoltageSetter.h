#pragma once
// The data pump's voltages in the program: the device's Vcc and Vpp switch
// bytes, then the operation's supply and programming voltages, through
// g_CFGManager in one refresh.

#include "operations/OperationPump.h"

class CfgVoltageSetter final : public PumpVoltageSetter {
public:
    void SetVoltages(const PumpVoltages& voltages) override;
};

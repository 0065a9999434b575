
#include "operations/CfgVoltageSetter.h"

#include "link/CFGManager.h"

void CfgVoltageSetter::SetVoltages(const PumpVoltages& v)
{
    CCFG_Manager::DeferRefresh once(g_CFGManager);
    g_CFGManager.SetVccSwitch(v.vccSwitch);
    g_CFGManager.SetVppSwitch(v.vppSwitch);
    g_CFGManager.SetVccVpp(v.vcc, v.vpp);
}

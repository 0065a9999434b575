#include "operations/DeviceSwitches.h"

#include "link/CFGManager.h"

void ApplyDeviceSwitches(CCFG_Manager& manager, const CDeviceClass& device)
{
    // The scope's end is the one RefreshCFG: the socket sees the device's bytes at once, not
    // eight intermediate states.
    CCFG_Manager::DeferRefresh defer(manager);
    manager.SetVccSwitch(device.m_nVccSwitch);
    manager.SetVppSwitch(device.m_nVppSwitch);
    // Switch A first: the pin pattern ORs its last four characters into it.
    manager.SetSwitchA(device.m_nSwitchA);
    manager.SetCPLD_DIP(device.m_strCpldDip);
    manager.SetGNDSwitch(device.m_nGndSwitch);
    manager.SetZIF48_U9_Byte(device.m_nZif48U9);
    manager.SetZIF48_CFG_Byte(device.m_nZif48Cfg);
    if (device.m_nVccAdjust >= 1 && device.m_nVccAdjust <= 254)
        manager.SetVccAdjustQ8U(device.m_nVccAdjust);
}

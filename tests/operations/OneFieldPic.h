#pragma once
// A PIC18 of class 321 whose description file, written into the data folder as `<name>.dev`,
// gives one word with one field (FOSC: HS or RC), loaded and shown in the configuration grid.

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <string>

namespace tonrig::test {

inline void SetUpOneFieldPic(CTonrigView& view, const std::string& name)
{
    const QString devices = QString::fromStdString(GetAppDataFolder() + "/devices");
    QDir().mkpath(devices);
    QFile file(devices + "/" + QString::fromStdString(name) + ".dev");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("cfgmem (region=0x300000-0x30000D)\n"
               "cfgbits (key=CONFIG1H addr=0x300001 unused=0x0)\n"
               "field (key=FOSC mask=0xF desc=\"Oscillator\" init=0x2)\n"
               "setting (req=0xF value=0x2 desc=\"HS\")\n"
               "setting (req=0xF value=0x7 desc=\"RC\")\n");
    file.close();
    InitDeviceClassTable();
    g_nCurrentClass = 321;
    g_CurrentDevice = g_DeviceClassTable[321];
    g_CurrentDevice.m_strName = name;
    ASSERT_NE(g_CurrentDevice.m_pPicConfig, nullptr);
    view.DeviceSetupOwner().LoadDeviceFile();
    view.DeviceSetupOwner().FillGrid();
}

} // namespace tonrig::test

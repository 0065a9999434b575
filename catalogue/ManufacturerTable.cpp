// The manufacturer table of chip-ID decoding: the JEDEC JEP106 identification codes of banks 1 to
// 4, in the edition whose bank 4 ends at C8 (catalogue/SOURCES.md). The names are data; the codes
// of the standard rows follow from bank and index.

#include "catalogue/DeviceIdDecoder.h"

#include <array>
#include <bit>
#include <cstdio>

namespace {

// 126 names, index 1 first.
constexpr std::array<const char*, 126> kBank1 = {
    "AMD", // 01
    "AMI", // 02
    "Fairchild", // 83
    "Fujitsu", // 04
    "GTE", // 85
    "Harris", // 86
    "Hitachi", // 07
    "Inmos", // 08
    "Intel", // 89
    "I.T.T.", // 8A
    "Intersil", // 0B
    "Monolithic Memories", // 8C
    "Mostek", // 0D
    "Motorola", // 0E
    "National", // 8F
    "NEC", // 10
    "RCA", // 91
    "Raytheon", // 92
    "Conexant (Rockwell)", // 13
    "Seeq", // 94
    "Philips Semi. (Signetics)", // 15
    "Synertek", // 16
    "Texas Instruments", // 97
    "Toshiba", // 98
    "Xicor", // 19
    "Zilog", // 1A
    "Eurotechnique", // 9B
    "Mitsubishi", // 1C
    "Lucent (AT&T)", // 9D
    "Exel", // 9E
    "Atmel", // 1F
    "ST Micro", // 20
    "Lattice Semi.", // A1
    "NCR", // A2
    "Wafer Scale Integration", // 23
    "IBM", // A4
    "Tristar", // 25
    "Visic", // 26
    "Intl. CMOS Technology", // A7
    "SSSI", // A8
    "MicrochipTechnology", // 29
    "Ricoh Ltd.", // 2A
    "VLSI", // AB
    "Micron Technology", // 2C
    "Hynix", // AD
    "OKI Semiconductor", // AE
    "ACTEL", // 2F
    "Sharp", // B0
    "Catalyst", // 31
    "Panasonic", // 32
    "IDT", // B3
    "Cypress", // 34
    "DEC", // B5
    "LSI Logic", // B6
    "Zarlink (Plessey)", // 37
    "UTMC", // 38
    "Thinking Machine", // B9
    "Thomson CSF", // BA
    "Integrated CMOS (Vertex)", // 3B
    "Honeywell", // BC
    "Tektronix", // 3D
    "Sun Microsystems", // 3E
    "SST", // BF
    "ProMos/Mosel Vitelic", // 40
    "Infineon (Siemens)", // C1
    "Macronix", // C2
    "Xerox", // 43
    "Plus Logic", // C4
    "SunDisk", // 45
    "Elan Circuit Tech.", // 46
    "European Silicon Str.", // C7
    "Apple Computer", // C8
    "Xilinx", // 49
    "Compaq", // 4A
    "Protocol Engines", // CB
    "SCI", // 4C
    "Seiko Instruments", // CD
    "Samsung", // CE
    "I3 Design System", // 4F
    "Klic", // D0
    "Crosspoint Solutions", // 51
    "Alliance Semiconductor", // 52
    "Tandem", // D3
    "Hewlett-Packard", // 54
    "Intg. Silicon Solutions", // D5
    "Brooktree", // D6
    "New Media", // 57
    "MHS Electronic", // 58
    "Performance Semi.", // D9
    "Winbond Electronic", // DA
    "Kawasaki Steel", // 5B
    "Bright Micro", // DC
    "TECMAR", // 5D
    "Exar", // 5E
    "PCMCIA", // DF
    "LG Semi (Goldstar)", // E0
    "Northern Telecom", // 61
    "Sanyo", // 62
    "Array Microsystems", // E3
    "Crystal Semiconductor", // 64
    "Analog Devices", // E5
    "PMC-Sierra", // E6
    "Asparix", // 67
    "Convex Computer", // 68
    "Quality Semiconductor", // E9
    "Nimbus Technology", // EA
    "Transwitch", // 6B
    "Micronas (ITT Intermetall)", // EC
    "Cannon", // 6D
    "Altera", // 6E
    "NEXCOM", // EF
    "QUALCOMM", // 70
    "Sony", // F1
    "Cray Research", // F2
    "AMS(Austria Micro)", // 73
    "Vitesse", // F4
    "Aster Electronics", // 75
    "Bay Networks (Synoptic)", // 76
    "Zentrum/ZMD", // F7
    "TRW", // F8
    "Thesys", // 79
    "Solbourne Computer", // 7A
    "Allied-Signal", // FB
    "Dialog", // 7C
    "Media Vision", // FD
    "Level One", // FE
};

// 126 names, index 1 first.
constexpr std::array<const char*, 126> kBank2 = {
    "Cirrus Logic", // 01
    "National Instruments", // 02
    "ILC Data Device", // 83
    "Alcatel Mietec", // 04
    "Micro Linear", // 85
    "Univ. of NC", // 86
    "JTAG Technologies", // 07
    "BAE Systems (Loral)", // 08
    "Nchip", // 89
    "Galileo Tech", // 8A
    "Bestlink Systems", // 0B
    "Graychip", // 8C
    "GENNUM", // 0D
    "VideoLogic", // 0E
    "Robert Bosch", // 8F
    "Chip Express", // 10
    "DATARAM", // 91
    "United Microelectronics Corp.", // 92
    "TCSI", // 13
    "Smart Modular", // 94
    "Hughes Aircraft", // 15
    "Lanstar Semiconductor", // 16
    "Qlogic", // 97
    "Kingston", // 98
    "Music Semi", // 19
    "Ericsson Components", // 1A
    "SpaSE", // 9B
    "Eon Silicon Devices", // 1C
    "Programmable Micro Corp", // 9D
    "DoD", // 9E
    "Integ. Memories Tech.", // 1F
    "Corollary Inc.", // 20
    "Dallas Semiconductor", // A1
    "Omnivision", // A2
    "EIV(Switzerland)", // 23
    "Novatel Wireless", // A4
    "Zarlink (Mitel)", // 25
    "Clearpoint", // 26
    "Cabletron", // A7
    "STEC (Silicon Tech)", // A8
    "Vanguard", // 29
    "Hagiwara Sys-Com", // 2A
    "Vantis", // AB
    "Celestica", // 2C
    "Century", // AD
    "Hal Computers", // AE
    "Rohm Company Ltd.", // 2F
    "Juniper Networks", // B0
    "Libit Signal Processing", // 31
    "Mushkin Enhanced Memory", // 32
    "Tundra Semiconductor", // B3
    "Adaptec Inc.", // 34
    "LightSpeed Semi.", // B5
    "ZSP Corp.", // B6
    "AMIC Technology", // 37
    "Adobe Systems", // 38
    "Dynachip", // B9
    "PNY Electronics", // BA
    "Newport Digital", // 3B
    "MMC Networks", // BC
    "T Square", // 3D
    "Seiko Epson", // 3E
    "Broadcom", // BF
    "Viking Components", // 40
    "V3 Semiconductor", // C1
    "Flextronics (Orbit Semiconductor)", // C2
    "Suwa Electronics", // 43
    "Transmeta", // C4
    "Micron CMS", // 45
    "American Computer & Digital Components Inc.", // 46
    "Enhance 3000 Inc.", // C7
    "Tower Semiconductor", // C8
    "CPU Design", // 49
    "Price Point", // 4A
    "Maxim Integrated Product", // CB
    "Tellabs", // 4C
    "Centaur Technology", // CD
    "Unigen Corporation", // CE
    "Transcend Information", // 4F
    "Memory Card Technology", // D0
    "CKD Corporation Ltd.", // 51
    "Capital Instruments, Inc.", // 52
    "Aica Kogyo, Ltd.", // D3
    "Linvex Technology", // 54
    "MSC Vertriebs GmbH", // D5
    "AKM Company, Ltd.", // D6
    "Dynamem, Inc.", // 57
    "NERA ASA", // 58
    "GSI Technology", // D9
    "Dane-Elec (C Memory)", // DA
    "Acorn Computers", // 5B
    "Lara Technology", // DC
    "Oak Technology, Inc.", // 5D
    "Itec Memory", // 5E
    "Tanisys Technology", // DF
    "Truevision", // E0
    "Wintec Industries", // 61
    "Super PC Memory", // 62
    "MGV Memory", // E3
    "Galvantech", // 64
    "Gadzoox Networks", // E5
    "Multi Dimensional Cons.", // E6
    "GateField", // 67
    "Integrated Memory System", // 68
    "Triscend", // E9
    "XaQti", // EA
    "Goldenram", // 6B
    "Clear Logic", // EC
    "Cimaron Communications", // 6D
    "Nippon Steel Semi. Corp.", // 6E
    "Advantage Memory", // EF
    "AMCC", // 70
    "LeCroy", // F1
    "Yamaha Corporation", // F2
    "Digital Microwave", // 73
    "NetLogic Microsystems", // F4
    "MIMOS Semiconductor", // 75
    "Advanced Fibre", // 76
    "BF Goodrich Data.", // F7
    "Epigram", // F8
    "Acbel Polytech Inc.", // 79
    "Apacer Technology", // 7A
    "Admor Memory", // FB
    "FOXCONN", // 7C
    "Quadratics Superconductor", // FD
    "3COM", // FE
};

// 126 names, index 1 first.
constexpr std::array<const char*, 126> kBank3 = {
    "Camintonn Corporation", // 01
    "ISOA Incorporated", // 02
    "Agate Semiconductor", // 83
    "ADMtek Incorporated", // 04
    "HYPERTEC", // 85
    "Adhoc Technologies", // 86
    "MOSAID Technologies", // 07
    "Ardent Technologies", // 08
    "Switchcore", // 89
    "Cisco Systems, Inc.", // 8A
    "Allayer Technologies", // 0B
    "WorkX AG", // 8C
    "Oasis Semiconductor", // 0D
    "Novanet Semiconductor", // 0E
    "E-M Solutions", // 8F
    "Power General", // 10
    "Advanced Hardware Arch.", // 91
    "Inova Semiconductors GmbH", // 92
    "Telocity", // 13
    "Delkin Devices", // 94
    "Symagery Microsystems", // 15
    "C-Port Corporation", // 16
    "SiberCore Technologies", // 97
    "Southland Microsystems", // 98
    "Malleable Technologies", // 19
    "Kendin Communications", // 1A
    "Great Technology Microcomputer", // 9B
    "Sanmina Corporation", // 1C
    "HADCO Corporation", // 9D
    "Corsair", // 9E
    "Actrans System Inc.", // 1F
    "ALPHA Technologies", // 20
    "Silicon Laboratories, Inc. (Cygnal)", // A1
    "Artesyn Technologies", // A2
    "Align Manufacturing", // 23
    "Peregrine Semiconductor", // A4
    "Chameleon Systems", // 25
    "Aplus Flash Technology", // 26
    "MIPS Technologies", // A7
    "Chrysalis ITS", // A8
    "ADTEC Corporation", // 29
    "Kentron Technologies", // 2A
    "Win Technologies", // AB
    "Tachyon Semiconductor", // 2C
    "Extreme Packet Devices", // AD
    "RF Micro Devices", // AE
    "Siemens AG", // 2F
    "Sarnoff Corporation", // B0
    "Itautec Philco SA", // 31
    "Radiata Inc.", // 32
    "Benchmark Elect. (AVEX)", // B3
    "Legend", // 34
    "SpecTek Incorporated", // B5
    "Hi/fn", // B6
    "Enikia Incorporated", // 37
    "SwitchOn Networks", // 38
    "AANetcom Incorporated", // B9
    "Micro Memory Bank", // BA
    "ESS Technology", // 3B
    "Virata Corporation", // BC
    "Excess Bandwidth", // 3D
    "West Bay Semiconductor", // 3E
    "DSP Group", // BF
    "Newport Communications", // 40
    "Chip2Chip Incorporated", // C1
    "Phobos Corporation", // C2
    "Intellitech Corporation", // 43
    "Nordic VLSI ASA", // C4
    "Ishoni Networks", // 45
    "Silicon Spice", // 46
    "Alchemy Semiconductor", // C7
    "Agilent Technologies", // C8
    "Centillium Communications", // 49
    "W.L. Gore", // 4A
    "HanBit Electronics", // CB
    "GlobeSpan", // 4C
    "Element 14", // CD
    "Pycon", // CE
    "Saifun Semiconductors", // 4F
    "Sibyte, Incorporated", // D0
    "MetaLink Technologies", // 51
    "Feiya Technology", // 52
    "I & C Technology", // D3
    "Shikatronics", // 54
    "Elektrobit", // D5
    "Megic", // D6
    "Com-Tier", // 57
    "Malaysia Micro Solutions", // 58
    "Hyperchip", // D9
    "Gemstone Communications", // DA
    "Anadigm (Anadyne)", // 5B
    "3ParData", // DC
    "Mellanox Technologies", // 5D
    "Tenx Technologies", // 5E
    "Helix AG", // DF
    "Domosys", // E0
    "Skyup Technology", // 61
    "HiNT Corporation", // 62
    "Chiaro", // E3
    "MDT Technologies GmbH", // 64
    "Exbit Technology A/S", // E5
    "Integrated Technology Express", // E6
    "AVED Memory", // 67
    "Legerity", // 68
    "Jasmine Networks", // E9
    "Caspian Networks", // EA
    "nCUBE", // 6B
    "Silicon Access Networks", // EC
    "FDK Corporation", // 6D
    "High Bandwidth Access", // 6E
    "MultiLink Technology", // EF
    "BRECIS", // 70
    "World Wide Packets", // F1
    "APW", // F2
    "Chicory Systems", // 73
    "Xstream Logic", // F4
    "Fast-Chip", // 75
    "Zucotto Wireless", // 76
    "Realchip", // F7
    "Galaxy Power", // F8
    "eSilicon", // 79
    "Morphics Technology", // 7A
    "Accelerant Networks", // FB
    "Silicon Wave", // 7C
    "SandCraft", // FD
    "Elpida", // FE
};

// 72 names, index 1 first.
constexpr std::array<const char*, 72> kBank4 = {
    "Solectron", // 01
    "Optosys Technologies", // 02
    "Buffalo (Formerly Melco)", // 83
    "TriMedia Technologies", // 04
    "Cyan Technologies", // 85
    "Global Locate", // 86
    "Optillion", // 07
    "Terago Communications", // 08
    "Ikanos Communications", // 89
    "Princeton Technology", // 8A
    "Nanya Technology", // 0B
    "Elite Flash Storage", // 8C
    "Mysticom", // 0D
    "LightSand Communications", // 0E
    "ATI Technologies", // 8F
    "Agere Systems", // 10
    "NeoMagic", // 91
    "AuroraNetics", // 92
    "Golden Empire", // 13
    "Mushkin", // 94
    "Tioga Technologies", // 15
    "Netlist", // 16
    "TeraLogic", // 97
    "Cicada Semiconductor", // 98
    "Centon Electronics", // 19
    "Tyco Electronics", // 1A
    "Magis Works", // 9B
    "Zettacom", // 1C
    "Cogency Semiconductor", // 9D
    "Chipcon AS", // 9E
    "Aspex Technology", // 1F
    "F5 Networks", // 20
    "Programmable Silicon Solutions", // A1
    "ChipWrights", // A2
    "Acorn Networks", // 23
    "Quicklogic", // A4
    "Kingmax Semiconductor", // 25
    "BOPS", // 26
    "Flasys", // A7
    "BitBlitz Communications", // A8
    "eMemory Technology", // 29
    "Procket Networks", // 2A
    "Purple Ray", // AB
    "Trebia Networks", // 2C
    "Delta Electronics", // AD
    "Onex Communications", // AE
    "Ample Communications", // 2F
    "Memory Experts Intl", // B0
    "Astute Networks", // 31
    "Azanda Network Devices", // 32
    "Dibcom", // B3
    "Tekmos", // 34
    "API NetWorks", // B5
    "Bay Microsystems", // B6
    "Firecron Ltd", // 37
    "Resonext Communications", // 38
    "Tachys Technologies", // B9
    "Equator Technology", // BA
    "Concept Computer", // 3B
    "SILCOM", // BC
    "3Dlabs", // 3D
    "c't Magazine", // 3E
    "Sanera Systems", // BF
    "Silicon Packets", // 40
    "Viasystems Group", // C1
    "Simtek", // C2
    "Semicon Devices Singapore", // 43
    "Satron Handelsges", // C4
    "Improv Systems", // 45
    "INDUSYS GmbH", // 46
    "Corrent", // C7
    "Infrant Technologies", // C8
};

// One "7F" for each bank before `bank` (1-based), then the index with bit 7 set where odd parity
// needs it.
std::string StandardCode(int bank, int index)
{
    std::string code;
    for (int b = 1; b < bank; ++b)
        code += "7F";
    const unsigned byte = static_cast<unsigned>(index) | (std::popcount(static_cast<unsigned>(index)) % 2 ? 0u : 0x80u);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    return code + hex;
}

template <std::size_t N>
void AddBank(std::vector<CManufacturerEntry>& rows, int bank, const std::array<const char*, N>& names)
{
    for (std::size_t i = 0; i < N; ++i) {
        const int index = static_cast<int>(i) + 1;
        // A second Atmel row at the even-parity code 1E, before the real one: IDs read with that
        // byte name Atmel too.
        if (bank == 1 && index == 0x1F)
            rows.push_back({ "Atmel", "1E", {} });
        rows.push_back({ names[i], StandardCode(bank, index), {} });
    }
}

} // namespace

std::vector<CManufacturerEntry> MakeManufacturerTable()
{
    std::vector<CManufacturerEntry> rows;
    rows.reserve(kManufacturerRows);
    // Never found: no code the decoding forms starts with "00".
    rows.push_back({ "MicrochipTechnology", "0029", {} });
    AddBank(rows, 1, kBank1);
    rows.push_back({ "Continuation Code", "7F7F", {} });
    AddBank(rows, 2, kBank2);
    AddBank(rows, 3, kBank3);
    AddBank(rows, 4, kBank4);
    return rows;
}

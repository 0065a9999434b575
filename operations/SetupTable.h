#pragma once
// What device setup loads and sends for each device class: per programmer model the CPLD
// configuration and firmware image to bring up (or the box that refuses the model), the P_DEVICE
// sub-code that picks the algorithm inside the image, and the steps some classes add after it.
// One entry per range of classes; every class not covered is refused.

#include <cstdint>
#include <span>

// Boxes of device setup. All but LoadFirmwareNow end the setup.
enum class SetupBox : std::uint8_t {
    None,
    NotSupportedYet, // "This device not supported yet."
    Error1011, // the class needs a ZV-CQ or ZV-D
    WrongProgrammer,
    NotSupportedZvcV1,
    NotSupportedZvcV1ZvB,
    LoadFirmwareNow, // the only box after which setup goes on
    UpdateSoftware, // "%s, Please update software #001", language text 50 as caption
    Number001, // "%s, #001", language text 49 as caption
    CoreWordLength, // "Fatal error, unknow CPU core word length!"
    PackageNotSupported, // "The package type is not supported!"
};

// The text of a box; for UpdateSoftware and Number001 a format taking the device name.
const char* SetupBoxText(SetupBox box);
// The language text that captions a box, or -1 for a box without caption.
int SetupBoxCaptionText(SetupBox box);

// What one programmer model does for a class: a configuration to run through the CPLD updater,
// then a firmware image to load (0 = none), or a box instead of the firmware.
struct SetupCell {
    std::int16_t configuration = 0;
    std::int16_t firmware = 0;
    SetupBox box = SetupBox::None;
};

enum class SubCodeRule : std::uint8_t {
    Minus, // class - value (never below 0)
    Fixed, // value
    NoPacket, // no P_DEVICE
    Range122, // 153 -> 8, 154 -> 30, else class - 122
};

// Steps after P_DEVICE (and the kind of row).
enum SetupExtra : std::uint16_t {
    kExtraNone = 0,
    kExtraAck = 1 << 0, // wait 50 ms, [P_ACK, sub-code], read 1 byte
    kExtraTwice = 1 << 1, // P_DEVICE sent twice
    kExtraPulseMode = 1 << 2, // [P_2051_PulseMode, mode] on a model named "ZV-C..."
    kExtraPortB = 1 << 3, // read, write 0x2D, read port B (models other than 7 and 8)
    kExtraPic = 1 << 4, // core word length and package pins
    kExtraBracket = 1 << 5, // classes 3 and 4: P_ACK 0x89, jumper, Vcc on, configuration 486, P_ACK 0x8A
    kExtraByRevision = 1 << 6, // models other than 7 and 8 pick the firmware by revision text
    kExtraRowBox = 1 << 7, // the row's box for every model, and setup ends
    kExtraJtagSocket = 1 << 8, // ZV-D without firmware to load: [P_JTAG_IO, 5, 1] after the configuration
};

struct SetupRow {
    std::int16_t first;
    std::int16_t last;
    SetupCell zvD; // model 8
    SetupCell zvCQ; // model 7
    SetupCell other; // models 2, 4, 5
    SubCodeRule rule;
    std::int16_t value;
    std::uint16_t extras;
    SetupBox rowBox = SetupBox::None; // with kExtraRowBox

    constexpr bool Has(SetupExtra e) const { return (extras & e) != 0; }
    const SetupCell& ForModel(int model) const { return model == 8 ? zvD : model == 7 ? zvCQ : other; }
};

// Every entry, in class order.
std::span<const SetupRow> SetupRows();

// The entry of a class; classes no entry covers (and indexes outside 2-325) get a row that
// refuses with NotSupportedYet.
const SetupRow& SetupRowFor(int classIndex);

// The P_DEVICE sub-code of a class by its row; -1 when the row sends no P_DEVICE.
int SetupSubCode(const SetupRow& row, int classIndex);

// Firmware for classes 67-89 on models other than 7 and 8, by the programmer's version text
// ("ZV-B Re-1.20") and model; 0 when the programmer needs newer software.
int FirmwareByRevision(const char* versionText, int model);

// The configuration that classes 3 and 4 run after switching Vcc on.
constexpr int kBracketConfiguration = 486;
// The image that carries the firmware-id probe and every class file's neighbour.
constexpr int kBaseFirmware = 355;

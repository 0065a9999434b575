#include "operations/SetupTable.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr SetupCell None {};
constexpr SetupCell Cf(int configuration, int firmware)
{
    return { static_cast<std::int16_t>(configuration), static_cast<std::int16_t>(firmware), SetupBox::None };
}
constexpr SetupCell Fw(int firmware)
{
    return Cf(0, firmware);
}
constexpr SetupCell Bx(SetupBox box, int configuration = 0)
{
    return { static_cast<std::int16_t>(configuration), 0, box };
}
// The usual ZV-CQ cell: the default CPLD configuration, then the row's image.
constexpr SetupCell Q7(int firmware)
{
    return Cf(385, firmware);
}

constexpr SetupRow Row(int first, int last, SetupCell zvD, SetupCell zvCQ, SetupCell other, SubCodeRule rule, int value,
    std::uint16_t extras = kExtraNone)
{
    return { static_cast<std::int16_t>(first), static_cast<std::int16_t>(last), zvD, zvCQ, other, rule,
        static_cast<std::int16_t>(value), extras, SetupBox::None };
}
constexpr SetupRow Minus(
    int first, int last, SetupCell zvD, SetupCell zvCQ, SetupCell other, int n, std::uint16_t extras = kExtraNone)
{
    return Row(first, last, zvD, zvCQ, other, SubCodeRule::Minus, n, extras);
}
// The common shape: nothing on ZV-D, the default configuration and an image on ZV-CQ, an image on
// the others, sub-code class - first.
constexpr SetupRow Plain(int first, int last, int zvCQ, int other)
{
    return Minus(first, last, None, Q7(zvCQ), Fw(other), first);
}
constexpr SetupRow Refuse(int first, int last, SetupBox box)
{
    SetupRow r = Row(first, last, None, None, None, SubCodeRule::NoPacket, 0, kExtraRowBox);
    r.rowBox = box;
    return r;
}

using B = SetupBox;
constexpr SetupCell kZvD453 = Cf(452, 453);
constexpr SetupCell kZvD460 = Cf(452, 460);
constexpr SetupCell kZvD462 = Cf(452, 462);
constexpr SetupCell kZvD464 = Cf(463, 464);

constexpr std::array kRows {
    Row(2, 2, None, Bx(B::LoadFirmwareNow, 385), Bx(B::LoadFirmwareNow, 385), SubCodeRule::Fixed, 2),
    Minus(3, 3, Cf(482, 483), Cf(482, 483), Cf(482, 483), 3, kExtraBracket),
    Minus(4, 4, Cf(488, 483), Cf(488, 483), Cf(488, 483), 3, kExtraBracket),
    Plain(5, 7, 383, 214),
    Plain(8, 15, 382, 212),
    Minus(16, 23, kZvD464, Cf(420, 421), Bx(B::Error1011), 16),
    Refuse(24, 24, B::NotSupportedYet),
    Minus(25, 27, None, Cf(466, 467), Fw(225), 25),
    Refuse(28, 31, B::NotSupportedYet),
    Plain(32, 39, 419, 295),
    Row(40, 40, kZvD453, Q7(501), Fw(171), SubCodeRule::Fixed, 2, kExtraAck),
    Minus(41, 55, kZvD453, Q7(369), Fw(171), 41, kExtraAck),
    Row(56, 56, kZvD453, Q7(369), Fw(171), SubCodeRule::NoPacket, 0),
    Row(57, 57, kZvD453, Q7(494), Fw(322), SubCodeRule::Fixed, 12, kExtraAck),
    Plain(58, 58, 409, 245),
    Plain(59, 59, 409, 344),
    Minus(60, 66, None, Q7(427), Bx(B::NotSupportedZvcV1), 60),
    Minus(67, 89, kZvD462, Q7(366), None, 67, kExtraByRevision | kExtraPortB),
    Refuse(90, 90, B::UpdateSoftware),
    Minus(91, 91, kZvD462, Q7(503), Bx(B::Number001), 91),
    Minus(92, 92, kZvD462, Q7(504), Bx(B::Number001), 92),
    Minus(93, 93, Cf(452, 461), Q7(423), Fw(292), 93),
    Minus(94, 107, kZvD460, Q7(379), Fw(172), 94, kExtraPulseMode),
    Minus(108, 108, None, Q7(408), Fw(335), 94),
    Row(109, 109, kZvD460, Q7(379), Fw(172), SubCodeRule::Fixed, 2),
    Row(110, 111, kZvD460, Q7(379), Fw(172), SubCodeRule::Fixed, 9),
    Plain(112, 112, 410, 323),
    Plain(113, 114, 411, 319),
    Refuse(115, 115, B::NotSupportedYet),
    Plain(116, 117, 412, 330),
    Plain(118, 121, 413, 234),
    Row(122, 154, None, Q7(360), Fw(164), SubCodeRule::Range122, 122),
    Plain(155, 155, 393, 300),
    Plain(156, 156, 416, 235),
    Row(157, 157, None, Q7(414), Fw(347), SubCodeRule::Fixed, 6),
    Row(158, 158, None, Q7(485), Fw(164), SubCodeRule::Fixed, 8),
    Plain(159, 159, 407, 164),
    Plain(160, 160, 492, 164),
    Plain(161, 168, 367, 217),
    Plain(169, 169, 368, 243),
    Minus(170, 170, None, None, None, 170),
    Plain(171, 171, 502, 217),
    Plain(172, 172, 449, 237),
    Plain(173, 173, 395, 294),
    Minus(174, 174, None, Q7(396), Fw(320), 173),
    Minus(175, 179, Cf(452, 454), Q7(356), Fw(228), 175),
    Plain(180, 180, 375, 177),
    Plain(181, 184, 505, 164),
    Refuse(185, 185, B::NotSupportedYet),
    Minus(186, 196, Cf(452, 456), Q7(357), Fw(179), 186, kExtraTwice),
    Plain(197, 202, 370, 169),
    Plain(203, 203, 378, 346),
    Plain(204, 204, 476, 346),
    Plain(205, 205, 418, 340),
    Plain(206, 217, 399, 215),
    Plain(218, 218, 400, 248),
    Plain(219, 219, 377, 254),
    Plain(220, 222, 403, 216),
    Plain(223, 224, 392, 224),
    Minus(225, 230, Cf(452, 465), Q7(391), Fw(223), 225),
    Plain(231, 233, 397, 244),
    Plain(234, 235, 394, 329),
    Plain(236, 236, 470, 470),
    Plain(237, 237, 473, 470),
    Plain(238, 242, 373, 180),
    Row(243, 252, None, Q7(398), Fw(182), SubCodeRule::Fixed, 4),
    Plain(253, 255, 401, 183),
    Plain(256, 260, 364, 238),
    Plain(261, 263, 374, 227),
    Plain(264, 275, 376, 202),
    Plain(276, 276, 380, 345),
    Refuse(277, 277, B::NotSupportedYet),
    Plain(278, 289, 365, 222),
    Plain(290, 298, 384, 236),
    Plain(299, 299, 417, 252),
    Minus(300, 300, None, Q7(381), Bx(B::WrongProgrammer), 300),
    Minus(301, 301, Cf(452, 457), Q7(404), Fw(246), 301),
    Minus(302, 302, Cf(452, 459), Q7(405), Fw(281), 302),
    Minus(303, 304, Cf(452, 458), Q7(406), Fw(313), 303),
    Minus(305, 305, None, Q7(450), Fw(313), 303),
    Minus(306, 306, kZvD464, Q7(472), Bx(B::Error1011), 306),
    Minus(307, 307, kZvD464, Cf(471, 477), Bx(B::Error1011), 307),
    // 308 - 309 would be -1; the rule never goes below 0.
    Minus(308, 308, kZvD453, Q7(489), Fw(171), 309),
    Minus(309, 309, kZvD453, Q7(491), Fw(171), 309),
    Row(310, 311, Cf(385, 0), Cf(385, 358), Cf(385, 288), SubCodeRule::NoPacket, 0, kExtraJtagSocket),
    Minus(312, 319, None, Cf(442, 388), Fw(220), 312, kExtraPic),
    Minus(320, 320, Fw(239), Fw(239), Fw(239), 320, kExtraPic),
    Minus(321, 321, None, Cf(443, 438), Fw(325), 321, kExtraPic),
    Minus(322, 322, None, Cf(443, 390), Fw(318), 321, kExtraPic),
    Minus(323, 323, None, Cf(443, 438), Fw(325), 323, kExtraPic),
    Minus(324, 324, None, Cf(442, 444), Fw(326), 324, kExtraPic),
    Minus(325, 325, None, Cf(443, 448), Bx(B::NotSupportedZvcV1ZvB), 325, kExtraPic),
};

constexpr bool InOrder()
{
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (kRows[i].first > kRows[i].last || (i && kRows[i - 1].last >= kRows[i].first))
            return false;
    }
    return kRows.front().first == 2 && kRows.back().last == 325;
}
static_assert(InOrder(), "setup rows must be disjoint and in class order");

constexpr SetupRow kUnsupported = Refuse(-1, -1, B::NotSupportedYet);

} // namespace

const char* SetupBoxText(SetupBox box)
{
    switch (box) {
    case SetupBox::None:
        return "";
    case SetupBox::NotSupportedYet:
        return "This device not supported yet.";
    case SetupBox::Error1011:
        return "Error 1011!";
    case SetupBox::WrongProgrammer:
        return "Wrong programmer!";
    case SetupBox::NotSupportedZvcV1:
        return "Not supported on ZV-C V1!";
    case SetupBox::NotSupportedZvcV1ZvB:
        return "Not supported ZV-C V1 and ZV-B!";
    case SetupBox::LoadFirmwareNow:
        return "Load firmware file now...";
    case SetupBox::UpdateSoftware:
        return "%s, Please update software #001";
    case SetupBox::Number001:
        return "%s, #001";
    case SetupBox::CoreWordLength:
        return "Fatal error, unknow CPU core word length!";
    case SetupBox::PackageNotSupported:
        return "The package type is not supported!";
    }
    return "";
}

int SetupBoxCaptionText(SetupBox box)
{
    switch (box) {
    case SetupBox::UpdateSoftware:
        return 50;
    case SetupBox::Number001:
        return 49;
    default:
        return -1;
    }
}

std::span<const SetupRow> SetupRows()
{
    return kRows;
}

const SetupRow& SetupRowFor(int classIndex)
{
    for (const SetupRow& row : kRows) {
        if (classIndex >= row.first && classIndex <= row.last)
            return row;
    }
    return kUnsupported;
}

int SetupSubCode(const SetupRow& row, int classIndex)
{
    switch (row.rule) {
    case SubCodeRule::NoPacket:
        return -1;
    case SubCodeRule::Fixed:
        return row.value;
    case SubCodeRule::Range122:
        if (classIndex == 153)
            return 8;
        if (classIndex == 154)
            return 30;
        return classIndex - 122;
    case SubCodeRule::Minus:
        return classIndex - row.value < 0 ? 0 : classIndex - row.value;
    }
    return -1;
}

int FirmwareByRevision(const char* versionText, int model)
{
    const std::string_view version = versionText ? versionText : "";
    if (version == "ZV-A Re-1.00" || version == "ZV-B Re-1.00" || version == "ZV-B Re-1.10")
        return 175;
    if (version == "ZV-B Re-1.20")
        return 284;
    if (model == 4)
        return 291;
    if (version.find("ZV-C") != std::string_view::npos)
        return 292;
    return 0;
}

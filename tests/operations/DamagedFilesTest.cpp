// Damaged data files through the view's load, as a user meets them: one good file per reader
// with one damage per row. The main HEX and S-record readers ask whether to keep what could be
// read; the PIC and data-buffer readers stop with their box. Whatever is not kept leaves buffer,
// title, file offset, recent files and checksum as they were; a load without a person never keeps.

#include "operations/ui/BufferCommands.h"

#include "buffer/BufferModel.h"
#include "buffer/IntelHex.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/SRecord.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/TextFormat.h"
#include "shell/MenuTable.h"
#include "shell/RecentFileList.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "AppViewFixture.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

constexpr int k27C256 = 130; // 32 KB EPROM
constexpr int kPic16F628A = 313;

Bytes RandomImage(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes image(size);
    for (auto& byte : image)
        byte = static_cast<std::uint8_t>(random());
    return image;
}

void WriteAll(const std::string& path, const std::string& text)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string Join(const Lines& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

Lines Split(const std::string& text)
{
    Lines lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// The good image: four 16-byte records from 0.
const Bytes kGood = RandomImage(0x40, 5);

// HEX: lines 1 to 4 the records, 5 the end record.
Lines GoodHex()
{
    std::string text;
    for (int r = 0; r < 4; ++r)
        buffer::WriteIntelHexRecord(text, 16, static_cast<std::uint16_t>(16 * r), 0, kGood.data() + 16 * r);
    buffer::WriteIntelHexEnd(text);
    return Split(text);
}

// S-records: line 1 the header, 2 to 5 the records, 6 the count, 7 the end record.
Lines GoodSRecords()
{
    std::string text;
    const std::uint8_t header[] = { 'd', 'a', 't', 'a' };
    buffer::WriteSRecord(text, 0, 0, header, 4);
    for (int r = 0; r < 4; ++r)
        buffer::WriteSRecord(text, 1, static_cast<std::uint32_t>(16 * r), kGood.data() + 16 * r, 16);
    buffer::WriteSRecord(text, 5, 4, nullptr, 0);
    buffer::WriteSRecord(text, 9, 0, nullptr, 0);
    return Split(text);
}

// A record line with its checksum made right again after an edit of its fields.
std::string Resum(std::string line, bool hex)
{
    const std::size_t from = hex ? 1 : 2;
    std::uint8_t sum = 0;
    for (std::size_t i = from; i + 2 < line.size(); i += 2)
        sum = static_cast<std::uint8_t>(sum + std::stoi(line.substr(i, 2), nullptr, 16));
    const std::uint8_t check = hex ? static_cast<std::uint8_t>(-sum) : static_cast<std::uint8_t>(~sum);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", check);
    return line.substr(0, line.size() - 2) + digits;
}

enum class Reader { MainHex, SRecord, PicHex, DataHex };

struct Damage {
    const char* name;
    // The damaged text made from the good lines; `line` is the line the damage is on.
    std::function<std::string(Lines, bool hex, int line)> make;
    std::optional<buffer::ProblemKind> kind; // none: a file without data
    bool hole = true; // the damaged record's bytes are missing when kept
    int lineShift = 0; // the first bad line relative to the damaged one
};

const Damage kDamages[] = {
    { "checksum",
        [](Lines l, bool, int n) {
            std::string& s = l[static_cast<std::size_t>(n - 1)];
            s.back() = s.back() == '0' ? '1' : '0';
            return Join(l);
        },
        buffer::ProblemKind::Checksum },
    { "cut line",
        [](Lines l, bool, int n) {
            std::string& s = l[static_cast<std::size_t>(n - 1)];
            s.resize(s.size() / 2);
            return Join(l);
        },
        buffer::ProblemKind::Length },
    { "count",
        [](Lines l, bool hex, int n) {
            std::string& s = l[static_cast<std::size_t>(n - 1)];
            s.replace(hex ? 1 : 2, 2, hex ? "11" : "14");
            return Join(l);
        },
        buffer::ProblemKind::Length },
    { "digit",
        [](Lines l, bool, int n) {
            l[static_cast<std::size_t>(n - 1)][12] = 'G';
            return Join(l);
        },
        buffer::ProblemKind::Digit },
    { "leading blank",
        [](Lines l, bool, int n) {
            l[static_cast<std::size_t>(n - 1)].insert(0, " ");
            return Join(l);
        },
        buffer::ProblemKind::NotARecord },
    { "unknown type",
        [](Lines l, bool hex, int n) {
            std::string& s = l[static_cast<std::size_t>(n - 1)];
            if (hex)
                s = Resum(s.replace(7, 2, "06"), true);
            else
                s[1] = '4';
            return Join(l);
        },
        buffer::ProblemKind::UnknownType },
    { "overlap",
        [](Lines l, bool hex, int n) {
            // Other bytes for the record before the damaged line, inserted as that line.
            std::string text;
            const Bytes other(16, 0x5A);
            if (hex)
                buffer::WriteIntelHexRecord(text, 16, 0x10, 0, other.data());
            else
                buffer::WriteSRecord(text, 1, 0x00, other.data(), 16);
            l.insert(l.begin() + (n - 1), text.substr(0, text.size() - 2));
            return Join(l);
        },
        buffer::ProblemKind::Overlap, false },
    { "cut at the end",
        [](Lines l, bool hex, int) {
            l.resize(hex ? 4 : 5); // no count, no end record, the last record cut
            l.back().resize(l.back().size() / 2);
            std::string text = Join(l);
            return text.substr(0, text.size() - 2);
        },
        buffer::ProblemKind::Length },
    { "random bytes",
        [](Lines, bool, int) {
            std::mt19937 random(9);
            std::string text;
            for (int i = 0; i < 400; ++i)
                text += i % 41 == 40 ? '\n' : static_cast<char>(0x80 | (random() & 0x7F));
            return text;
        },
        buffer::ProblemKind::NotARecord },
    { "blank lines", [](Lines, bool, int) { return std::string("\r\n\r\n   \r\n\n"); }, std::nullopt },
    { "empty", [](Lines, bool, int) { return std::string(); }, std::nullopt },
};

class DamagedFiles : public tonrig::test::AppViewFixture {
protected:
    DamagedFiles()
        : AppViewFixture(IDNO)
    {
    }

    std::string Recent() const
    {
        const CRecentFileList* list = app.RecentFileList();
        return list->GetCount() ? (*list)[0] : std::string();
    }
    buffer::CBufferModel& Model() { return view->Buffers(); }

    // What a failed or declined load must leave.
    struct State {
        std::array<Bytes, 3> buffers;
        std::string title, offset, recent, checksum;
        bool operator==(const State&) const = default;
    };
    State Now()
    {
        return { { Model().Buffer(0), Model().Buffer(1), Model().Buffer(2) }, Title(), commands->FileOffsetText(),
            Recent(), g_pStatusBar->GetPaneText(1) };
    }

    // Loads a file unlike the damaged one, so that a change would show, and sets the header's
    // offset apart from the damaged file's remembered one.
    State Before(const std::string& damaged)
    {
        const std::string before = Path("before.bin");
        WriteAll(before, std::string(200, '\x3C'));
        commands->LoadFile(before, "*.bin");
        buffer::RememberOpenedFile({ damaged, "0", "", "FF", 0 });
        g_pView2Header->SetFileOffsetText("3");
        boxes.Clear();
        return Now();
    }
};

TEST_F(DamagedFiles, EveryReaderEveryDamage)
{
    const struct {
        Reader reader;
        const char* file;
        int line; // the damaged line
        std::size_t hole; // where the damaged record's bytes lie
    } readers[] = {
        { Reader::MainHex, "d.hex", 3, 0x20 },
        { Reader::SRecord, "d.s", 3, 0x10 },
        { Reader::PicHex, "p.hex", 3, 0x20 },
        { Reader::DataHex, "e.hex", 3, 0x20 },
    };
    std::vector<Damage> damages(std::begin(kDamages), std::end(kDamages));
    damages.push_back({ "S5 mismatch",
        [](Lines l, bool, int) {
            std::string text;
            buffer::WriteSRecord(text, 5, 5, nullptr, 0);
            l[5] = text.substr(0, text.size() - 2);
            return Join(l);
        },
        buffer::ProblemKind::CountMismatch, false, 3 });

    for (const auto& r : readers) {
        const bool hex = r.reader != Reader::SRecord;
        const bool strict = r.reader == Reader::PicHex || r.reader == Reader::DataHex;
        SelectDevice(r.reader == Reader::PicHex ? kPic16F628A : k27C256);
        const int index = r.reader == Reader::DataHex ? buffer::kDataBuffer : buffer::kMainBuffer;
        if (r.reader == Reader::DataHex)
            g_CurrentDevice.m_nDataSize = 256;
        commands->SetBufferIndex(index);
        for (const Damage& d : damages) {
            if (hex && std::string(d.name) == "S5 mismatch")
                continue;
            SCOPED_TRACE(std::string(r.file) + ": " + d.name);
            const std::string path = Path(r.file);
            WriteAll(path, d.make(hex ? GoodHex() : GoodSRecords(), hex, r.line));
            const std::string pattern = hex ? "*.hex" : "*.s";
            const State before = Before(path);
            const bool random = std::string(d.name) == "random bytes";
            const bool cutEnd = std::string(d.name) == "cut at the end";
            const int line = random ? 1 : cutEnd ? (hex ? 4 : 5) : r.line + d.lineShift;
            const std::string kind = d.kind ? buffer::ProblemKindText(*d.kind) : "";

            // A load without a person never keeps anything, and asks nothing.
            EXPECT_FALSE(commands->LoadFile(path, pattern, false));
            EXPECT_EQ(Now(), before);
            for (const auto& box : boxes.Boxes())
                EXPECT_NE(box.type & MB_YESNO, static_cast<UINT>(MB_YESNO)) << box.text;

            if (!d.kind || strict || random) {
                // A box, and nothing changes.
                std::string text;
                if (!d.kind)
                    text = std::string(r.file) + " holds no data.";
                else if (!strict)
                    text = std::string(r.file) + " holds no data: ";
                else
                    text = *d.kind == buffer::ProblemKind::Checksum   ? "Checksum Error reading Hexfile"
                        : *d.kind == buffer::ProblemKind::UnknownType ? "Invailid line in hex file."
                                                                      : "Error reading Hexfile";
                ASSERT_EQ(boxes.Count(), 1u);
                EXPECT_EQ(boxes.Boxes()[0].text.substr(0, text.size()), text);
                const std::string where = strict && d.kind
                    ? platform::Format("(%s, line %d: %s).", r.file, line, kind.c_str())
                    : d.kind ? platform::Format("the first at line %d (%s).", line, kind.c_str())
                             : std::string(" holds no data.");
                EXPECT_NE(Log().rfind(where), std::string::npos) << Log();
                continue;
            }

            // The question names the file, the count, the first bad line and its kind.
            // The S5 record counts S1 to S3 records: an S4, or one more S1, makes it wrong too.
            const bool extraCount = !hex && (std::string(d.name) == "unknown type" || std::string(d.name) == "overlap");
            const std::string statement = extraCount
                ? platform::Format("2 bad records in %s, the first at line %d (%s).", r.file, line, kind.c_str())
                : platform::Format("1 bad record in %s, at line %d (%s).", r.file, line, kind.c_str());
            EXPECT_NE(Log().rfind(statement + " Nothing was loaded."), std::string::npos) << Log();

            // No: nothing changes.
            boxes.Clear();
            boxes.QueueAnswer(IDNO);
            EXPECT_FALSE(commands->LoadFile(path, pattern));
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, statement + " Keep the data that could be read?");
            EXPECT_EQ(boxes.Boxes()[0].type & MB_YESNO, static_cast<UINT>(MB_YESNO));
            EXPECT_EQ(Now(), before);

            // Yes: the good records, the damaged one's bytes at the fill byte, the buffer marked
            // incomplete, the file's remembered offset in the header.
            boxes.Clear();
            boxes.QueueAnswer(IDYES);
            EXPECT_TRUE(commands->LoadFile(path, pattern));
            Bytes want(index == buffer::kDataBuffer ? 256 : 0x8000, 0xFF);
            std::copy(kGood.begin(), kGood.end(), want.begin());
            const std::size_t hole = cutEnd ? 0x30 : r.hole;
            if (d.hole)
                std::fill_n(want.begin() + static_cast<std::ptrdiff_t>(hole), 16, 0xFF);
            EXPECT_TRUE(Model().Buffer(index) == want);
            EXPECT_TRUE(Model().IsIncomplete(index));
            EXPECT_EQ(commands->FileOffsetText(), "0");
            EXPECT_EQ(Recent(), path);
            EXPECT_EQ(g_pStatusBar->GetPaneText(1), buffer::ChecksumText(want));
        }
    }
}

TEST_F(DamagedFiles, SaveAsksBeforeWritingWhatWasKept)
{
    SelectDevice(k27C256);
    Lines lines = GoodHex();
    lines[1].back() = lines[1].back() == '0' ? '1' : '0';
    const std::string path = Path("kept.hex");
    WriteAll(path, Join(lines));
    boxes.QueueAnswer(IDYES);
    ASSERT_TRUE(commands->LoadFile(path, "*.hex"));
    boxes.Clear();
    boxes.QueueAnswer(IDNO);
    EXPECT_FALSE(commands->SaveTo(Path("out.bin"), {}));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, buffer::kIncompleteQuestion);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("out.bin"))));
}

// Every name that Save writes as S-records opens as S-records through File Open's preselected
// format.
TEST_F(DamagedFiles, EverySRecordNameOpensAsSRecords)
{
    std::string text;
    buffer::WriteSRecords(text, kGood.data(), kGood.size());
    for (const char* name : { "x.s", "x.mot", "x.srec", "x.s19", "x.S28", "x.s37" }) {
        SCOPED_TRACE(name);
        const std::string path = Path(name);
        WriteAll(path, text);
        commands->SetOpenFileChooser([&](const std::string&, const std::string&) {
            return CBufferCommands::FileChoice { path, "" };
        });
        commands->SetOptionsRunner([](CFileOptionsDlg& dialog) {
            EXPECT_EQ(dialog.FormatList()->currentText().toStdString(), "Motorola S (.s)");
            dialog.accept();
            return true;
        });
        Model().Buffer(0).clear();
        ASSERT_TRUE(Execute(ID_FILE_OPEN));
        EXPECT_EQ(Model().Buffer(0), kGood);
    }
}

} // namespace

// Sorting rows by a column, and saving to and loading from delimited text files.

#include "GridTestSupport.h"

#include "platform/MessageBox.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using gridtest::TestGrid;

namespace {

class SortGrid : public TestGrid {
public:
    using TestGrid::TestGrid;
    bool failWrite = false;

protected:
    bool WriteText(QSaveFile& file, const QByteArray& bytes) override
    {
        return !failWrite && TestGrid::WriteText(file, bytes);
    }
};

// A grid of one fixed row and `texts.size()` rows below it, column 1 holding the texts and
// column 0 each row's original index; row heights 10 + index (short columns only: each height
// recomputes the scroll range).
std::unique_ptr<SortGrid> Column(const std::vector<QString>& texts)
{
    auto grid = std::make_unique<SortGrid>(static_cast<int>(texts.size()) + 1, 2, 1, 0);
    grid->SetItemText(0, 1, "heading");
    for (size_t i = 0; i < texts.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        grid->SetItemText(row, 0, QString::number(i));
        grid->SetItemText(row, 1, texts[i]);
        if (texts.size() < 1000)
            grid->SetRowHeight(row, 10 + static_cast<int>(i));
    }
    return grid;
}

std::vector<QString> Texts(const CGridCtrl& grid, int col)
{
    std::vector<QString> texts;
    for (int row = grid.GetFixedRowCount(); row < grid.GetRowCount(); ++row)
        texts.push_back(grid.GetItemText(row, col));
    return texts;
}

TEST(GridSort, OrdersRowsByAColumn)
{
    struct Case {
        const char* name;
        std::vector<QString> texts;
        bool numbers;
        BOOL ascending;
        std::vector<QString> expected;
    };
    const std::vector<Case> cases = {
        { "numbers put 9 before 10", { "10", "9", "100" }, true, TRUE, { "9", "10", "100" } },
        { "text puts 10 before 9", { "10", "9", "100" }, false, TRUE, { "10", "100", "9" } },
        { "descending", { "b", "c", "a" }, false, FALSE, { "c", "b", "a" } },
        { "case-sensitive code points", { "b", "B", "a", "A" }, false, TRUE, { "A", "B", "a", "b" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto grid = Column(c.texts);
        const BOOL sorted = c.numbers ? grid->SortItemsWith(&CGridCtrl::CompareCellNumbers, 1, c.ascending)
                                      : grid->SortTextItems(1, c.ascending);
        EXPECT_TRUE(sorted);
        EXPECT_EQ(Texts(*grid, 1), c.expected);
        EXPECT_EQ(grid->GetItemText(0, 1), "heading") << "the fixed row stays";
        EXPECT_EQ(grid->GetSortedColumn(), 1);
        EXPECT_EQ(grid->IsSortUp(), c.ascending);
        // Heights and the original-index column went with their rows.
        for (int row = 1; row < grid->GetRowCount(); ++row) {
            const int original = grid->GetItemText(row, 0).toInt();
            EXPECT_EQ(grid->GetItemText(row, 1), c.texts[static_cast<size_t>(original)]);
            EXPECT_EQ(grid->GetRowHeight(row), 10 + original);
        }
        EXPECT_TRUE(grid->Consistent());
    }

    // Rows that compare equal are never swapped: the same cell objects stay where they were.
    auto grid = Column({ "x", "x", "x", "x" });
    std::vector<const CGridCellBase*> cells;
    for (int row = 1; row < 5; ++row)
        cells.push_back(grid->GetCell(row, 0));
    EXPECT_TRUE(grid->SortTextItems(1, TRUE));
    for (int row = 1; row < 5; ++row)
        EXPECT_EQ(grid->GetCell(row, 0), cells[static_cast<size_t>(row - 1)]);

    // One non-fixed row, or none: nothing to sort; a column out of range likewise.
    for (size_t n : { 0u, 1u }) {
        auto small = Column(std::vector<QString>(n, "z"));
        EXPECT_FALSE(small->SortTextItems(1, TRUE));
        EXPECT_EQ(Texts(*small, 1), std::vector<QString>(n, "z"));
    }
    EXPECT_FALSE(Column({ "b", "a" })->SortTextItems(2, TRUE));

    // The selection and the focus go; a compare function gets its user value; null restores text.
    grid = Column({ "2", "10", "1" });
    grid->SetFocusCell(2, 1);
    grid->SelectCells(1, 0, 2, 1);
    std::vector<qintptr> seen;
    grid->SetCompareFunction([&](const CGridCellBase* a, const CGridCellBase* b, qintptr data) {
        seen.push_back(data);
        return CGridCtrl::CompareCellNumbers(a, b, data);
    });
    EXPECT_TRUE(grid->SortItems(1, TRUE, 42));
    EXPECT_EQ(Texts(*grid, 1), (std::vector<QString> { "1", "2", "10" }));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](qintptr v) { return v == 42; }));
    EXPECT_EQ(grid->GetSelectedCount(), 0);
    EXPECT_FALSE(grid->GetFocusCell().IsValid());
    grid->SetCompareFunction(nullptr);
    EXPECT_TRUE(grid->SortItems(1, TRUE));
    EXPECT_EQ(Texts(*grid, 1), (std::vector<QString> { "1", "10", "2" }));
}

TEST(GridSort, TextsAsNumbers)
{
    struct Case {
        QString text;
        long value;
    };
    const std::vector<Case> cases = {
        { " 42", 42 },
        { "-7", -7 },
        { "+3", 3 },
        { "12abc", 12 },
        { "abc", 0 },
        { "", 0 },
        { "\t 5 6", 5 },
        { "- 5", 0 },
        { "99999999999999999999999", std::numeric_limits<long>::max() },
        { "-99999999999999999999999", std::numeric_limits<long>::min() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CGridCtrl::TextToLong(c.text), c.value) << c.text.toStdString();
    CGridCell a, b;
    a.SetText("-3");
    b.SetText("12abc");
    EXPECT_EQ(CGridCtrl::CompareCellNumbers(&a, &b, 0), -1);
    EXPECT_EQ(CGridCtrl::CompareCellNumbers(&b, &a, 0), 1);
    EXPECT_EQ(CGridCtrl::CompareCellNumbers(&a, nullptr, 0), 0);
    EXPECT_EQ(CGridCtrl::CompareCellText(nullptr, &a, 0), 0);
}

TEST(GridSort, LongColumnsAndLopsidedPartitions)
{
    const int n = 100000;
    std::mt19937 random(7);
    for (const char* order : { "ordered", "reversed", "random" }) {
        SCOPED_TRACE(order);
        std::vector<QString> texts;
        for (int i = 0; i < n; ++i) {
            const int value = std::string(order) == "ordered" ? i
                : std::string(order) == "reversed"            ? n - i
                                                              : static_cast<int>(random() % 1000000);
            texts.push_back(QString("%1").arg(value, 7, 10, QLatin1Char('0')));
        }
        auto grid = Column(texts);
        ASSERT_TRUE(grid->SortTextItems(1, TRUE));
        const std::vector<QString> sorted = Texts(*grid, 1);
        EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    }
    // Every partition as lopsided as it can be: the loop over the larger part keeps the stack
    // shallow.
    auto grid = Column(std::vector<QString>(20000, "same"));
    EXPECT_TRUE(grid->SortItemsWith([](const CGridCellBase*, const CGridCellBase*, qintptr) { return -1; }, 1, TRUE));
    EXPECT_TRUE(grid->Consistent());
}

class GridSortWindow : public gridtest::GridWindowTest { };

TEST_F(GridSortWindow, HeaderClicksSortAndTheMarkFollows)
{
    auto grid = MakeGrid<SortGrid>({ 60, 60 }, std::vector<int>(4, 20), 1, 0, 200, 100);
    const std::vector<QString> first = { "b", "c", "a" };
    const std::vector<QString> second = { "2", "3", "1" };
    for (int row = 1; row < 4; ++row) {
        grid->SetItemText(row, 0, first[static_cast<size_t>(row - 1)]);
        grid->SetItemText(row, 1, second[static_cast<size_t>(row - 1)]);
    }
    grid->SetHeaderSort();
    QApplication::setActiveWindow(grid.get());
    const auto Click = [&](int col) {
        const QPoint at(col * 60 + 20, 10);
        QMouseEvent press(QEvent::MouseButtonPress, at, grid->viewport()->mapToGlobal(at), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, grid->viewport()->mapToGlobal(at), Qt::LeftButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &release);
    };
    Click(0);
    EXPECT_EQ(Texts(*grid, 0), (std::vector<QString> { "a", "b", "c" }));
    EXPECT_EQ(grid->GetSortedColumn(), 0);
    EXPECT_TRUE(grid->IsSortUp());
    Click(0);
    EXPECT_EQ(Texts(*grid, 0), (std::vector<QString> { "c", "b", "a" }));
    EXPECT_FALSE(grid->IsSortUp());
    Click(1);
    EXPECT_EQ(Texts(*grid, 1), (std::vector<QString> { "1", "2", "3" }));
    EXPECT_EQ(grid->GetSortedColumn(), 1);
    EXPECT_TRUE(grid->IsSortUp());
}

TEST_F(GridSortWindow, AnOpenEditEndsBeforeTheRowsMove)
{
    auto grid = MakeGrid<SortGrid>({ 60, 60 }, std::vector<int>(4, 20), 1, 0, 200, 100);
    const std::vector<QString> texts = { "b", "c", "a" };
    for (int row = 1; row < 4; ++row) {
        grid->SetItemText(row, 0, texts[static_cast<size_t>(row - 1)]);
        grid->SetItemText(row, 1, QString::number(row));
    }
    QApplication::setActiveWindow(grid.get());
    grid->setFocus();
    grid->SetFocusCell(2, 0);
    grid->BeginCellEdit(2, 0, QPoint(), GridEditStart::Char('0'));
    QApplication::processEvents();
    ASSERT_TRUE(grid->IsItemEditing(2, 0));
    ASSERT_TRUE(grid->SortTextItems(0, TRUE));
    EXPECT_EQ(Texts(*grid, 0), (std::vector<QString> { "0", "a", "b" })) << "the typed text sorted with the rest";
    EXPECT_EQ(Texts(*grid, 1), (std::vector<QString> { "2", "3", "1" }));
    QApplication::processEvents();
    for (int row = 1; row < 4; ++row)
        EXPECT_FALSE(grid->IsItemEditing(row, 0));
    EXPECT_TRUE(grid->Consistent());
}

// ---- files ----------------------------------------------------------------------------------

class GridFiles : public testing::Test {
protected:
    void SetUp() override
    {
        platform::SetMessageBoxService([this](const std::string& text, const std::string&, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override { platform::SetMessageBoxService({}); }
    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static std::vector<std::vector<QString>> Cells(const CGridCtrl& grid)
    {
        std::vector<std::vector<QString>> rows;
        for (int row = 0; row < grid.GetRowCount(); ++row) {
            rows.emplace_back();
            for (int col = 0; col < grid.GetColumnCount(); ++col)
                rows.back().push_back(grid.GetItemText(row, col));
        }
        return rows;
    }
    QTemporaryDir dir;
    std::vector<std::string> boxes;
};

TEST_F(GridFiles, LoadTable)
{
    using Rows = std::vector<std::vector<QString>>;
    struct Case {
        const char* name;
        QByteArray bytes;
        Rows expected;
    };
    const QByteArray longLine(1500, 'x');
    const std::vector<Case> cases = {
        { "a text holding the separator splits", "h1,h2\nx,y,z\n", { { "h1", "h2" }, { "x", "y" } } },
        { "an empty file gives an empty grid", "", {} },
        { "CR LF reads as LF", "a,b\r\n1,2\r\n", { { "a", "b" }, { "1", "2" } } },
        { "a short line leaves its cells empty", "a,b,c\n1\n", { { "a", "b", "c" }, { "1", "", "" } } },
        { "an empty inner line keeps the rows aligned", "a,b\n\n3,4\n", { { "a", "b" }, { "", "" }, { "3", "4" } } },
        { "a last line without a line break", "a,b\n1,2", { { "a", "b" }, { "1", "2" } } },
        { "an empty last heading is dropped, an inner empty field counts", "a,,c,\n1,2,3\n",
            { { "a", "", "c" }, { "1", "2", "3" } } },
        { "a Latin-1 file", "caf\xe9\n", { { QString::fromLatin1("caf\xe9") } } },
        { "a long line goes on as the next", "h\n" + longLine + "\n",
            { { "h" }, { QString(1023, 'x') }, { QString(477, 'x') } } },
        // A line that just fills the 1023 bytes is one row: its line end is not another line.
        { "a line of 1023 characters is one row", "h\n" + QByteArray(1023, 'x') + "\ny\n",
            { { "h" }, { QString(1023, 'x') }, { "y" } } },
        { "a line of 1023 characters then z", "h\n" + QByteArray(1023, 'x') + "\nz\n",
            { { "h" }, { QString(1023, 'x') }, { "z" } } },
        { "a line of 1023 characters and CR LF is one row", "h\r\n" + QByteArray(1023, 'x') + "\r\nz\r\n",
            { { "h" }, { QString(1023, 'x') }, { "z" } } },
        { "a line of 1022 characters and CR LF is one row", "h\r\n" + QByteArray(1022, 'x') + "\r\ny\r\n",
            { { "h" }, { QString(1022, 'x') }, { "y" } } },
        // 1,500 two-byte characters: the line breaks between characters, never inside one.
        { "a long UTF-8 line breaks between characters", "h\n" + QString(1500, QChar(0xE9)).toUtf8() + "\n",
            { { "h" }, { QString(511, QChar(0xE9)) }, { QString(511, QChar(0xE9)) }, { QString(478, QChar(0xE9)) } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write("in.txt", c.bytes);
        SortGrid grid(3, 3, 1, 1);
        EXPECT_TRUE(grid.Load(path));
        EXPECT_EQ(Cells(grid), c.expected);
        EXPECT_EQ(grid.GetFixedRowCount(), 0) << "the heading row is an ordinary row";
        EXPECT_TRUE(boxes.empty());
    }
}

TEST_F(GridFiles, AnyBytesLoadIntoAConsistentGrid)
{
    std::mt19937 random(11);
    std::vector<QByteArray> inputs = { QByteArray("\0\0,\0\n\r\r,\n", 10), "\n\n\n", ",,,,\n,,,,\n",
        QByteArray(5000, ','), QByteArray("\xff\xfe\xc3\n\xe2\x82\n") };
    for (int n = 0; n < 4; ++n) {
        QByteArray bytes(20000, '\0');
        for (char& b : bytes) {
            const unsigned value = random() % 256;
            b = static_cast<char>(n % 2 == 0 ? value : (value % 4 == 0 ? '\n' : value % 4 == 1 ? ',' : value));
        }
        inputs.push_back(bytes);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        const QString path = Write("bytes.txt", inputs[i]);
        SortGrid grid(2, 2);
        EXPECT_TRUE(grid.Load(path));
        EXPECT_TRUE(grid.Consistent());
        EXPECT_TRUE(boxes.empty());
    }
}

TEST_F(GridFiles, SaveRoundTripAndFailures)
{
    SortGrid grid(2, 3);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            grid.SetItemText(row, col, QString("r%1c%2").arg(row).arg(col));
    grid.SetItemText(1, 1, QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
    const QString path = dir.filePath("out.csv");
    ASSERT_TRUE(grid.Save(path, ','));
    EXPECT_EQ(Read(path), QByteArray("r0c0,r0c1,r0c2\nr1c0,\xc3\xa9t\xc3\xa9,r1c2\n"));
    SortGrid loaded;
    ASSERT_TRUE(loaded.Load(path, ','));
    EXPECT_EQ(Cells(loaded), Cells(grid));
    ASSERT_TRUE(grid.Save(path, '\t'));
    ASSERT_TRUE(loaded.Load(path, '\t'));
    EXPECT_EQ(Cells(loaded), Cells(grid));

    // A write failure keeps the old file.
    const QByteArray before = Read(path);
    grid.failWrite = true;
    grid.SetItemText(0, 0, "changed");
    EXPECT_FALSE(grid.Save(path));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Unable to save grid list");
    EXPECT_EQ(Read(path), before);

    // A file where a folder should be: neither opens, each says which path and why.
    const QString blocked = Write("plain", "x") + "/inside.txt";
    boxes.clear();
    const auto kept = Cells(loaded);
    EXPECT_FALSE(grid.Save(blocked));
    EXPECT_FALSE(loaded.Load(blocked));
    ASSERT_EQ(boxes.size(), 2u);
    for (const std::string& box : boxes)
        EXPECT_NE(box.find(blocked.toStdString()), std::string::npos) << box;
    EXPECT_EQ(Cells(loaded), kept) << "a file that does not open leaves the grid as it was";
    // A folder in place of the file: refused the same way, the grid kept.
    boxes.clear();
    EXPECT_FALSE(loaded.Load(dir.path()));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Cells(loaded), kept);
    EXPECT_FALSE(grid.Save(dir.path()));
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());

    // A file that opens but does not read (this process's memory at address 0).
    boxes.clear();
    EXPECT_FALSE(loaded.Load("/proc/self/mem"));
    EXPECT_EQ(boxes, std::vector<std::string> { "Unable to load grid data" });

    // Virtual mode loads nothing.
    SortGrid virtualGrid;
    virtualGrid.SetVirtualMode(TRUE);
    EXPECT_FALSE(virtualGrid.Load(path));
}

} // namespace

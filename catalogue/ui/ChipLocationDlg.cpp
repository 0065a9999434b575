#include "catalogue/ui/ChipLocationDlg.h"

#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using namespace socket_drawing;

const QColor kSocketColour(0x3C, 0x6E, 0xC8); // the socket's blue body
const QColor kHoleColour(0x20, 0x20, 0x20);
const QColor kLeverColour(0xB0, 0xB0, 0xB0);
const QColor kPinColour(0xC8, 0xC8, 0xC8);

// The socket: a body with 20 rows of holes a side and its lever at the top.
void DrawSocket(QPainter& p, int width, int height, int firstRowTop, int pitch)
{
    p.fillRect(0, 0, width, height, Qt::white);
    p.fillRect(2, firstRowTop - 6, width - 4, height - firstRowTop + 6, kSocketColour);
    // The lever: its hinge at the top right, the handle along the top edge.
    p.fillRect(4, 4, width - 8, 5, kLeverColour);
    p.fillRect(width - 9, 4, 5, firstRowTop - 8, kLeverColour);
    for (int row = 0; row < 20; ++row) {
        const int y = firstRowTop + row * pitch + pitch / 2 - 1;
        p.fillRect(5, y, 4, 3, kHoleColour);
        p.fillRect(width - 9, y, 4, 3, kHoleColour);
    }
}

void DrawChip(QPainter& p, const chip_picture::ChipRows& rows)
{
    const int left = rows.wide ? kWideLeft : kNarrowLeft;
    const int right = rows.wide ? kWideRight : kNarrowRight;
    const int top = RowTop(rows.first);
    const int bottom = RowTop(rows.last + 1) - 1;
    // The legs first, the body over their inner ends.
    for (int row = rows.first; row <= rows.last; ++row) {
        const int y = RowTop(row) + kRowPitch / 2 - 1;
        p.fillRect(left - 4, y, 4, 3, kPinColour);
        p.fillRect(right + 1, y, 4, 3, kPinColour);
    }
    p.fillRect(left, top, right - left + 1, bottom - top + 1, QColor::fromRgba(kBodyColour));
    // Pin 1 up: the notch in the top edge and the dot beside pin 1.
    const int middle = (left + right) / 2;
    p.save();
    p.setClipRect(left, top, right - left + 1, bottom - top + 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRect(middle - 3, top - 4, 7, 8));
    p.fillRect(left + 2, top + 2, 3, 3, Qt::white);
    p.restore();
}

QImage DrawAdapter()
{
    QImage image(kAdapterWidth, kAdapterHeight, QImage::Format_ARGB32);
    QPainter p(&image);
    DrawSocket(p, kAdapterWidth, kAdapterHeight, 18, 6);
    // The board over the socket, its words across it.
    const QRect board(6, 30, kAdapterWidth - 12, kAdapterHeight - 44);
    p.fillRect(board, QColor::fromRgba(kBoardColour));
    QFont font("DejaVu Sans");
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(board, Qt::AlignCenter | Qt::TextWordWrap, "Adapter Needed");
    return image;
}

} // namespace

QImage DrawSocketPicture(int id)
{
    if (id == chip_picture::kAdapter)
        return DrawAdapter();
    const std::optional<chip_picture::ChipRows> rows = chip_picture::RowsOfPicture(id);
    if (!rows)
        return {};
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    QPainter p(&image);
    DrawSocket(p, kWidth, kHeight, kFirstRowTop, kRowPitch);
    DrawChip(p, *rows);
    return image;
}

CChipLocationDlg::CChipLocationDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("Chip Location");
    m_picture = new QLabel(this);
    m_picture->setObjectName(QString::number(IDC_PICTURE));
    m_picture->setFixedSize(kWidth, kHeight);
    m_picture->setAlignment(Qt::AlignCenter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::number(IDC_OK));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_picture, 0, Qt::AlignHCenter);
    layout->addWidget(buttons);
}

void CChipLocationDlg::OnInitDialog()
{
    const CDeviceClass& d = g_CurrentDevice;
    ShowPicture(
        chip_picture::ChooseChipPicture(d.m_strPackage, d.m_pPicConfig != nullptr, g_nCurrentClass, d.m_strAdapter));
}

int CChipLocationDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

void CChipLocationDlg::paintEvent(QPaintEvent* event)
{
    // The device may change while the dialog is open; without one the picture stays.
    if (g_nCurrentClass != kNoDeviceClass) {
        const CDeviceClass& d = g_CurrentDevice;
        ShowPicture(chip_picture::ChooseChipPicture(
            d.m_strPackage, d.m_pPicConfig != nullptr, g_nCurrentClass, d.m_strAdapter));
    }
    QDialog::paintEvent(event);
}

void CChipLocationDlg::ShowPicture(int id)
{
    if (id == m_shown)
        return;
    m_shown = id;
    const QImage image = DrawSocketPicture(id);
    if (image.isNull())
        m_picture->clear();
    else
        m_picture->setPixmap(QPixmap::fromImage(image));
}

#pragma once
// The modal "Chip Location" dialog (257): a drawing of the 40-pin ZIF socket with the current
// device's chip where it must go, pin 1 up, or an adapter board when the device needs one. The
// pictures are drawn, not loaded: their ids stay the keys (catalogue/ChipPicture.h).

#include <QDialog>
#include <QImage>

class QLabel;

// The drawing of one picture id; a null image for an id that has none.
QImage DrawSocketPicture(int id);

// Where DrawSocketPicture puts things, for those who look at its pixels.
namespace socket_drawing {
inline constexpr int kWidth = 72;
inline constexpr int kHeight = 208;
inline constexpr int kAdapterWidth = 57;
inline constexpr int kAdapterHeight = 143;
inline constexpr int kFirstRowTop = 26; // row 1, below the lever
inline constexpr int kRowPitch = 9;
inline constexpr int kWideLeft = 14, kWideRight = 57; // chip body columns, inclusive
inline constexpr int kNarrowLeft = 23, kNarrowRight = 48;
inline constexpr unsigned kBodyColour = 0xFF202020; // ARGB
inline constexpr unsigned kBoardColour = 0xFF1E6B2E;
// The top pixel line of `row` (1 to 20) and the one below its last.
constexpr int RowTop(int row)
{
    return kFirstRowTop + (row - 1) * kRowPitch;
}
} // namespace socket_drawing

class CChipLocationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 257;
    static constexpr int IDC_PICTURE = 1247;
    static constexpr int IDC_OK = 1;

    explicit CChipLocationDlg(QWidget* parent = nullptr);

    // Chooses the current device's picture and shows it.
    void OnInitDialog();
    int DoModal();

    // The picture id shown (chip_picture::kNone for an empty static).
    int ShownPicture() const { return m_shown; }
    QLabel* Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowPicture(int id);

    QLabel* m_picture = nullptr;
    int m_shown = -1;
};

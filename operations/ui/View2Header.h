#pragma once
// The device header pane, the right pane of the main window. A placeholder until the header
// issue fills it: a title, the device name and the chip-location button 1248.

#include <QWidget>

class QLabel;
class QPushButton;

class CView2Header : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDC_CHIP_LOCATION = 1248;

    explicit CView2Header(QWidget* parent = nullptr);

    // Sets the pane's captions again (after a change of language).
    void ApplyLanguage();
    void OnShowChipLocation();

    QWidget* GetDlgItem(int id) const;

private:
    QLabel* m_title = nullptr;
    QLabel* m_device = nullptr;
    QPushButton* m_chipLocation = nullptr;
};

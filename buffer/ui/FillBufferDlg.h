#pragma once
// Fill Buffer With Data: a range of the current buffer (From and To inclusive, hexadecimal) and
// the bytes to fill it with, repeated from From and cut at To. A bad entry keeps the dialog open
// and says which field is wrong.

#include <QDialog>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;

class CFillBufferDlg : public QDialog {
    Q_OBJECT
public:
    // Preset with first..last (the selection, else the whole buffer) and "FF".
    CFillBufferDlg(std::size_t bufferSize, std::size_t first, std::size_t last, QWidget* parent = nullptr);

    // What OK took.
    std::size_t m_nFrom = 0;
    std::size_t m_nTo = 0;
    std::vector<std::uint8_t> m_Data;

    QLineEdit* FromEdit() const { return m_from; }
    QLineEdit* ToEdit() const { return m_to; }
    QLineEdit* DataEdit() const { return m_data; }
    // Why the last OK was refused ("" when it was not).
    std::string ErrorText() const;

    void accept() override;

private:
    std::size_t m_size;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QLineEdit* m_data = nullptr;
    QLabel* m_error = nullptr;
};

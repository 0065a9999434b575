#pragma once
// The file-options dialog: format, read mode, file offset and fill mode of a file about to be
// opened. The lists and defaults come from buffer/FileOptions.h; the dialog only shows them.

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

class CFileOptionsDlg : public QDialog {
    Q_OBJECT
public:
    // `fileName` preselects the format by its ending.
    explicit CFileOptionsDlg(const std::string& fileName, QWidget* parent = nullptr);

    // What OK stores.
    std::string m_strPattern; // the file name given
    std::string m_strFormat; // "*.hex", ...; empty when no entry is chosen
    std::string m_strOffset = "000000";
    std::string m_strFill = "FF";
    int m_nOpenMode = 0;
    bool m_bRemember = true;
    bool m_bExtendedLinear = false;

    QComboBox* FormatList() const { return m_format; }
    QComboBox* ReadModeList() const { return m_readMode; }
    QComboBox* FillList() const { return m_fill; }
    QLineEdit* OffsetEdit() const { return m_offset; }
    QCheckBox* ExtendedLinearBox() const { return m_extendedLinear; }
    QCheckBox* RememberBox() const { return m_remember; }

    void accept() override;

private:
    void OnFormatChanged(int index);

    QComboBox* m_format = nullptr;
    QComboBox* m_readMode = nullptr;
    QComboBox* m_fill = nullptr;
    QLineEdit* m_offset = nullptr;
    QCheckBox* m_remember = nullptr;
    QCheckBox* m_extendedLinear = nullptr;
};

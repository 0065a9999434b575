#pragma once
// Binary Search: a hex string or a text to look for in the current buffer, the direction, Match
// Case (text only) and New Search (from the first byte, the last for Up, not from the cursor).
// The view keeps one, so that it opens with the last entries. A hex string that does not parse
// keeps the dialog open and says where.

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class CFindDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFindDlg(QWidget* parent = nullptr);

    // What OK took.
    std::string m_strText; // as typed
    std::vector<std::uint8_t> m_Pattern; // the bytes to find (a text as its Latin-1 bytes)
    bool m_bHex = true;
    bool m_bDown = true;
    bool m_bMatchCase = false; // for a text; hex always matches exactly
    bool m_bNewSearch = false;

    QRadioButton* HexButton() const { return m_hex; }
    QRadioButton* TextButton() const { return m_text; }
    QLineEdit* Edit() const { return m_edit; }
    QRadioButton* UpButton() const { return m_up; }
    QRadioButton* DownButton() const { return m_down; }
    QCheckBox* MatchCaseBox() const { return m_matchCase; }
    QCheckBox* NewSearchBox() const { return m_newSearch; }
    std::string ErrorText() const;

    void accept() override;

private:
    QRadioButton* m_hex = nullptr;
    QRadioButton* m_text = nullptr;
    QLineEdit* m_edit = nullptr;
    QRadioButton* m_up = nullptr;
    QRadioButton* m_down = nullptr;
    QCheckBox* m_matchCase = nullptr;
    QCheckBox* m_newSearch = nullptr;
    QLabel* m_error = nullptr;
};

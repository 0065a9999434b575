#pragma once
// The coloured text window of the program: message logs, the script and command panes, detail
// texts. Callers append text in a colour of their choice; the user gets a context menu (Copy,
// Paste, Select All, Clear All) and may select and copy freely while appends arrive.
//
// AppendText and AppendLine may be called from any thread: off the GUI thread each append is
// queued as one step for the GUI thread, so appends from one thread land whole and in order.

#include "controls/FontRecord.h"
#include "controls/ui/FontFromLogFont.h"
#include "platform/Colour.h"
#include "platform/WinTypes.h"

#include <QTextCharFormat>
#include <QTextEdit>

#include <memory>
#include <string>
#include <vector>

class QMenu;

// Character-format bits of the selection operations.
constexpr DWORD CFM_BOLD = 0x00000001;
constexpr DWORD CFM_ITALIC = 0x00000002;
constexpr DWORD CFM_UNDERLINE = 0x00000004;
constexpr DWORD CFE_BOLD = CFM_BOLD;
constexpr DWORD CFE_ITALIC = CFM_ITALIC;
constexpr DWORD CFE_UNDERLINE = CFM_UNDERLINE;

// Commands of the context menu.
constexpr UINT ID_LOG_COPY = 32954;
constexpr UINT ID_LOG_PASTE = 32961;
constexpr UINT ID_LOG_SELECT_ALL = 32953;
constexpr UINT ID_LOG_CLEAR_ALL = 32955;

class CRichEditCtrlExtend : public QTextEdit {
    Q_OBJECT
public:
    explicit CRichEditCtrlExtend(QWidget* parent = nullptr);
    ~CRichEditCtrlExtend() override;

    // Appends at the end in `colour`, never bold. The user's selection keeps its format; a
    // caret without a selection follows the text to the end.
    void AppendText(std::string text, COLORREF colour);
    void AppendLine(std::string text, COLORREF colour);
    int GetTextLength() const;
    std::string GetText() const; // line ends as "\n"

    // Operations on the current selection (or, without one, on the format typed next).
    void SetSelectionColor(COLORREF colour);
    bool IsBold() const;
    bool IsItalic() const;
    bool IsUnderline() const;
    // Over a selection where the effect is uniform, flips it; where it is mixed, sets it.
    void ToggleEffect(DWORD mask, DWORD effect);
    void ToggleBold() { ToggleEffect(CFM_BOLD, CFE_BOLD); }
    void ToggleItalic() { ToggleEffect(CFM_ITALIC, CFE_ITALIC); }
    void ToggleUnderline() { ToggleEffect(CFM_UNDERLINE, CFE_UNDERLINE); }
    void SetFaceName(const std::string& face);
    void SetFontSize(int points);
    int GetFontSize() const;
    void SelectColor(); // asks with the colour dialog

    // The font of the whole control from a font-dialog record, kept by value for ApplyFont.
    void SetFontInfo(const ChooseFontRecord& record, bool redraw = true);
    // Sets the stored font on all text and recolours it in the stored colour; nothing stays
    // selected. Does nothing before the first SetFontInfo.
    void ApplyFont();
    bool HasFontInfo() const { return m_bHaveFont; }
    const ChooseFontRecord& FontInfo() const { return m_ChooseFont; }

    void SetParagraphLeft();
    void SetParagraphRight();
    void SetParagraphCenter();
    bool IsParagraphLeft() const;
    bool IsParagraphRight() const;
    bool IsParagraphCenter() const;
    void ToggleBullet();
    bool IsBullet() const;

    void SetBackColor(COLORREF colour);
    void SetTextColor(COLORREF colour);
    COLORREF BackColor() const { return m_crBack; }
    COLORREF TextColor() const { return m_crText; }

    // The scalable font families installed (the widget side of the font choice).
    static void EnumTrueTypeFonts(std::vector<std::string>& list);
    std::vector<std::string> m_FontNames;
    static bool CopyToClipboard(const std::string& text);

    // Context-menu commands.
    void OnContextCopy() { copy(); }
    void OnContextPaste() { paste(); }
    void OnSelectAll() { selectAll(); }
    void OnClearAll();
    // The context menu as the right button shows it (commands carry their ids as data); a
    // read-only control greys Paste.
    std::unique_ptr<QMenu> CreateContextMenu();

    // 1: a carriage return hands the whole text over by lineEntered and clears the control.
    int m_nLineEntry = 0;

signals:
    void lineEntered(const QString& line);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void AppendOnGuiThread(const std::string& text, COLORREF colour);
    // The formats of the selected characters, or the format typed next when nothing is selected.
    std::vector<QTextCharFormat> SelectionFormats() const;
    void MergeFormat(const QTextCharFormat& format);
    Qt::Alignment SelectionAlignment() const;
    void SetAlignment(Qt::Alignment alignment);

    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crBack = RGB(255, 255, 255);
    ChooseFontRecord m_ChooseFont;
    bool m_bHaveFont = false;
    // The face and size that appends take; colour and weight come with each append.
    QTextCharFormat m_appendFormat;
};

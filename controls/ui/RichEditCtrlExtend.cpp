#include "controls/ui/RichEditCtrlExtend.h"

#include "platform/GuiThread.h"
#include "platform/ui/QtServices.h"

#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>

namespace {

bool HasEffect(const QTextCharFormat& format, DWORD bit)
{
    switch (bit) {
    case CFE_BOLD:
        return format.fontWeight() >= QFont::Bold;
    case CFE_ITALIC:
        return format.fontItalic();
    case CFE_UNDERLINE:
        return format.fontUnderline();
    default:
        return false;
    }
}

void SetEffect(QTextCharFormat& format, DWORD bit, bool on)
{
    switch (bit) {
    case CFE_BOLD:
        format.setFontWeight(on ? QFont::Bold : QFont::Normal);
        break;
    case CFE_ITALIC:
        format.setFontItalic(on);
        break;
    case CFE_UNDERLINE:
        format.setFontUnderline(on);
        break;
    default:
        break;
    }
}

} // namespace

CRichEditCtrlExtend::CRichEditCtrlExtend(QWidget* parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

CRichEditCtrlExtend::~CRichEditCtrlExtend() = default;

void CRichEditCtrlExtend::AppendText(std::string text, COLORREF colour)
{
    if (platform::IsGuiThread()) {
        AppendOnGuiThread(text, colour);
        return;
    }
    QPointer<CRichEditCtrlExtend> self(this);
    platform::post([self, text = std::move(text), colour] {
        if (self)
            self->AppendOnGuiThread(text, colour);
    });
}

void CRichEditCtrlExtend::AppendLine(std::string text, COLORREF colour)
{
    text += "\r\n";
    AppendText(std::move(text), colour);
}

void CRichEditCtrlExtend::AppendOnGuiThread(const std::string& text, COLORREF colour)
{
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');

    const QTextCursor user = textCursor();
    const bool keepSelection = user.hasSelection();
    QScrollBar* bar = verticalScrollBar();
    const int scroll = bar->value();

    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    QTextCharFormat format = m_appendFormat;
    format.setForeground(platform::ToQColor(colour));
    format.setFontWeight(QFont::Normal);
    end.insertText(s, format);

    if (keepSelection) {
        bar->setValue(scroll); // the user is reading or copying: leave the view where it is
    } else {
        QTextCursor caret(document());
        caret.movePosition(QTextCursor::End);
        setTextCursor(caret);
        bar->setValue(bar->maximum());
    }
}

int CRichEditCtrlExtend::GetTextLength() const
{
    return std::max(0, document()->characterCount() - 1);
}

std::string CRichEditCtrlExtend::GetText() const
{
    return toPlainText().toStdString();
}

std::vector<QTextCharFormat> CRichEditCtrlExtend::SelectionFormats() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return { cursor.charFormat() };
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    std::vector<QTextCharFormat> formats;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() + fragment.length() <= start || fragment.position() >= end)
                continue;
            formats.push_back(fragment.charFormat());
        }
    }
    if (formats.empty())
        formats.push_back(cursor.charFormat());
    return formats;
}

void CRichEditCtrlExtend::MergeFormat(const QTextCharFormat& format)
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    else
        mergeCurrentCharFormat(format);
}

void CRichEditCtrlExtend::SetSelectionColor(COLORREF colour)
{
    QTextCharFormat format;
    format.setForeground(platform::ToQColor(colour));
    MergeFormat(format);
}

bool CRichEditCtrlExtend::IsBold() const
{
    const auto formats = SelectionFormats();
    return std::all_of(formats.begin(), formats.end(), [](const auto& f) { return HasEffect(f, CFE_BOLD); });
}

bool CRichEditCtrlExtend::IsItalic() const
{
    const auto formats = SelectionFormats();
    return std::all_of(formats.begin(), formats.end(), [](const auto& f) { return HasEffect(f, CFE_ITALIC); });
}

bool CRichEditCtrlExtend::IsUnderline() const
{
    const auto formats = SelectionFormats();
    return std::all_of(formats.begin(), formats.end(), [](const auto& f) { return HasEffect(f, CFE_UNDERLINE); });
}

void CRichEditCtrlExtend::ToggleEffect(DWORD mask, DWORD effect)
{
    const auto formats = SelectionFormats();
    QTextCharFormat change;
    for (DWORD bit : { CFE_BOLD, CFE_ITALIC, CFE_UNDERLINE }) {
        if (!(mask & bit))
            continue;
        const bool first = HasEffect(formats.front(), bit);
        const bool uniform
            = std::all_of(formats.begin(), formats.end(), [&](const auto& f) { return HasEffect(f, bit) == first; });
        const bool wanted = (effect & bit) != 0;
        SetEffect(change, bit, uniform ? first != wanted : wanted);
    }
    MergeFormat(change);
}

void CRichEditCtrlExtend::SetFaceName(const std::string& face)
{
    QTextCharFormat format;
    format.setFontFamilies(QStringList { FontFamilyFor(face) });
    if (!textCursor().hasSelection())
        m_appendFormat.merge(format);
    MergeFormat(format);
}

void CRichEditCtrlExtend::SetFontSize(int points)
{
    if (points <= 0)
        return;
    QTextCharFormat format;
    format.setFontPointSize(points);
    if (!textCursor().hasSelection())
        m_appendFormat.merge(format);
    MergeFormat(format);
}

int CRichEditCtrlExtend::GetFontSize() const
{
    const double size = SelectionFormats().front().fontPointSize();
    return size > 0 ? static_cast<int>(size + 0.5) : font().pointSize();
}

void CRichEditCtrlExtend::SelectColor()
{
    const QColor chosen = QColorDialog::getColor(palette().color(QPalette::Text), this);
    if (chosen.isValid())
        SetSelectionColor(platform::FromQColor(chosen));
}

void CRichEditCtrlExtend::SetFontInfo(const ChooseFontRecord& record, bool redraw)
{
    m_ChooseFont = record;
    m_bHaveFont = true;
    const QFont font = FontFromLogFont(record.logFont);
    setFont(font);
    document()->setDefaultFont(font);
    m_appendFormat.setFont(font);
    if (redraw)
        viewport()->update();
}

void CRichEditCtrlExtend::ApplyFont()
{
    if (!m_bHaveFont)
        return;
    const QFont font = FontFromLogFont(m_ChooseFont.logFont);
    setFont(font);
    document()->setDefaultFont(font);
    m_appendFormat.setFont(font);

    QTextCursor all(document());
    all.select(QTextCursor::Document);
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(platform::ToQColor(m_ChooseFont.rgbColors));
    all.mergeCharFormat(format);

    QTextCursor caret(document());
    caret.movePosition(QTextCursor::End);
    setTextCursor(caret);
}

void CRichEditCtrlExtend::SetParagraphLeft()
{
    setAlignment(Qt::AlignLeft);
}
void CRichEditCtrlExtend::SetParagraphRight()
{
    setAlignment(Qt::AlignRight);
}
void CRichEditCtrlExtend::SetParagraphCenter()
{
    setAlignment(Qt::AlignHCenter);
}
bool CRichEditCtrlExtend::IsParagraphLeft() const
{
    const Qt::Alignment a = alignment() & Qt::AlignHorizontal_Mask;
    return a == Qt::AlignLeft || a == (Qt::AlignLeft | Qt::AlignAbsolute) || a == Qt::Alignment();
}
bool CRichEditCtrlExtend::IsParagraphRight() const
{
    return (alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute) == Qt::AlignRight;
}
bool CRichEditCtrlExtend::IsParagraphCenter() const
{
    return (alignment() & Qt::AlignHorizontal_Mask) == Qt::AlignHCenter;
}

void CRichEditCtrlExtend::ToggleBullet()
{
    QTextCursor cursor = textCursor();
    if (IsBullet()) {
        QTextList* list = cursor.currentList();
        const int start = cursor.selectionStart();
        const int end = cursor.selectionEnd();
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
             block = block.next()) {
            if (block.textList() == list)
                list->remove(block);
            QTextCursor c(block);
            QTextBlockFormat format = block.blockFormat();
            format.setIndent(0);
            c.setBlockFormat(format);
        }
        return;
    }
    cursor.createList(QTextListFormat::ListDisc);
}

bool CRichEditCtrlExtend::IsBullet() const
{
    const QTextList* list = textCursor().currentList();
    return list && list->format().style() == QTextListFormat::ListDisc;
}

void CRichEditCtrlExtend::SetBackColor(COLORREF colour)
{
    m_crBack = colour;
    QPalette p = palette();
    p.setColor(QPalette::Base, platform::ToQColor(colour));
    setPalette(p);
}

void CRichEditCtrlExtend::SetTextColor(COLORREF colour)
{
    m_crText = colour;
    QPalette p = palette();
    p.setColor(QPalette::Text, platform::ToQColor(colour));
    setPalette(p);
}

void CRichEditCtrlExtend::EnumTrueTypeFonts(std::vector<std::string>& list)
{
    for (const QString& family : QFontDatabase::families())
        if (QFontDatabase::isSmoothlyScalable(family))
            list.push_back(family.toStdString());
}

bool CRichEditCtrlExtend::CopyToClipboard(const std::string& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
    return true;
}

void CRichEditCtrlExtend::OnClearAll()
{
    clear();
}

std::unique_ptr<QMenu> CRichEditCtrlExtend::CreateContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    auto add = [&](const char* text, UINT id, void (CRichEditCtrlExtend::*handler)()) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    add("Copy", ID_LOG_COPY, &CRichEditCtrlExtend::OnContextCopy);
    menu->addSeparator();
    add("Paste", ID_LOG_PASTE, &CRichEditCtrlExtend::OnContextPaste)->setEnabled(!isReadOnly());
    menu->addSeparator();
    add("Select All", ID_LOG_SELECT_ALL, &CRichEditCtrlExtend::OnSelectAll);
    menu->addSeparator();
    add("Clear All", ID_LOG_CLEAR_ALL, &CRichEditCtrlExtend::OnClearAll);
    return menu;
}

void CRichEditCtrlExtend::contextMenuEvent(QContextMenuEvent* event)
{
    auto menu = CreateContextMenu();
    menu->exec(event->globalPos());
}

void CRichEditCtrlExtend::keyPressEvent(QKeyEvent* event)
{
    if (m_nLineEntry == 1 && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        QString line = toPlainText();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        clear();
        emit lineEntered(line);
        return;
    }
    QTextEdit::keyPressEvent(event);
}

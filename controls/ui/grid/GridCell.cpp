#include "controls/ui/grid/GridCell.h"

#include "controls/ui/grid/GridInPlaceList.h"

#include "controls/ui/FontFromLogFont.h"
#include "controls/ui/grid/GridCtrl.h"

#include "platform/ui/ImageList.h"

#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QStringList>

#include <algorithm>

namespace {

// A fixed cell's raised edge, light above and left and dark below and right, on the rectangle's
// own edges; the rectangle then shrinks by the edge.
void DrawRaisedFixedEdge(QPainter& painter, WinRect& rect)
{
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW);
    DrawLine(painter, rect.right, rect.top, rect.left, rect.top, light);
    DrawLine(painter, rect.left, rect.top, rect.left, rect.bottom, light);
    DrawLine(painter, rect.right, rect.top, rect.right, rect.bottom, dark);
    DrawLine(painter, rect.right, rect.bottom, rect.left, rect.bottom, dark);
    rect.Deflate(1, 1);
}

} // namespace

CGridDefaultCell* CGridCellBase::GetDefaultCell() const
{
    CGridCtrl* grid = GetGrid();
    return grid ? grid->DefaultCellFor(IsFixedRow(), IsFixedColumn()) : nullptr;
}

void CGridCellBase::CopyFrom(const CGridCellBase& other)
{
    if (&other == this)
        return;
    SetGrid(other.GetGrid());
    SetText(other.GetText());
    SetImage(other.GetImage());
    SetData(other.GetData());
    SetState(other.GetState());
    SetFormat(other.GetFormat());
    SetTextColour(other.GetTextColour());
    SetBackColour(other.GetBackColour());
    SetFont(other.HasDefaultFont() ? nullptr : other.GetFont());
    SetMargin(other.GetMargin());
}

std::optional<QSize> CGridCellBase::ImageSize(int image) const
{
    const CGridCtrl* grid = GetGrid();
    const ImageList* images = grid ? grid->GetImages() : nullptr;
    if (!images || image < 0 || image >= images->GetImageCount())
        return std::nullopt;
    return images->ImageSize();
}

BOOL CGridCellBase::Draw(QPainter* painter, int row, int col, WinRect rect, BOOL eraseBackground)
{
    CGridCtrl* grid = GetGrid();
    if (!grid || !painter || rect.Width() <= 0 || rect.Height() <= 0)
        return FALSE;
    const CGridDefaultCell* def = GetDefaultCell();
    if (!def)
        return FALSE;
    painter->save();

    COLORREF text = GetTextColour() == CLR_GRID_DEFAULT ? def->GetTextColour() : GetTextColour();
    COLORREF back = def->GetBackColour();
    if (GetBackColour() != CLR_GRID_DEFAULT) {
        back = GetBackColour();
        eraseBackground = TRUE;
    }
    const bool lines = grid->GetLineStyle() != 0;

    if (IsFocused() || IsDropHighlighted()) {
        if (IsSelected()) {
            back = GetSysColor(COLOR_HIGHLIGHT);
            text = GetSysColor(COLOR_HIGHLIGHTTEXT);
            eraseBackground = TRUE;
        }
        rect.right++;
        rect.bottom++;
        if (eraseBackground)
            FillSolidRect(*painter, rect, back);
        // With grid lines the frame stays off them; without, it encloses the whole cell.
        if (lines) {
            rect.right--;
            rect.bottom--;
        }
        if (grid->FramesFocusCell())
            FrameRect(*painter, rect, text);
        if (!lines) {
            rect.right--;
            rect.bottom--;
        }
    } else if (IsSelected()) {
        FillSolidRect(
            *painter, WinRect { rect.left, rect.top, rect.right + 1, rect.bottom + 1 }, GetSysColor(COLOR_HIGHLIGHT));
        text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else if (eraseBackground) {
        FillSolidRect(*painter, WinRect { rect.left, rect.top, rect.right + 1, rect.bottom + 1 }, back);
    }

    if (IsFixed() && lines) {
        const CGridCellPos focus = grid->GetFocusCell();
        if (grid->MarksFocusHeaders() && grid->IsValid(focus) && (focus.row == row || focus.col == col)) {
            rect.right++;
            rect.bottom++;
            DrawEdge(*painter, rect, BDR_SUNKENINNER, BF_RECT);
            rect.Deflate(1, 1);
        } else {
            DrawRaisedFixedEdge(*painter, rect);
        }
    }

    painter->setFont(GetFontObject());
    const int margin = static_cast<int>(GetMargin());
    rect.Deflate(margin, margin);
    rect.right++;
    rect.bottom++;

    const ImageList* images = grid->GetImages();
    if (const auto size = ImageSize(GetImage()); size && images)
        if (rect.Width() >= size->width() && rect.Height() >= size->height())
            images->Draw(*painter, GetImage(), rect.left, rect.top);

    if (row == 0 && col == grid->GetSortedColumn()) {
        const int mark = std::min(QFontMetrics(painter->font()).height(), rect.Height()) - 4;
        if (mark > 0 && rect.left + mark < rect.right) {
            const int top = rect.bottom - 2 - mark;
            const int left = rect.right - mark;
            const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
            const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
            // Highlight one pixel right and down, then the shadow in place.
            for (int offset : { 1, 0 }) {
                const COLORREF colour = offset ? light : shadow;
                const int x = left + offset;
                const int y = top + offset;
                if (grid->IsSortUp()) {
                    DrawLine(*painter, x, y + mark, x + mark / 2, y, colour);
                    DrawLine(*painter, x + mark / 2, y, x + mark, y + mark, colour);
                    DrawLine(*painter, x + mark, y + mark, x, y + mark, colour);
                } else {
                    DrawLine(*painter, x, y, x + mark / 2, y + mark, colour);
                    DrawLine(*painter, x + mark / 2, y + mark, x + mark, y, colour);
                    DrawLine(*painter, x + mark, y, x, y, colour);
                }
            }
            rect.right -= mark;
        }
    }

    GetTextRect(rect);
    rect.right++;
    rect.bottom++;
    painter->setPen(platform::ToQColor(text));
    DrawText(*painter, GetText(), rect, GetFormat() | DT_NOPREFIX);

    painter->restore();
    return TRUE;
}

BOOL CGridCellBase::PrintCell(QPainter* painter, int /*row*/, int /*col*/, WinRect rect)
{
    CGridCtrl* grid = GetGrid();
    if (!grid || !painter || rect.Width() <= 0 || rect.Height() <= 0)
        return FALSE;
    COLORREF text = RGB(0, 0, 0);
    std::optional<COLORREF> back;
    if (grid->PrintsShading()) {
        const CGridDefaultCell* def = GetDefaultCell();
        if (!def)
            return FALSE;
        if (IsFixed())
            back = GetBackColour() != CLR_GRID_DEFAULT ? GetBackColour() : def->GetBackColour();
        else if (GetBackColour() != CLR_GRID_DEFAULT && GetBackColour() != def->GetBackColour())
            back = GetBackColour();
        text = GetTextColour() == CLR_GRID_DEFAULT ? def->GetTextColour() : GetTextColour();
        // A grey-scale printer is a two-colour device: text without a background is weighted
        // per channel.
        const auto* printer = dynamic_cast<const QPrinter*>(painter->device());
        if (!back && printer && printer->colorMode() == QPrinter::GrayScale)
            text = RGB(static_cast<int>(GetRValue(text) * 0.30), static_cast<int>(GetGValue(text) * 0.59),
                static_cast<int>(GetBValue(text) * 0.11));
    }
    painter->save();
    if (back)
        FillSolidRect(*painter, WinRect { rect.left, rect.top, rect.right + 1, rect.bottom + 1 }, *back);
    painter->setPen(platform::ToQColor(text));
    painter->setFont(GetFontObject());
    if (IsFixed() && grid->GetLineStyle() != 0) {
        DrawRaisedFixedEdge(*painter, rect);
    }
    const int margin = static_cast<int>(GetMargin());
    rect.left += margin;
    rect.right -= margin;
    const ImageList* images = grid->GetImages();
    if (const auto size = ImageSize(GetImage()); size && images) {
        images->Draw(*painter, GetImage(), rect.left, rect.top);
        rect.left += margin + size->width();
    }
    painter->setPen(platform::ToQColor(text));
    DrawText(*painter, GetText(), rect, GetFormat() | DT_NOPREFIX);
    painter->restore();
    return TRUE;
}

BOOL CGridCellBase::GetTextRect(WinRect& rect)
{
    if (const auto size = ImageSize(GetImage()))
        rect.left += static_cast<int>(GetMargin()) + size->width() + 1;
    return TRUE;
}

WinRect CGridCellBase::GetTipRect(const WinRect& rect)
{
    WinRect r = rect;
    GetTextRect(r);
    return r;
}

QSize CGridCellBase::GetTextExtent(const QString& text, QPainter* painter)
{
    const CGridDefaultCell* def = GetDefaultCell();
    if (text.isEmpty())
        return def ? QSize(def->GetWidth(), def->GetHeight()) : QSize(0, 0);

    const QFont font = GetFontObject();
    const CGridCtrl* grid = GetGrid();
    const QFontMetrics metrics = painter && painter->device() ? QFontMetrics(font, painter->device())
        : grid                                                ? QFontMetrics(font, grid)
                                                              : QFontMetrics(font);
    const UINT format = GetFormat();
    QSize size;
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const WinRect r = MeasureText(metrics, text, WinRect { 0, 0, widest + 1, 0 }, format);
        size = QSize(r.Width(), r.Height());
    } else {
        size = QSize(metrics.horizontalAdvance(text), metrics.height());
    }
    const int margin = static_cast<int>(GetMargin());
    return size + QSize(2 * margin, 2 * margin);
}

QSize CGridCellBase::GetCellExtent(QPainter* painter)
{
    const QSize text = GetTextExtent(GetText(), painter);
    QSize image(0, 0);
    if (const auto size = ImageSize(GetImage())) {
        const int margin = static_cast<int>(GetMargin());
        image = QSize(size->width() + (2 * margin < text.width() ? margin : 0), size->height() + 2 * margin);
    }
    QSize extent(text.width() + image.width() + 1, std::max(text.height(), image.height()) + 1);
    if (IsFixed())
        extent += QSize(1, 1);
    return extent;
}

BOOL CGridCellBase::OnSetCursor()
{
    if (CGridCtrl* grid = GetGrid())
        grid->viewport()->setCursor(Qt::ArrowCursor);
    return TRUE;
}

void CGridCell::Reset()
{
    m_nState = 0;
    m_nEditorKind = 1;
    m_strText.clear();
    m_lData = 0;
    m_nImage = -1;
    m_nFormat = GRID_DEFAULT_UINT;
    m_crTextColour = CLR_GRID_DEFAULT;
    m_crBackColour = CLR_GRID_DEFAULT;
    m_pFont.reset();
    m_nMargin = GRID_DEFAULT_UINT;
    m_bEditing = FALSE;
    m_pEditor = nullptr;
}

void CGridCell::SetFont(const LogFont* font)
{
    if (font)
        m_pFont = *font;
    else
        m_pFont.reset();
}

UINT CGridCell::GetFormat() const
{
    if (m_nFormat != GRID_DEFAULT_UINT)
        return m_nFormat;
    const CGridDefaultCell* def = GetDefaultCell();
    return def ? def->GetFormat() : 0;
}

UINT CGridCell::GetMargin() const
{
    if (m_nMargin != GRID_DEFAULT_UINT)
        return m_nMargin;
    const CGridDefaultCell* def = GetDefaultCell();
    return def ? def->GetMargin() : 0;
}

const LogFont* CGridCell::GetFont() const
{
    if (m_pFont)
        return &*m_pFont;
    const CGridDefaultCell* def = GetDefaultCell();
    return def ? def->GetFont() : nullptr;
}

QFont CGridCell::GetFontObject() const
{
    if (m_pFont)
        return FontFromLogFont(*m_pFont);
    const CGridDefaultCell* def = GetDefaultCell();
    return def ? def->GetFontObject() : QApplication::font();
}

CGridDefaultCell::CGridDefaultCell()
{
    m_nFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    SetFontObject(QApplication::font());
}

void CGridDefaultCell::SetFont(const LogFont* font)
{
    if (!font)
        return;
    SetFontObject(FontFromLogFont(*font));
    m_pFont = *font;
}

void CGridDefaultCell::SetFontObject(const QFont& font)
{
    m_FontObject = font;
    m_pFont = LogFontFromFont(font);
    const QFontMetrics metrics(font);
    const QString sample = QStringLiteral(" XXXXXXXXXXXX ");
    m_nMargin = static_cast<UINT>(metrics.horizontalAdvance(QLatin1Char(' ')));
    m_Size = QSize(metrics.horizontalAdvance(sample), metrics.height() * 3 / 2);
}

// ---- editing --------------------------------------------------------------------------------

BOOL CGridCell::Edit(int row, int col, const WinRect& rect, QPoint /*point*/, UINT id, GridEditStart ch)
{
    if (!m_pGrid)
        return FALSE;
    if (IsEditing()) {
        if (auto* editor = dynamic_cast<CGridInPlaceEditor*>(m_pEditor.data()))
            editor->TypeCharacter(ch);
        return TRUE;
    }
    // Kind 0 opens nothing and leaves the cell as it was.
    if (m_nEditorKind != 1 && m_nEditorKind != 2)
        return TRUE;
    const UINT format = GetFormat();
    const UINT alignment = (format & DT_RIGHT) ? DT_RIGHT : (format & DT_CENTER) ? DT_CENTER : DT_LEFT;
    m_bEditing = TRUE;
    if (m_nEditorKind == 1)
        m_pEditor = new CGridInPlaceEdit(m_pGrid, rect, alignment, id, row, col, GetText(), ch);
    else
        m_pEditor = new CGridInPlaceList(m_pGrid, rect, GRID_CBS_DROPDOWN, id, row, col, m_Choices, GetText(), ch);
    return TRUE;
}

void CGridCell::EndEdit()
{
    if (auto* editor = dynamic_cast<CGridInPlaceEditor*>(m_pEditor.data()))
        editor->EndEdit();
}

void CGridCell::OnEndEdit()
{
    m_bEditing = FALSE;
    m_pEditor = nullptr;
}

#include "platform/ui/GdiShim.h"

#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <cstdlib>
#include <vector>

COLORREF GetSysColor(int index)
{
    const QPalette palette = QApplication::palette();
    auto role = [&](QPalette::ColorRole r) { return platform::FromQColor(palette.color(QPalette::Active, r)); };
    switch (index) {
    case COLOR_BTNFACE:
        return role(QPalette::Button);
    case COLOR_BTNSHADOW:
        return role(QPalette::Dark);
    case COLOR_3DDKSHADOW:
        return role(QPalette::Shadow);
    case COLOR_BTNHIGHLIGHT:
        return role(QPalette::Light);
    case COLOR_3DLIGHT:
        return role(QPalette::Midlight);
    case COLOR_WINDOW:
        return role(QPalette::Base);
    case COLOR_WINDOWTEXT:
        return role(QPalette::Text);
    case COLOR_HIGHLIGHT:
        return role(QPalette::Highlight);
    case COLOR_HIGHLIGHTTEXT:
        return role(QPalette::HighlightedText);
    case COLOR_MENU:
        return role(QPalette::Window);
    case COLOR_MENUTEXT:
        return role(QPalette::WindowText);
    case COLOR_GRAYTEXT:
        return platform::FromQColor(palette.color(QPalette::Disabled, QPalette::Text));
    case COLOR_BTNTEXT:
        return role(QPalette::ButtonText);
    case COLOR_INFOBK:
        return role(QPalette::ToolTipBase);
    case COLOR_INFOTEXT:
        return role(QPalette::ToolTipText);
    // Colours of the desktop's own furniture that Qt has no role for: the nearest role.
    case COLOR_SCROLLBAR:
        return role(QPalette::Button);
    case COLOR_BACKGROUND:
    case COLOR_APPWORKSPACE:
        return role(QPalette::Dark);
    case COLOR_ACTIVECAPTION:
    case COLOR_INACTIVECAPTION:
        return role(QPalette::Highlight);
    case COLOR_CAPTIONTEXT:
    case COLOR_INACTIVECAPTIONTEXT:
        return role(QPalette::HighlightedText);
    case COLOR_WINDOWFRAME:
    case COLOR_ACTIVEBORDER:
    case COLOR_INACTIVEBORDER:
        return role(QPalette::Window);
    default:
        return RGB(0, 0, 0);
    }
}

void FillSolidRect(QPainter& painter, const WinRect& rect, COLORREF colour)
{
    if (rect.IsEmpty())
        return;
    painter.fillRect(rect.ToQRect(), platform::ToQColor(colour));
}

void FillSolidRect(QPainter& painter, int x, int y, int cx, int cy, COLORREF colour)
{
    // A negative extent counts back from (x, y), as the system's fill does.
    WinRect r { std::min(x, x + cx), std::min(y, y + cy), std::max(x, x + cx), std::max(y, y + cy) };
    FillSolidRect(painter, r, colour);
}

void FrameRect(QPainter& painter, const WinRect& rect, COLORREF colour)
{
    if (rect.IsEmpty())
        return;
    FillSolidRect(painter, { rect.left, rect.top, rect.right, rect.top + 1 }, colour);
    FillSolidRect(painter, { rect.left, rect.bottom - 1, rect.right, rect.bottom }, colour);
    FillSolidRect(painter, { rect.left, rect.top, rect.left + 1, rect.bottom }, colour);
    FillSolidRect(painter, { rect.right - 1, rect.top, rect.right, rect.bottom }, colour);
}

void DrawLine(QPainter& painter, int x1, int y1, int x2, int y2, COLORREF colour)
{
    if (x1 == x2 && y1 == y2)
        return;
    if (y1 == y2) {
        FillSolidRect(painter, { std::min(x1, x2 + 1), y1, std::max(x1 + 1, x2), y1 + 1 }, colour);
        return;
    }
    if (x1 == x2) {
        FillSolidRect(painter, { x1, std::min(y1, y2 + 1), x1 + 1, std::max(y1 + 1, y2) }, colour);
        return;
    }
    // Any other direction: Bresenham's steps, the last one left out.
    const QColor c = platform::ToQColor(colour);
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1, y = y1;
    while (x != x2 || y != y2) {
        painter.fillRect(x, y, 1, 1, c);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void Draw3dRect(QPainter& painter, const WinRect& r, COLORREF topLeft, COLORREF bottomRight)
{
    if (r.IsEmpty())
        return;
    FillSolidRect(painter, { r.left, r.top, r.right - 1, r.top + 1 }, topLeft);
    FillSolidRect(painter, { r.left, r.top, r.left + 1, r.bottom - 1 }, topLeft);
    FillSolidRect(painter, { r.right - 1, r.top, r.right, r.bottom }, bottomRight);
    FillSolidRect(painter, { r.left, r.bottom - 1, r.right, r.bottom }, bottomRight);
}

namespace {

// One of the four border kinds: its top-left and bottom-right colours.
void DrawBorder(QPainter& painter, WinRect& r, COLORREF topLeft, COLORREF bottomRight, UINT flags)
{
    if (r.IsEmpty())
        return;
    // Where the bottom or right line is drawn, it owns the corner it shares with the top or left one.
    const int topEnd = (flags & BF_RIGHT) ? r.right - 1 : r.right;
    const int leftEnd = (flags & BF_BOTTOM) ? r.bottom - 1 : r.bottom;
    if (flags & BF_TOP)
        FillSolidRect(painter, { r.left, r.top, topEnd, r.top + 1 }, topLeft);
    if (flags & BF_LEFT)
        FillSolidRect(painter, { r.left, r.top, r.left + 1, leftEnd }, topLeft);
    if (flags & BF_RIGHT)
        FillSolidRect(painter, { r.right - 1, r.top, r.right, r.bottom }, bottomRight);
    if (flags & BF_BOTTOM)
        FillSolidRect(painter, { r.left, r.bottom - 1, r.right, r.bottom }, bottomRight);
    if (flags & BF_LEFT)
        ++r.left;
    if (flags & BF_TOP)
        ++r.top;
    if (flags & BF_RIGHT)
        --r.right;
    if (flags & BF_BOTTOM)
        --r.bottom;
}

} // namespace

void DrawEdge(QPainter& painter, const WinRect& rect, UINT edge, UINT flags)
{
    WinRect r = rect;
    if (edge & BDR_RAISEDOUTER)
        DrawBorder(painter, r, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW), flags);
    else if (edge & BDR_SUNKENOUTER)
        DrawBorder(painter, r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT), flags);
    if (edge & BDR_RAISEDINNER)
        DrawBorder(painter, r, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW), flags);
    else if (edge & BDR_SUNKENINNER)
        DrawBorder(painter, r, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT), flags);
}

// ---- text ------------------------------------------------------------------------------------

namespace {

// A laid-out line: the characters it shows and which of them carry the mnemonic underline.
struct Line {
    QString shown;
    std::vector<bool> marked;
    int width = 0;

    Line Mid(qsizetype from, qsizetype count) const
    {
        Line l;
        l.shown = shown.mid(from, count);
        l.marked.assign(marked.begin() + from, marked.begin() + from + l.shown.size());
        return l;
    }
    void Append(const Line& other)
    {
        shown += other.shown;
        marked.insert(marked.end(), other.marked.begin(), other.marked.end());
    }
};

Line ParsePrefixes(const QString& text, bool prefixes)
{
    Line all;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (prefixes && c == u'&') {
            if (i + 1 >= text.size())
                break; // a marker with nothing after it shows nothing
            ++i;
            all.shown += text[i];
            all.marked.push_back(text[i] != u'&');
            continue;
        }
        all.shown += c;
        all.marked.push_back(false);
    }
    return all;
}

void Measure(const QFontMetrics& fm, Line& line)
{
    line.width = fm.horizontalAdvance(line.shown);
}

// Greedy breaking at blanks; a word wider than the line stays whole.
void WrapInto(const QFontMetrics& fm, const Line& line, int width, std::vector<Line>& out)
{
    std::vector<Line> words;
    qsizetype start = 0;
    while (true) {
        const qsizetype blank = line.shown.indexOf(u' ', start);
        if (blank < 0) {
            words.push_back(line.Mid(start, line.shown.size() - start));
            break;
        }
        words.push_back(line.Mid(start, blank - start));
        start = blank + 1;
    }
    Line current = words.front();
    for (size_t i = 1; i < words.size(); ++i) {
        Line candidate = current;
        candidate.shown += u' ';
        candidate.marked.push_back(false);
        candidate.Append(words[i]);
        if (fm.horizontalAdvance(candidate.shown) <= width) {
            current = std::move(candidate);
        } else {
            Measure(fm, current);
            out.push_back(std::move(current));
            current = words[i];
        }
    }
    Measure(fm, current);
    out.push_back(std::move(current));
}

// Cuts the line until it and "..." fit the width.
void Elide(const QFontMetrics& fm, Line& line, int width)
{
    if (line.width <= width)
        return;
    const QString dots = QStringLiteral("...");
    qsizetype keep = line.shown.size();
    while (keep > 0 && fm.horizontalAdvance(line.shown.left(keep) + dots) > width)
        --keep;
    line = line.Mid(0, keep);
    for (QChar c : dots) {
        line.shown += c;
        line.marked.push_back(false);
    }
    Measure(fm, line);
}

std::vector<Line> Layout(const QFontMetrics& fm, const QString& text, const WinRect& rect, UINT format)
{
    std::vector<Line> lines;
    if (text.isEmpty())
        return lines;
    const Line all = ParsePrefixes(text, !(format & DT_NOPREFIX));
    std::vector<Line> paragraphs;
    if (format & DT_SINGLELINE) {
        paragraphs.push_back(all);
    } else {
        qsizetype start = 0;
        while (true) {
            const qsizetype lf = all.shown.indexOf(u'\n', start);
            qsizetype end = lf < 0 ? all.shown.size() : lf;
            const qsizetype next = lf < 0 ? -1 : lf + 1;
            if (end > start && all.shown[end - 1] == u'\r')
                --end;
            paragraphs.push_back(all.Mid(start, end - start));
            if (next < 0)
                break;
            start = next;
        }
    }
    for (Line& p : paragraphs) {
        Measure(fm, p);
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE) && p.width > rect.Width())
            WrapInto(fm, p, rect.Width(), lines);
        else
            lines.push_back(std::move(p));
    }
    if (format & DT_END_ELLIPSIS) {
        for (Line& l : lines)
            Elide(fm, l, rect.Width());
    }
    return lines;
}

// The line in Qt's own mnemonic notation.
QString QtMnemonicText(const Line& line)
{
    QString out;
    for (qsizetype i = 0; i < line.shown.size(); ++i) {
        if (line.marked[static_cast<size_t>(i)])
            out += u'&';
        else if (line.shown[i] == u'&')
            out += u'&';
        out += line.shown[i];
    }
    return out;
}

} // namespace

QString StripMnemonics(const QString& text)
{
    return ParsePrefixes(text, true).shown;
}

WinRect MeasureText(const QFontMetrics& fm, const QString& text, const WinRect& rect, UINT format)
{
    const std::vector<Line> lines = Layout(fm, text, rect, format);
    int width = 0;
    for (const Line& l : lines)
        width = std::max(width, l.width);
    return { rect.left, rect.top, rect.left + width, rect.top + static_cast<int>(lines.size()) * fm.height() };
}

WinRect MeasureText(const QFont& font, const QString& text, const WinRect& rect, UINT format)
{
    return MeasureText(QFontMetrics(font), text, rect, format);
}

int DrawText(QPainter& painter, const QString& text, const WinRect& rect, UINT format)
{
    const QFontMetrics fm = painter.fontMetrics();
    const std::vector<Line> lines = Layout(fm, text, rect, format);
    const int lineHeight = fm.height();
    const int height = static_cast<int>(lines.size()) * lineHeight;
    if ((format & DT_CALCRECT) || lines.empty())
        return height;

    int y = rect.top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            y = (rect.top + rect.bottom - height) / 2;
        else if (format & DT_BOTTOM)
            y = rect.bottom - height;
    }
    const bool prefixes = !(format & DT_NOPREFIX);
    int mnemonicFlag = 0;
    if (prefixes) {
        const QStyle* style = QApplication::style();
        const bool underline = style == nullptr || style->styleHint(QStyle::SH_UnderlineShortcut);
        mnemonicFlag = underline ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
    }

    painter.save();
    if (!(format & DT_NOCLIP))
        painter.setClipRect(rect.ToQRect(), painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    for (const Line& line : lines) {
        int x = rect.left;
        if (format & DT_CENTER)
            x = (rect.left + rect.right - line.width) / 2;
        else if (format & DT_RIGHT)
            x = rect.right - line.width;
        const QString shown = prefixes ? QtMnemonicText(line) : line.shown;
        painter.drawText(QRect(x, y, std::max(line.width, 1), lineHeight),
            Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip | mnemonicFlag, shown);
        y += lineHeight;
    }
    painter.restore();
    return height;
}

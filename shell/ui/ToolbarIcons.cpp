#include "shell/ui/ToolbarIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include <map>

namespace {

struct Tile {
    const char* label;
    QColor colour;
};

QPixmap PaintTile(const Tile& tile, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1, 1, size - 2, size - 2);
    p.setPen(QPen(tile.colour.darker(140), 1));
    p.setBrush(tile.colour);
    p.drawRoundedRect(box, size / 6.0, size / 6.0);
    QFont font("DejaVu Sans");
    font.setBold(true);
    const QString label = QString::fromUtf8(tile.label);
    font.setPixelSize(label.size() <= 1 ? size * 3 / 5 : label.size() == 2 ? size * 2 / 5 : size * 3 / 10);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, label);
    return pixmap;
}

QIcon TileIcon(const Tile& tile)
{
    QIcon icon;
    for (int size : { 16, 24, 32 })
        icon.addPixmap(PaintTile(tile, size));
    return icon;
}

} // namespace

QIcon ToolbarIcon(UINT id)
{
    QStyle* style = QApplication::style();
    switch (id) {
    case 57601:
        return style->standardIcon(QStyle::SP_DialogOpenButton);
    case 57603:
        return style->standardIcon(QStyle::SP_DialogSaveButton);
    case 32962:
        return style->standardIcon(QStyle::SP_MediaPlay);
    case 32963:
        return style->standardIcon(QStyle::SP_MediaStop);
    default:
        break;
    }
    static const std::map<UINT, Tile> tiles {
        { 32946, { "DEV", QColor(70, 90, 120) } },
        { 32773, { "R", QColor(40, 140, 60) } },
        { 32775, { "V", QColor(40, 110, 170) } },
        { 32777, { "ID", QColor(110, 80, 160) } },
        { 32900, { "CFG", QColor(120, 120, 40) } },
        { 32920, { "SW", QColor(150, 100, 40) } },
        { 32977, { "8/16", QColor(90, 90, 90) } },
        { 32922, { "+-", QColor(60, 120, 120) } },
        { 32811, { "FF", QColor(130, 130, 130) } },
        { 32774, { "E", QColor(190, 50, 40) } },
        { 32778, { "BC", QColor(60, 150, 150) } },
        { 32772, { "W", QColor(210, 120, 20) } },
        { 32776, { "L", QColor(120, 70, 40) } },
        { 32782, { "B", QColor(40, 90, 150) } },
        { 32951, { "?", QColor(40, 120, 200) } },
    };
    auto it = tiles.find(id);
    return it == tiles.end() ? QIcon() : TileIcon(it->second);
}

QIcon ProgramIcon()
{
    return TileIcon({ "T", QColor(30, 100, 160) });
}

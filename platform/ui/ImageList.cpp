#include "platform/ui/ImageList.h"

#include <QPainter>

#include <algorithm>

bool ImageList::Create(int cx, int cy)
{
    m_images.clear();
    if (cx <= 0 || cy <= 0) {
        m_size = QSize();
        return false;
    }
    m_size = QSize(cx, cy);
    return true;
}

QImage ImageList::Cut(const QImage& strip, int x, COLORREF transparent) const
{
    QImage out(m_size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QImage src = strip.convertToFormat(QImage::Format_RGB32);
    const QRgb key = qRgb(GetRValue(transparent), GetGValue(transparent), GetBValue(transparent));
    for (int y = 0; y < m_size.height() && y < src.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int i = 0; i < m_size.width() && x + i < src.width(); ++i) {
            const QRgb p = in[x + i] | 0xFF000000u;
            if (p != key)
                line[i] = p;
        }
    }
    return out;
}

int ImageList::Add(const QImage& strip, COLORREF transparent)
{
    if (!IsCreated() || strip.isNull())
        return -1;
    const int first = GetImageCount();
    const int count = std::max(1, strip.width() / m_size.width());
    for (int i = 0; i < count; ++i)
        m_images.push_back(Cut(strip, i * m_size.width(), transparent));
    return first;
}

QImage ImageList::Fit(const QImage& image) const
{
    QImage out(m_size, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, image.convertToFormat(QImage::Format_ARGB32));
    p.end();
    return out;
}

int ImageList::Add(const QImage& image)
{
    if (!IsCreated() || image.isNull())
        return -1;
    m_images.push_back(Fit(image));
    return GetImageCount() - 1;
}

bool ImageList::Replace(int index, const QImage& image)
{
    if (index < 0 || index >= GetImageCount() || image.isNull())
        return false;
    m_images[static_cast<size_t>(index)] = Fit(image);
    return true;
}

bool ImageList::Replace(int index, const QImage& strip, COLORREF transparent)
{
    if (index < 0 || index >= GetImageCount() || strip.isNull())
        return false;
    m_images[static_cast<size_t>(index)] = Cut(strip, 0, transparent);
    return true;
}

bool ImageList::Remove(int index)
{
    if (index == -1) {
        m_images.clear();
        return true;
    }
    if (index < 0 || index >= GetImageCount())
        return false;
    m_images.erase(m_images.begin() + index);
    return true;
}

QImage ImageList::Image(int index) const
{
    if (index < 0 || index >= GetImageCount())
        return {};
    return m_images[static_cast<size_t>(index)];
}

bool ImageList::Draw(QPainter& painter, int index, int x, int y) const
{
    if (index < 0 || index >= GetImageCount())
        return false;
    painter.drawImage(x, y, m_images[static_cast<size_t>(index)]);
    return true;
}

#pragma once
// A list of images of one size, each with its mask: a strip adds one image per image width, a
// transparent colour becomes the mask, and drawing leaves the masked pixels alone.

#include "platform/Colour.h"

#include <QImage>
#include <QPixmap>
#include <QSize>

#include <vector>

class QPainter;

class ImageList {
public:
    ImageList() = default;
    ImageList(int cx, int cy) { Create(cx, cy); }

    // Empties the list and fixes the image size; false for a size that is not positive.
    bool Create(int cx, int cy);
    bool IsCreated() const { return !m_size.isEmpty(); }
    QSize ImageSize() const { return m_size; }
    int GetImageCount() const { return static_cast<int>(m_images.size()); }

    // Cuts `strip` into images of the list's width, left to right (a strip narrower than one
    // image gives one), and appends them. Pixels of `transparent` become transparent; any other
    // pixel is kept opaque. Returns the index of the first image added, -1 on failure.
    int Add(const QImage& strip, COLORREF transparent);
    int Add(const QPixmap& strip, COLORREF transparent) { return Add(strip.toImage(), transparent); }
    // Appends an image whose alpha channel is its mask.
    int Add(const QImage& image);
    // Replaces one image by the first image of `strip`; false for an index out of range.
    bool Replace(int index, const QImage& strip, COLORREF transparent);
    bool Replace(int index, const QPixmap& strip, COLORREF transparent)
    {
        return Replace(index, strip.toImage(), transparent);
    }
    // Replaces one image by an image whose alpha channel is its mask.
    bool Replace(int index, const QImage& image);
    // Removes one image, or all of them for -1.
    bool Remove(int index);

    // The image with its mask as alpha (ARGB32); a null image for an index out of range.
    QImage Image(int index) const;
    // Draws the image at (x, y), its masked pixels left as they were; false for a bad index.
    bool Draw(QPainter& painter, int index, int x, int y) const;

private:
    QImage Fit(const QImage& image) const;
    QImage Cut(const QImage& strip, int x, COLORREF transparent) const;

    QSize m_size;
    std::vector<QImage> m_images;
};

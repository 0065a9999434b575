#pragma once
// The style every VarnMenu runs under: menu items are measured and drawn by the menu itself
// (VarnMenu::MeasureItem and DrawItem, through a measure and a draw record); the panel, the
// scrollers and everything else go to the application's style underneath.

#include <QProxyStyle>

class VarnMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    VarnMenuStyle();

    // The one instance, owned by the application object.
    static VarnMenuStyle* Instance();

    QSize sizeFromContents(
        ContentsType type, const QStyleOption* option, const QSize& size, const QWidget* widget) const override;
    void drawControl(
        ControlElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
        QStyleHintReturn* returnData = nullptr) const override;
    int pixelMetric(
        PixelMetric metric, const QStyleOption* option = nullptr, const QWidget* widget = nullptr) const override;
};

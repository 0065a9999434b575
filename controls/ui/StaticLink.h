#pragma once
// A label that acts as a hyperlink: underlined text in the link colour, purple once opened, the
// target as its tooltip, and a click that opens the target with the desktop. Label pictures keep
// their own look and still open their target.

#include "platform/Colour.h"

#include <QLabel>

#include <functional>
#include <string>

// The program's home page: the target of a link that was never given one.
inline constexpr const char* kTonrigHomePage = "https://www.ostrand.example/";

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    explicit CStaticLink(QWidget* parent = nullptr);
    explicit CStaticLink(const QString& text, QWidget* parent = nullptr);

    // The target: a web address, a "mailto:" address or a file. Empty: the label's own text.
    void SetLink(const std::string& target);
    const std::string& GetLink() const { return m_link; }
    bool IsVisited() const { return m_bVisited; }
    // The colour the text is drawn in now.
    COLORREF CurrentColor() const { return m_bVisited ? m_colorVisited : m_colorUnvisited; }
    // Whether the label shows text (and so gets the link look) rather than a picture.
    bool IsTextLink() const;

    // Opens the target as a click does. True when the desktop opened it.
    bool Open();

    // The beep a failed open gives; tests replace it. An empty hook restores QApplication::beep.
    using BeepHook = std::function<void()>;
    static void SetBeepHook(BeepHook hook);

    COLORREF m_colorUnvisited = 0xFF0000; // blue
    COLORREF m_colorVisited = 0x800080; // purple

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_bVisited = false;
    bool m_bPressed = false;
    std::string m_link = kTonrigHomePage;
};

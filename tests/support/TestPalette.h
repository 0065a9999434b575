#pragma once
// An application palette in which every colour role of every group has a colour of its own, so
// a test can tell which role a pixel came from. The previous palette comes back at the end.

#include <QApplication>
#include <QColor>
#include <QPalette>

namespace tonrig::test {

// The test palette's colour of a role in a group.
inline QColor TestPaletteColor(QPalette::ColorGroup group, QPalette::ColorRole role)
{
    const int r = static_cast<int>(role);
    const int g = static_cast<int>(group);
    return QColor(7 + 11 * r, 13 + 60 * g, 250 - 11 * r);
}

class ScopedTestPalette {
public:
    ScopedTestPalette()
        : m_previous(QApplication::palette())
    {
        QPalette palette;
        for (auto group : { QPalette::Active, QPalette::Disabled, QPalette::Inactive }) {
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                if (role == QPalette::NoRole)
                    continue;
                const auto r = static_cast<QPalette::ColorRole>(role);
                palette.setColor(group, r, TestPaletteColor(group, r));
            }
        }
        QApplication::setPalette(palette);
    }
    ~ScopedTestPalette() { QApplication::setPalette(m_previous); }
    ScopedTestPalette(const ScopedTestPalette&) = delete;
    ScopedTestPalette& operator=(const ScopedTestPalette&) = delete;

private:
    QPalette m_previous;
};

} // namespace tonrig::test

#include "platform/ui/QtServices.h"

#include "platform/FontFaces.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

namespace platform {

namespace {

int ShowBox(const std::string& text, const std::string& caption, UINT type)
{
    QMessageBox box(QApplication::activeWindow());
    // A box says its text as it stands: a text that looks like markup (a server's answer...) is
    // never rendered.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(caption.empty() ? kAppTitle : caption));
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MB_RETRYCANCEL: box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    if (type & MB_DEFBUTTON2) {
        for (QMessageBox::StandardButton second : { QMessageBox::No, QMessageBox::Cancel })
            if (QAbstractButton* button = box.button(second)) {
                box.setDefaultButton(qobject_cast<QPushButton*>(button));
                break;
            }
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Retry: return IDRETRY;
    default: return IDCANCEL;
    }
}

} // namespace

void InstallQtMessageBoxes()
{
    SetMessageBoxService([](const std::string& text, const std::string& caption, UINT type) {
        int answer = IDCANCEL;
        // A box asked for during shut-down is not delivered and counts as cancelled.
        send([&] { answer = ShowBox(text, caption, type); });
        return answer;
    });
}

void InstallQtDesktopOpener()
{
    SetDesktopOpener([](const std::string& target) -> OpenResult {
        const QString t = QString::fromStdString(target);
        const QUrl url = QFileInfo::exists(t) ? QUrl::fromLocalFile(t) : QUrl(t);
        if (QDesktopServices::openUrl(url))
            return {true, {}};
        return {false, "the desktop could not open " + target};
    });
}

QFont MakeFont(const std::string& face, int pointSize, int weight)
{
    QString family = QString::fromStdString(SubstituteFontFace(face));
    if (!QFontDatabase::hasFamily(family))
        family = "DejaVu Sans";
    QFont font(family);
    font.setPointSize(pointSize > 0 ? pointSize : 9);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 100, 900)));
    return font;
}

} // namespace platform

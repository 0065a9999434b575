#pragma once
// The main view on the virtual programmer for script tests: a temporary folder for the scripts and
// their files, and whether a script has ended.

#include "operations/ScriptFlags.h"
#include "operations/ui/TonrigView.h"
#include "platform/ui/QtServices.h"

#include "ViewOnBoxFixture.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <fstream>
#include <string>

namespace tonrig::test {

class ScriptViewFixture : public ViewOnBoxFixture {
protected:
    using ViewOnBoxFixture::ViewOnBoxFixture;

    std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::string Write(const std::string& name, const std::string& text) const
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The script has ended and nothing is about to start another.
    bool ScriptEnded() const
    {
        return !view->WorkerRunning(WorkerSlot::Script) && !view->IsTimerArmed(CTonrigView::kTimerScriptGoto)
            && !view->IsTimerArmed(CTonrigView::kTimerScriptStart) && !g_bScriptRunning;
    }
    // The lines the script thread posted at its end.
    static void Flush()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    // The colour of the first log line that reads `text`; -1 when there is none.
    long long LineColour(const std::string& text) const
    {
        for (QTextBlock b = view->MessageLog().document()->begin(); b.isValid(); b = b.next())
            if (b.text().toStdString() == text && b.begin() != b.end())
                return platform::FromQColor(b.begin().fragment().charFormat().foreground().color());
        return -1;
    }

    QTemporaryDir dir;
};

} // namespace tonrig::test

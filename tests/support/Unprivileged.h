#pragma once
// Read-only files and folders stop every user but root, and the tests may run as root. A test that
// needs one to stop the program runs that part in a child process, the statement of EXPECT_EXIT,
// as an UnprivilegedChild:
//
//     EXPECT_EXIT({
//         tonrig::test::UnprivilegedChild child({ folder });
//         ... EXPECT_ ... checks ...
//         child.Exit();
//     }, testing::ExitedWithCode(0), "");

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace tonrig::test {

class UnprivilegedChild {
public:
    // As root: gives `paths`, with all below them, to user and group 65534 and becomes that user
    // in every thread of the process, for good. As any other user: nothing, the files stop the
    // test's own user.
    explicit UnprivilegedChild(const std::vector<std::string>& paths);
    // Ends the child: exit code 0 when the checks since its start held, else 1 after writing the
    // failed ones to its error output.
    [[noreturn]] void Exit() const;

private:
    int m_partsBefore; // the test's results inherited from the parent
};

// The ways a settings file stops taking writes, each with the reason the store gives for it. Each
// spoils `file` (or its folder) from a writable start; RestoreWritableFolder undoes the folder's.
struct UnwritableFile {
    const char* name;
    std::function<void()> spoil;
    const char* reason;
};
std::vector<UnwritableFile> WaysAFileRefusesWrites(const QString& file);
void RestoreWritableFolder(const QString& file);

} // namespace tonrig::test

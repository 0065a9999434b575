#include "support/Unprivileged.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <grp.h>
#include <unistd.h>

namespace tonrig::test {

namespace {

const testing::TestResult& Result()
{
    return *testing::UnitTest::GetInstance()->current_test_info()->result();
}

bool GiveAway(const std::vector<std::string>& paths, uid_t user, gid_t group)
{
    for (const std::string& path : paths) {
        if (::lchown(path.c_str(), user, group) != 0)
            return false;
        QDirIterator it(QString::fromStdString(path),
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (::lchown(QFile::encodeName(it.next()).constData(), user, group) != 0)
                return false;
    }
    return true;
}

} // namespace

UnprivilegedChild::UnprivilegedChild(const std::vector<std::string>& paths)
    : m_partsBefore(Result().total_part_count())
{
    if (::geteuid() != 0)
        return;
    constexpr uid_t kUser = 65534;
    constexpr gid_t kGroup = 65534;
    EXPECT_TRUE(GiveAway(paths, kUser, kGroup));
    EXPECT_TRUE(::setgroups(0, nullptr) == 0 && ::setgid(kGroup) == 0 && ::setuid(kUser) == 0);
}

void UnprivilegedChild::Exit() const
{
    // The child's results reach no listener: its failures go to its error output, which the
    // parent shows.
    bool failed = false;
    for (int i = m_partsBefore; i < Result().total_part_count(); ++i) {
        const testing::TestPartResult& part = Result().GetTestPartResult(i);
        if (!part.failed())
            continue;
        failed = true;
        std::fprintf(
            stderr, "%s:%d: %s\n", part.file_name() ? part.file_name() : "?", part.line_number(), part.message());
    }
    std::fflush(nullptr);
    std::_Exit(failed ? 1 : 0);
}

namespace {

constexpr QFile::Permissions kReadOnlyFolder
    = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

} // namespace

std::vector<UnwritableFile> WaysAFileRefusesWrites(const QString& file)
{
    const QString folder = QFileInfo(file).absolutePath();
    return {
        { "a read-only file",
            [file] { QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther); },
            "Permission denied" },
        { "a folder in its place",
            [file] {
                QFile::remove(file);
                QDir().mkdir(file);
            },
            "Is a directory" },
        { "a read-only folder", [folder] { QFile::setPermissions(folder, kReadOnlyFolder); },
            "the folder is read-only" },
    };
}

void RestoreWritableFolder(const QString& file)
{
    QFile::setPermissions(QFileInfo(file).absolutePath(), kReadOnlyFolder | QFile::WriteOwner);
}

} // namespace tonrig::test

#include "platform/FileSync.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// Set as the program is loaded, before any of its saves.
const QDateTime g_runStart = QDateTime::currentDateTimeUtc();

// A save's temporary file ends in six random letters of either case. A user's file beside the target
// (a backup, a signed or a golden copy) has a suffix of one or two words, each in lower case, upper
// case or capitalised: "backup", "BACKUP", "Backup", "myCopy", "OldBAK". Such a suffix is never taken
// for a save's, at the price of leaving about a third of the real ones in place.
bool IsSaveTemporarySuffix(QStringView suffix)
{
    if (suffix.size() != 6)
        return false;
    for (QChar c : suffix)
        if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')))
            return false;
    static const QRegularExpression kOneOrTwoWords(QStringLiteral("^(?:[a-z]+|[A-Z][a-z]*|[A-Z]+){1,2}$"));
    return !kOneOrTwoWords.match(suffix.toString()).hasMatch();
}

} // namespace

void StartWriteback(int fd, std::int64_t offset, std::int64_t length)
{
#if defined(__linux__)
    if (fd >= 0 && length > 0)
        ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)offset;
    (void)length;
#endif
}

void RemoveSaveLeftovers(const std::string& target)
{
    const QFileInfo info(QString::fromStdString(target));
    const QString prefix = info.fileName() + '.';
    if (prefix.size() == 1)
        return;
    const QDir folder = info.absoluteDir();
    // Listed whole: the target's name may hold the characters of a name filter.
    const QFileInfoList entries
        = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (!name.startsWith(prefix) || !IsSaveTemporarySuffix(QStringView(name).mid(prefix.size())))
            continue;
        if (entry.isSymLink() || entry.ownerId() != ::geteuid())
            continue;
        if (entry.lastModified() >= g_runStart)
            continue;
        QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace platform

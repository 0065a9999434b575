#include "platform/Resources.h"

#include "platform/Folders.h"

#include <QFile>

namespace platform {

std::optional<QByteArray> LoadResource(const std::string& type, const std::string& name)
{
    const QString local = QString::fromStdString(GetAppDataFolder() + "/Resources/" + type + "/" + name);
    const QString builtIn = QString::fromStdString(":/" + type + "/" + name);
    for (const QString& path : {local, builtIn}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return std::nullopt;
}

std::optional<QByteArray> LoadResource(const std::string& type, int number)
{
    return LoadResource(type, std::to_string(number));
}

} // namespace platform

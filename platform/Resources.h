#pragma once
// Resources by type and number ("DATAF" 355, "CPLDF" 12, ...) or by type and name, compiled in
// with the Qt resource system under ":/<TYPE>/<number-or-name>". A file of the same name under
// <application-data folder>/Resources/<TYPE>/ takes precedence, so a user can extend or replace
// one without rebuilding.

#include <QByteArray>

#include <optional>
#include <string>

namespace platform {

std::optional<QByteArray> LoadResource(const std::string& type, int number);
std::optional<QByteArray> LoadResource(const std::string& type, const std::string& name);

} // namespace platform

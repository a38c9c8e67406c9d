#pragma once

#include <QString>
#include <optional>

namespace orvana::jobs {

// Creates path and any missing parents. Gives nullopt when the folder stands afterwards, else
// "cannot create folder PATH: reason" (the system's reason for the first level that failed).
[[nodiscard]] std::optional<QString> MakeFolders(const QString& path);

} // namespace orvana::jobs

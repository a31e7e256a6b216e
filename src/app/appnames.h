#pragma once

#include <QString>

// The one place that names the two programs and their hand-over paths.
namespace AppNames {

inline const QString MainExecutable = QStringLiteral("Pelicrow" PELICROW_EXE_SUFFIX);
inline const QString LauncherExecutable = QStringLiteral("Pelicrow_Launcher" PELICROW_EXE_SUFFIX);
// Relative to the application directory: where a downloaded newer version waits.
inline const QString PendingExecutable = QStringLiteral("/tmp/") + MainExecutable;
inline const QString UpdateServiceUrl = QStringLiteral(PELICROW_UPDATE_URL);
inline const QString SiteUrl = QStringLiteral(PELICROW_SITE_URL);

} // namespace AppNames

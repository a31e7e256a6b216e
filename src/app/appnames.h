#pragma once

#include <QString>

// The one place that names the two programs, their version, icon and folders.
namespace AppNames {

inline const QString MainExecutable = QStringLiteral("Pelicrow" PELICROW_EXE_SUFFIX);
inline const QString LauncherExecutable = QStringLiteral("Pelicrow_Launcher" PELICROW_EXE_SUFFIX);
inline const QString Version = QStringLiteral(PELICROW_VERSION);
inline const QString Icon = QStringLiteral(":/icone/camera.png");
// Relative to the home folder: the settings, and the carousel pictures within.
inline const QString SettingsFolder = QStringLiteral("/Pelicrow");
inline const QString ResourcesFolder = SettingsFolder + QStringLiteral("/Resources");
// Relative to the application directory: where a downloaded newer version waits.
inline const QString DownloadFolder = QStringLiteral("/tmp");
inline const QString PendingExecutable = DownloadFolder + QLatin1Char('/') + MainExecutable;
inline const QString UpdateServiceUrl = QStringLiteral(PELICROW_UPDATE_URL);
inline const QString SiteUrl = QStringLiteral(PELICROW_SITE_URL);

} // namespace AppNames

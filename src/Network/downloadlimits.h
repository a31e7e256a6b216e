#pragma once

#include <QtGlobal>

// The bounds of everything the update client fetches: a server, hostile or merely
// broken, can cost the user only this much memory, disk, time and resources.
namespace DownloadLimits {

constexpr qint64 ManifestBytes = 2 * 1024 * 1024;
constexpr qint64 PictureBytes = 20 * 1024 * 1024;
constexpr qint64 ExecutableBytes = 300 * 1024 * 1024;
// Downloads of one cycle in flight at once; the rest wait their turn.
constexpr int ParallelDownloads = 4;
// A reply that sends nothing for this long is abandoned.
constexpr int TransferTimeoutMs = 30000;
// What the network thread holds of a body that is not yet on disk.
constexpr qint64 ReadBufferBytes = 1024 * 1024;
// Longest file name most file systems accept, in bytes.
constexpr int FileNameBytes = 255;

} // namespace DownloadLimits

#pragma once

#include <QString>
#include <QStringList>

// The one place for what a fresh installation starts with.
namespace Defaults {

// The hot-keys are Ctrl+Shift and a digit; the settings store the digit's character code.
inline constexpr int FastCutKey = '2';
inline constexpr int FullScreenKey = '3';
inline constexpr int NormalCutKey = '4';

struct ImageType
{
    const char* suffix;
    const char* name; // as the "Save as..." filters call it
};

// The types a capture can be saved as, the first of them the default, in the order
// the panel's list and the "Save as..." filters offer them.
inline constexpr ImageType ImageTypes[] = {
    {".png", "PNG"},
    {".jpg", "JPEG"},
    {".jpeg", "JPEG"},
    {".bmp", "Bitmap"},
    {".ppm", "Ppm"},
    {".xpm", "Xpm"},
    {".xbm", "Xbm"},
};
inline constexpr const char* ImgType = ImageTypes[0].suffix;

inline QStringList imageTypeSuffixes()
{
    QStringList suffixes;
    for (const auto& type : ImageTypes)
        suffixes << QLatin1String(type.suffix);
    return suffixes;
}

// The tray menu has always put .xbm before .xpm, the panel after it; users of
// both know them that way, so each keeps its order.
inline QStringList trayMenuImageTypes()
{
    QStringList suffixes = imageTypeSuffixes();
    suffixes.swapItemsAt(suffixes.indexOf(".xpm"), suffixes.indexOf(".xbm"));
    return suffixes;
}

} // namespace Defaults

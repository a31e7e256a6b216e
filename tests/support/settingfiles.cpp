#include "settingfiles.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>

namespace SettingFiles {

QString path(ModelConfig::Setting setting)
{
    return ModelConfig::configDirectory() + ModelConfig::fileName(setting);
}

QString text(ModelConfig::Setting setting)
{
    return QString::fromUtf8(TestSupport::fileBytes(path(setting)));
}

void write(ModelConfig::Setting setting, const QString& text)
{
    TestSupport::writeFile(path(setting), text.toUtf8());
}

void removeAll()
{
    for (int setting = 0; setting < ModelConfig::SettingCount; ++setting)
        QFile::remove(path(ModelConfig::Setting(setting)));
}

int count()
{
    int count = 0;
    for (int setting = 0; setting < ModelConfig::SettingCount; ++setting)
        count += QFile::exists(path(ModelConfig::Setting(setting)));
    return count;
}

} // namespace SettingFiles

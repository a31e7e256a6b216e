#pragma once

#include "Model/modelconfig.h"

#include <QString>

// The settings as the program stores them: one small file a setting.
namespace SettingFiles {

QString path(ModelConfig::Setting setting);
// The file's text, or "<missing>".
QString text(ModelConfig::Setting setting);
void write(ModelConfig::Setting setting, const QString& text);
void removeAll();
int count();

} // namespace SettingFiles

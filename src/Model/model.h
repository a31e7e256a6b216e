#pragma once

#include <QObject>

// Base of the data classes: one-value files, read and written whole.
class Model : public QObject
{
    Q_OBJECT
public:
    explicit Model(QObject* parent = nullptr);

    // The file's UTF-8 content up to the first NUL; empty when it cannot be opened.
    QString readFile(const QString& path);
    // Replaces the file with the UTF-8 text; a null text writes nothing.
    void writeFile(const QString& path, const QString& text);
};
